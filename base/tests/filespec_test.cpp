#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/file/KvFileSpec.h"
#include "base/platform/FileIo.h"

namespace {

class FileSpecTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvspec_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = std::string(tmpl) + "/";
    }
    void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }

    void Touch(const std::string& rel, const char* text = "x") const {
        ASSERT_TRUE(KvWriteFileAtomic((m_dir + rel).c_str(), text, std::strlen(text)));
    }
    void MkDir(const std::string& rel) const { ASSERT_EQ(mkdir((m_dir + rel).c_str(), 0755), 0); }

    std::string m_dir;
};

}  // namespace

TEST(FileSpecParts, SplitsWindowsAndPosixNames) {
    KvFileSpec win("C:\\dir\\sub\\file.name.txt");
    EXPECT_EQ(win.GetDrive(), "C:");
    EXPECT_EQ(win.GetDir(), "\\dir\\sub\\");
    EXPECT_EQ(win.GetBaseName(), "file.name");
    EXPECT_EQ(win.GetExtension(), "txt");
    EXPECT_EQ(win.GetPath(), "C:\\dir\\sub\\");
    EXPECT_EQ(win.GetFileName(), "file.name.txt");
    EXPECT_STREQ(win.GetText(), "C:\\dir\\sub\\file.name.txt");
    EXPECT_TRUE(win.IsValid());

    KvFileSpec posix("/home/u/archive.tar.gz");
    EXPECT_EQ(posix.GetDrive(), "");
    EXPECT_EQ(posix.GetDir(), "/home/u/");
    EXPECT_EQ(posix.GetBaseName(), "archive.tar");
    EXPECT_EQ(posix.GetExtension(), "gz");
    EXPECT_TRUE(posix.IsValid());

    KvFileSpec noExt("/a/README");
    EXPECT_EQ(noExt.GetFullName(), "/a/README");
}

TEST(FileSpecParts, SettersOfPathAndFileName) {
    KvFileSpec fileSpec("/x/y.z");
    fileSpec.SetPath("D:\\data");
    EXPECT_EQ(fileSpec.GetDrive(), "D:");
    EXPECT_EQ(fileSpec.GetDir(), "\\data\\");
    fileSpec.SetPath("dir/sub");
    EXPECT_EQ(fileSpec.GetDrive(), "");
    EXPECT_EQ(fileSpec.GetDir(), "/dir/sub/");
    fileSpec.SetPath("");
    EXPECT_TRUE(fileSpec.IsPathEmpty());
    fileSpec.SetFileName("report.2006.txt");
    EXPECT_EQ(fileSpec.GetBaseName(), "report");
    EXPECT_EQ(fileSpec.GetExtension(), "2006.txt");
}

TEST(FileSpecParts, Validity) {
    EXPECT_FALSE(KvFileSpec("relative/name.txt").IsValid());
    EXPECT_FALSE(KvFileSpec("name.txt").IsValid());
    EXPECT_TRUE(KvFileSpec("c:name.txt").IsValid());
    EXPECT_FALSE(KvFileSpec("1:\\name.txt").IsValid());
    EXPECT_FALSE(KvFileSpec("/di*r/name.txt").IsValid());
    EXPECT_FALSE(KvFileSpec("/dir\x01/name.txt").IsValid());
    EXPECT_TRUE(KvFileSpec("/dir/*.c?d").IsValid());  // a name may be a pattern
    EXPECT_FALSE(KvFileSpec("/dir/na|me").IsValid());

    KvFileSpec fileSpec("/dir/name.txt");
    EXPECT_FALSE(fileSpec.SetBaseName("a<b"));
    EXPECT_EQ(fileSpec.GetBaseName(), "a<b");  // stored anyway
    EXPECT_TRUE(fileSpec.SetBaseName("ok"));
    EXPECT_FALSE(fileSpec.SetExtension("t\\x"));
}

TEST(FileSpecParts, ComparisonAndRelations) {
    KvFileSpec a("/base/dir/file.txt"), b("/base/other.txt"), c("/base/dir/file.txt");
    EXPECT_EQ(a, c);
    EXPECT_NE(a, b);
    EXPECT_LT(a, b);
    EXPECT_EQ(a.GetRelativePath(b), "dir/file.txt");
    EXPECT_EQ(b.GetRelativePath(a), "/base/other.txt");
    EXPECT_TRUE(a.IsSamePath(c));
    EXPECT_FALSE(a.IsSamePath(b));
    EXPECT_TRUE(KvFileSpec("C:\\x").IsSameDrive(KvFileSpec("c:\\y")));
    a.MakeUpper();
    EXPECT_EQ(a.GetFullName(), "/BASE/DIR/FILE.TXT");
}

TEST_F(FileSpecTest, MakeUniqueCountsUpInEightCharacters) {
    KvFileSpec fileSpec((m_dir + "report.txt").c_str());
    EXPECT_TRUE(fileSpec.MakeUnique());
    EXPECT_EQ(fileSpec.GetBaseName(), "report");  // does not exist: unchanged

    Touch("report.txt");
    ASSERT_TRUE(fileSpec.MakeUnique());
    EXPECT_EQ(fileSpec.GetBaseName(), "report_2");
    for (int i = 2; i <= 9; ++i) Touch("report_" + std::to_string(i) + ".txt");
    fileSpec.SetBaseName("report");
    ASSERT_TRUE(fileSpec.MakeUnique());
    EXPECT_EQ(fileSpec.GetBaseName(), "report10");

    KvFileSpec empty((m_dir + ".txt").c_str());
    ASSERT_TRUE(empty.MakeUnique());
    EXPECT_EQ(empty.GetBaseName(), "unique");

    fileSpec.MakeRandom();
    int n = std::atoi(fileSpec.GetBaseName());
    EXPECT_GE(n, 1000);
    EXPECT_LE(n, 9999);
}

TEST_F(FileSpecTest, FileOperations) {
    Touch("a.txt", "hello");
    KvFileSpec a((m_dir + "a.txt").c_str());
    EXPECT_TRUE(a.IsExist());
    EXPECT_TRUE(a.IsPathExist());
    EXPECT_EQ(a.GetLength(), 5);
    EXPECT_FALSE(a.IsDirectory());

    MkDir("sub");
    ASSERT_TRUE(a.CopyToPath((m_dir + "sub").c_str()));
    EXPECT_TRUE(KvFileSpec((m_dir + "sub/a.txt").c_str()).IsExist());
    ASSERT_TRUE(a.Copy((m_dir + "b.txt").c_str()));
    ASSERT_TRUE(a.SetLength(2));
    EXPECT_EQ(a.GetLength(), 2);
    ASSERT_TRUE(a.SetReadOnly());
    EXPECT_TRUE(a.IsReadOnly());
    ASSERT_TRUE(a.SetNormal());
    EXPECT_FALSE(a.IsReadOnly());

    ASSERT_TRUE(a.Rename((m_dir + "c.txt").c_str()));
    EXPECT_FALSE(a.IsExist());
    KvFileSpec c((m_dir + "c.txt").c_str());
    ASSERT_TRUE(c.MoveToPath((m_dir + "sub/").c_str()));
    EXPECT_FALSE(c.IsExist());
    KvFileSpec moved((m_dir + "sub/c.txt").c_str());
    EXPECT_TRUE(moved.Delete());
    EXPECT_FALSE(moved.Delete());

    KvFileSpec deep((m_dir + "x/y/z/").c_str());
    EXPECT_TRUE(deep.MakeDir());
    EXPECT_TRUE(deep.IsPathExist());
}

TEST_F(FileSpecTest, ListSearchesFilesAndDirectoriesDepthFirst) {
    Touch("one.cld");
    Touch("TWO.CWD");
    Touch(".hidden.cld");
    Touch("note.txt");
    MkDir("site.cld");
    MkDir("site.cld/inner");
    Touch("site.cld/inner/three.crd");
    // A link back up must not send the search round in circles.
    ASSERT_EQ(symlink(m_dir.c_str(), (m_dir + "site.cld/loop").c_str()), 0);

    KvFileSpec dir(m_dir.c_str());
    KvFileSpecList files;
    ASSERT_TRUE(files.SearchFile(dir, "*.c?d"));
    ASSERT_EQ(files.GetCount(), 2);
    EXPECT_EQ(files.GetHead()->GetFileName(), "one.cld");
    EXPECT_EQ(files.GetTail()->GetFullName(), (m_dir + "TWO.CWD").c_str());

    KvFileSpecList dirs;
    ASSERT_TRUE(dirs.SearchSubDir(dir, ""));
    ASSERT_EQ(dirs.GetCount(), 1);
    EXPECT_EQ(dirs.GetHead()->GetFullName(), (m_dir + "site.cld/").c_str());

    KvFileSpecList all;
    ASSERT_TRUE(all.Search(dir, "*.c?d", true));
    EXPECT_EQ(all.GetCount(), 3);
    EXPECT_NE(all.Find((m_dir + "site.cld/inner/three.crd").c_str()), nullptr);
    EXPECT_EQ(all.Find("nothing"), nullptr);

    KvFileSpecList none;
    EXPECT_FALSE(none.SearchFile(dir, "*.zzz"));
    EXPECT_FALSE(none.SearchFile(KvFileSpec((m_dir + "missing/").c_str()), nullptr));

    KvFileSpecList copy(all);
    EXPECT_EQ(copy.GetCount(), 3);
    copy.RemoveHead();
    copy.RemoveTail();
    EXPECT_EQ(copy.GetCount(), 1);
}
