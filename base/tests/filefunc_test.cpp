#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/containers/CsList.h"
#include "base/file/KvFile.h"
#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"
#include "base/tests/test_waits.h"

namespace {

class FileFuncTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvfile_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = std::string(tmpl) + "/";
    }
    void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }

    std::string P(const std::string& rel) const { return m_dir + rel; }
    void Write(const std::string& rel, const std::string& text) const {
        ASSERT_TRUE(KvWriteFileAtomic(P(rel).c_str(), text.data(), text.size()));
    }
    std::string Read(const std::string& rel) const {
        std::string text;
        KvReadWholeFile(P(rel).c_str(), text);
        return text;
    }

    std::string m_dir;
};

std::string Joined(const CsStrList& list) {
    std::string out;
    for (CsStrListItem* i = list.Head(); i; i = i->Next()) out += std::string(i->GetStr()) + "|";
    return out;
}

}  // namespace

TEST(PathText, ExtensionsAndNamesLookOnlyAtTheLastComponent) {
    EXPECT_EQ(ExcludeFileExt("a/b.c/name.txt"), "a/b.c/name");
    EXPECT_EQ(ExcludeFileExt("a\\b.c\\name"), "a\\b.c\\name");
    EXPECT_EQ(ExcludeFileExt("x.tar.gz"), "x.tar");
    EXPECT_EQ(GetFileExt("x.tar.gz"), "gz");
    EXPECT_EQ(GetFileExt("dir.d/file"), "");
    EXPECT_EQ(GetFileExt(nullptr), "");
    EXPECT_EQ(GetFileNameOnly("C:\\dir\\file.txt"), "file.txt");
    EXPECT_EQ(GetFileNameOnly("/dir/sub/"), "");
    EXPECT_EQ(GetFileNameOnly("plain"), "plain");
}

TEST(PathText, FileSplitKeepsDrivesAndNeverOverflows) {
    tagFilePath parts;
    ASSERT_TRUE(FileSplit("C:\\dir\\file.ext", &parts));
    EXPECT_STREQ(parts.szDrive, "C:");
    EXPECT_STREQ(parts.szDir, "\\dir\\");
    EXPECT_STREQ(parts.szFileName, "file");
    EXPECT_STREQ(parts.szExt, "ext");

    std::string longName = "/d/" + std::string(300, 'n') + ".txt";
    EXPECT_FALSE(FileSplit(longName.c_str(), &parts));
    EXPECT_STREQ(parts.szFileName, "");
    std::string longDir = std::string(5000, 'd') + "/f.txt";
    EXPECT_FALSE(FileSplit(longDir.c_str(), &parts));
    std::string longExt = "/d/f." + std::string(300, 'e');
    EXPECT_FALSE(FileSplit(longExt.c_str(), &parts));
}

TEST(PathText, PatternsIgnoreCase) {
    EXPECT_TRUE(KvMatchFilePattern("*.c?d", "SITE.CLD"));
    EXPECT_TRUE(KvMatchFilePattern("*.*", "noext"));
    EXPECT_TRUE(KvMatchFilePattern("a*b*c", "aXXbYYbc"));
    EXPECT_FALSE(KvMatchFilePattern("*.c?d", "site.cd"));
    EXPECT_FALSE(KvMatchFilePattern("a?", "a"));
}

TEST_F(FileFuncTest, ExistenceAndStatus) {
    Write("f.txt", "12345");
    EXPECT_TRUE(IsFileExist(P("f.txt").c_str()));
    EXPECT_FALSE(IsFileExist(""));
    EXPECT_FALSE(IsFileExist(P("g.txt").c_str()));
    EXPECT_TRUE(IsPathExist(m_dir.c_str()));
    EXPECT_TRUE(IsPathExist(m_dir.substr(0, m_dir.size() - 1).c_str()));
    EXPECT_FALSE(IsPathExist(P("f.txt").c_str()));
    EXPECT_TRUE(IsPathExist("/"));

    KvFileStatus st;
    ASSERT_TRUE(FileGetStatus(P("f.txt").c_str(), st));
    EXPECT_EQ(st.m_size, 5);
    EXPECT_EQ(st.m_szFullName, P("f.txt").c_str());
    EXPECT_EQ(st.m_attribute & KV_ATTR_DIRECTORY, 0);
    EXPECT_TRUE(st.m_mtime.IsValid());
    EXPECT_TRUE(st.m_ctime.IsValid());
    EXPECT_LT(std::abs(KvTime::GetCurTime() - st.m_mtime), 1.0);
}

TEST_F(FileFuncTest, FullPathAndRoot) {
    Write("Mixed.Case", "x");
    CString full;
    ASSERT_TRUE(FileGetFullPath(full, (m_dir + "sub/../mixed.case").c_str()));
    EXPECT_EQ(full, P("Mixed.Case").c_str());  // the spelling on disk
    ASSERT_TRUE(FileGetFullPath(full, (m_dir + "./new\\name").c_str()));
    EXPECT_EQ(full, P("new/name").c_str());
    EXPECT_FALSE(FileGetFullPath(full, ""));

    CString root;
    ASSERT_TRUE(FileGetRoot(P("Mixed.Case").c_str(), root));
    EXPECT_EQ(root.Right(1), "/");
    EXPECT_EQ(std::string(P("Mixed.Case")).rfind(root.c_str(), 0), 0u);
}

TEST_F(FileFuncTest, CopyReplacesAndMoveRemovesTheSource) {
    Write("a", "first");
    Write("b", "second, longer");
    ASSERT_TRUE(KvFileCopy(P("a").c_str(), P("b").c_str()));
    EXPECT_EQ(Read("b"), "first");
    EXPECT_FALSE(KvFileCopy(P("none").c_str(), P("c").c_str()));
    EXPECT_FALSE(KvFileCopy(m_dir.c_str(), P("c").c_str()));  // a directory

    ASSERT_TRUE(KvFileMove(P("a").c_str(), P("c").c_str()));
    EXPECT_FALSE(IsFileExist(P("a").c_str()));
    EXPECT_EQ(Read("c"), "first");
    // Moving onto itself keeps the file.
    ASSERT_TRUE(KvFileMove(P("c").c_str(), P("c").c_str()));
    EXPECT_EQ(Read("c"), "first");
}

TEST_F(FileFuncTest, SearchFileAndSubDir) {
    Write("one.txt", "");
    Write("two.TXT", "");
    Write(".dot.txt", "");
    ASSERT_EQ(mkdir(P("dir.txt").c_str(), 0755), 0);

    CStringArray names;
    ASSERT_TRUE(SearchFile(m_dir.c_str(), "*.txt", names, FALSE));
    ASSERT_EQ(names.GetSize(), 2);
    EXPECT_EQ(names[0], "one");
    EXPECT_EQ(names[1], "two");

    CsStrList list;
    list.AddTail("stale");
    ASSERT_TRUE(SearchSubDir(m_dir.c_str(), "*", list));
    EXPECT_EQ(Joined(list), "dir.txt|");
    EXPECT_FALSE(SearchFile(m_dir.c_str(), "*.none", list));
    EXPECT_TRUE(list.IsEmpty());
    // Matching only a directory still counts as a match.
    EXPECT_TRUE(SearchFile(m_dir.c_str(), "dir.*", list));
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(FileFuncTest, StrListSaveAppendsAndSkipsHashItems) {
    CsStrList list;
    list.AddTail("a");
    list.AddTail("a#b");
    list.AddTail("c");
    ASSERT_TRUE(StrListSave(list, P("l.txt").c_str(), TRUE));
    EXPECT_EQ(Read("l.txt"), "a\r\nc\r\n");
    ASSERT_TRUE(StrListSave(list, P("l.txt").c_str(), FALSE));
    EXPECT_EQ(Read("l.txt"), "a\r\nc\r\na\r\nc\r\n");

    // Appending to a file whose last line has no line end starts a new line.
    Write("u.txt", "last");
    ASSERT_TRUE(StrListSave(list, P("u.txt").c_str(), FALSE));
    EXPECT_EQ(Read("u.txt"), "last\r\na\r\nc\r\n");

    // An item with a line break cannot be one line: it is left out.
    CsStrList odd;
    odd.AddTail("x\r\n[evil]");
    odd.AddTail("y");
    ASSERT_TRUE(StrListSave(odd, P("o.txt").c_str(), TRUE));
    EXPECT_EQ(Read("o.txt"), "y\r\n");

    // An empty list with replace removes the file; without it nothing happens.
    CsStrList empty;
    ASSERT_TRUE(StrListSave(empty, P("u.txt").c_str(), FALSE));
    EXPECT_TRUE(IsFileExist(P("u.txt").c_str()));
    ASSERT_TRUE(StrListSave(empty, P("u.txt").c_str(), TRUE));
    EXPECT_FALSE(IsFileExist(P("u.txt").c_str()));
    EXPECT_FALSE(StrListSave(list, P("missing/dir/l.txt").c_str(), TRUE));
}

TEST_F(FileFuncTest, StrListLoadTakesEveryNonEmptyLine) {
    Write("in.txt", "one\r\n\r\ntwo\nthree\rfour\n\rfive");
    CsStrList list;
    list.AddTail("old");
    ASSERT_TRUE(StrListLoad(list, P("in.txt").c_str(), FALSE));
    EXPECT_EQ(Joined(list), "old|one|two|three|four|five|");
    ASSERT_TRUE(StrListLoad(list, P("in.txt").c_str(), TRUE));
    EXPECT_EQ(list.Size(), 5);
    EXPECT_FALSE(StrListLoad(list, P("missing.txt").c_str(), TRUE));
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(FileFuncTest, RunApplicationDoesNotWait) {
    // The program waits for a file the test makes only after the start
    // returned: a start that waited for the program would never return.
    const std::string go = P("go.txt"), marker = P("ran.txt");
    BOOL started = FALSE;
    EXPECT_TRUE(testwait::ReturnsWithin(
        [&] {
            started = RunApplication(
                ("while [ ! -e '" + go + "' ]; do sleep 0.01; done; echo ok > '" + marker + "'").c_str());
        },
        [&] { Write("go.txt", ""); }));
    EXPECT_TRUE(started);
    Write("go.txt", "");
    EXPECT_TRUE(testwait::WaitUntil([&] { return IsFileExist(marker.c_str()) != FALSE; }));
    EXPECT_FALSE(RunApplication(""));
}

TEST_F(FileFuncTest, BinaryFileReportsErrorsAsValues) {
    KvFile missing;
    EXPECT_FALSE(missing.Open(P("none").c_str(), KvFile::modeRead));
    EXPECT_NE(missing.GetErrorCode(), 0);
    char buf[8];
    EXPECT_EQ(missing.Read(buf, sizeof buf), 0u);

    KvFile f;
    ASSERT_TRUE(f.Open(P("bin").c_str(), KvFile::modeCreate | KvFile::modeReadWrite));
    EXPECT_TRUE(f.IsWritable());
    ASSERT_TRUE(f.Write("abcdef", 6));
    EXPECT_EQ(f.GetLength(), 6);
    f.SeekToBegin();
    EXPECT_EQ(f.Read(buf, 4), 4u);
    EXPECT_FALSE(f.IsEOF());
    EXPECT_EQ(f.Read(buf, 8), 2u);
    EXPECT_TRUE(f.IsEOF());
    f.Close();

    KvFile ro;
    ASSERT_TRUE(ro.Open(P("bin").c_str(), KvFile::modeRead));
    EXPECT_FALSE(ro.Write("x", 1));
    EXPECT_NE(ro.GetErrorCode(), 0);
}

TEST_F(FileFuncTest, TextFileLines) {
    KvStdioFile out;
    ASSERT_TRUE(out.OpenWrite(P("t.txt").c_str()));
    ASSERT_TRUE(out.Write("a"));
    out.WriteTab("b");
    out.WriteLn("c");
    out.WriteLn("");
    out.Close();
    EXPECT_EQ(Read("t.txt"), "ab\tc\r\n\r\n");

    Write("r.txt", "one\r\ntwo\nthree\rfour");
    KvStdioFile in;
    ASSERT_TRUE(in.OpenRead(P("r.txt").c_str()));
    CString line;
    const char* expected[] = {"one", "two", "three", "four"};
    for (const char* e : expected) {
        ASSERT_TRUE(in.ReadLn(line));
        EXPECT_EQ(line, e);
    }
    EXPECT_FALSE(in.ReadLn(line));
    EXPECT_TRUE(in.IsEOF());
}
