// The path-structured stores: path splitting, host keys, compression,
// revalidation by date, URLs kept per file, export and import.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/platform/FileIo.h"
#include "ext/KvSqLite/KvSqLite.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheDBEx.h"
#include "proxy/cache/KvInetCache.h"
#include "proxy/cache/KvMemGzip.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

template <class StoreClass>
class PathStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(db.Open(dir.Path().c_str(), "tool"), 1); }
    int Store(const std::string& url, const std::string& body, const char* type = "text/html") {
        KvHttpResponse r;
        MakeAnswer(r, body, type);
        r.SetHeaderValue("Last-Modified", "Sun, 01 Jan 2023 00:00:00 GMT");
        return db.AddCache(url.c_str(), &r);
    }
    std::string Served(const std::string& url, const char* since = nullptr, KvHttpResponse* out = nullptr) {
        KvHttpRequest q;
        MakeRequest(q, url, since);
        KvHttpResponse r;
        KvHttpResponse& use = out ? *out : r;
        if (!db.GetCache(&q, &use)) return "<miss>";
        return use.m_nStatus == 304 ? "<304>" : Body(use);
    }
    int RawInt(const std::string& sql) {
        KvSqlDB raw;
        EXPECT_TRUE(raw.Open(dir.File("tool.dat").c_str()));
        return raw.ExecScalar(sql.c_str(), -1);
    }

    TempDir dir;
    StoreClass db;
};

using InetCacheTest = PathStoreTest<KvInetCache>;
using CacheDBExTest = PathStoreTest<KvCacheDBEx>;

std::vector<std::string> Dirs(const char* path, std::string& file) {
    std::vector<std::string> dirs;
    KvPathCache::SplitPath(path, dirs, file);
    return dirs;
}

}  // namespace

TEST(PathCacheSplitTest, DirectoriesAndFileNames) {
    std::string file;
    EXPECT_EQ(Dirs("/a/b/c.html", file), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(file, "c.html");
    EXPECT_EQ(Dirs("/", file), (std::vector<std::string>{"@"}));
    EXPECT_EQ(file, "@");
    EXPECT_EQ(Dirs("/a/", file), (std::vector<std::string>{"a"}));
    EXPECT_EQ(file, "@");
    EXPECT_EQ(Dirs("/x.php?q=1", file), (std::vector<std::string>{"@"}));
    EXPECT_EQ(file, "x.php?q=1");
}

TEST_F(InetCacheTest, WwwIsDroppedFromTheHostAndTextIsZipped) {
    std::string text(20000, 'T');
    ASSERT_EQ(Store("http://www.Example.com/docs/a.html", text), 1);
    ASSERT_EQ(Store("http://example.com/img/p.png", std::string(3000, 'I'), "image/png"), 1);
    EXPECT_EQ(Served("http://example.com/docs/a.html"), text);
    EXPECT_EQ(RawInt("select count(*) from cache_content where file_zipped=1"), 1);
    EXPECT_LT(RawInt("select max(length(file_data)) from cache_content where file_zipped=1"), 2000);
    EXPECT_EQ(Served("http://www.example.com/img/p.png"), std::string(3000, 'I'));
    // The stored body, unzipped, into a file.
    ASSERT_EQ(db.SaveCacheToFile("http://example.com/docs/a.html", dir.File("a.out").c_str()), 1);
    std::string saved;
    ASSERT_TRUE(KvReadWholeFile(dir.File("a.out").c_str(), saved));
    EXPECT_EQ(saved, text);
}

TEST_F(InetCacheTest, ServedHeadersAndDateRevalidation) {
    ASSERT_EQ(Store("http://h/p.html", "page"), 1);
    KvHttpResponse r;
    ASSERT_EQ(Served("http://h/p.html", nullptr, &r), "page");
    EXPECT_STREQ(r.GetHeaderValue("Last-Modified"), "Sun, 01 Jan 2023 00:00:00 GMT");
    EXPECT_EQ(CountHeader(r, "Set-Cookie"), 0);
    EXPECT_EQ(CountHeader(r, "Cache-Control"), 0);
    EXPECT_EQ(Served("http://h/p.html", "Mon, 02 Jan 2023 00:00:00 GMT"), "<304>");
    EXPECT_EQ(Served("http://h/p.html", "Sun, 01 Jan 2023 00:00:00 GMT"), "<304>");
    EXPECT_EQ(Served("http://h/p.html", "Sat, 31 Dec 2022 00:00:00 GMT"), "page");
    EXPECT_EQ(Served("http://h/p.html", "yesterday"), "<miss>");
}

TEST_F(InetCacheTest, HtmlNamesFallBackToHtmOnReading) {
    ASSERT_EQ(Store("http://h/a/page.htm", "htm"), 1);
    EXPECT_EQ(Served("http://h/a/page.html"), "htm");
    EXPECT_EQ(Served("http://h/a/page.php"), "htm");
    EXPECT_EQ(Served("http://h/a/page.php?x=1"), "<miss>");
}

TEST_F(InetCacheTest, StoringAgainReplacesAndDeletingRemovesTrees) {
    ASSERT_EQ(Store("http://h/a/b/c.txt", "one", "text/plain"), 1);
    int id = db.FindCacheId("h", "/a/b/c.txt");
    ASSERT_EQ(Store("http://h/a/b/c.txt", "two", "text/plain"), 1);
    EXPECT_EQ(db.FindCacheId("h", "/a/b/c.txt"), id);
    EXPECT_EQ(Served("http://h/a/b/c.txt"), "two");
    ASSERT_EQ(Store("http://h/a/d.txt", "d", "text/plain"), 1);
    std::string file;
    int a = db.FindPathId(db.FindHostId("h"), Dirs("/a/x", file));
    ASSERT_GT(a, 0);
    EXPECT_EQ(db.DeleteAllCacheByPath(a), 1);
    EXPECT_EQ(Served("http://h/a/b/c.txt"), "<miss>");
    EXPECT_EQ(Served("http://h/a/d.txt"), "<miss>");
    EXPECT_EQ(RawInt("select count(*) from cache_content"), 0);
}

TEST_F(InetCacheTest, DecompressionIsBoundedAndDamageIsAMiss) {
    ASSERT_EQ(Store("http://h/bomb.html", "small"), 1);
    // Replace the stored answer with a member that inflates far beyond the bound.
    std::string zeros((size_t)80 << 20, '\0');
    KvMemGzip gz;
    ASSERT_EQ(gz.Compress(zeros.data(), (UINT)zeros.size()), 1);
    KvGenBuffer blob;
    ASSERT_TRUE(KvCacheEncodeBlob(gz.GetData(), gz.GetLength(), blob));
    {
        KvSqlDB raw;
        ASSERT_TRUE(raw.Open(dir.File("tool.dat").c_str()));
        KvSqlStatement st = raw.CompileStatement("update cache_content set file_data=?, file_zipped=1");
        ASSERT_TRUE(st.Bind(1, blob.GetData(), (int)blob.GetCount()));
        ASSERT_GE(st.Execute(), 0);
    }
    EXPECT_EQ(Served("http://h/bomb.html"), "<miss>");
}

TEST_F(InetCacheTest, ExportToDiskAndImportBack) {
    TempDir src, out;
    std::filesystem::create_directories(src.File("sub/deeper"));
    WriteFile(src.File("index.htm"), "<p>home</p>");
    WriteFile(src.File("sub/notes.txt"), "notes");
    WriteFile(src.File("sub/deeper/x.txt"), "x");
    ASSERT_EQ(db.ImportHost("site.org", src.Path().c_str()), 1);
    EXPECT_EQ(Served("http://site.org/"), "<p>home</p>");
    EXPECT_EQ(Served("http://site.org/index.htm"), "<p>home</p>");
    EXPECT_EQ(Served("http://site.org/sub/deeper/x.txt"), "x");

    // A stored name that would leave the export directory is skipped.
    ASSERT_EQ(Store("http://site.org/sub/..", "escape"), 1);
    ASSERT_EQ(db.ExportHost("site.org", out.File("site").c_str()), 1);
    std::string got;
    ASSERT_TRUE(KvReadWholeFile(out.File("site/index.htm").c_str(), got));
    EXPECT_EQ(got, "<p>home</p>");
    ASSERT_TRUE(KvReadWholeFile(out.File("site/sub/deeper/x.txt").c_str(), got));
    EXPECT_EQ(got, "x");
    EXPECT_FALSE(std::filesystem::exists(out.File("site/..")) &&
                 std::filesystem::is_regular_file(out.File("site/..")));
    EXPECT_FALSE(std::filesystem::exists(out.File("escape")));

    // Into another store, under the same keys.
    KvInetCache other;
    ASSERT_EQ(other.Open(out.Path().c_str(), "copy"), 1);
    ASSERT_EQ(db.ExportHost("site.org", &other), 1);
    KvHttpResponse r;
    ASSERT_EQ(other.GetCache("http://site.org/sub/notes.txt", &r), 1);
    EXPECT_EQ(Body(r), "notes");

    int hosts = 0;
    auto countHost = [](int, const char*, void* p) { return ++*static_cast<int*>(p), 1; };
    EXPECT_EQ(db.EnumHost(countHost, &hosts), 1);
    EXPECT_EQ(hosts, 1);
}

TEST_F(CacheDBExTest, KeepsWwwAndOneUrlPerFile) {
    ASSERT_EQ(Store("http://www.h.org/a/b/c.html", "abc"), 1);
    ASSERT_EQ(Store("http://www.h.org/a/bc.html", "a-bc"), 1);  // would collide with a URL joined without "/"
    ASSERT_EQ(Store("http://www.h.org/a/", "a-dir"), 1);
    ASSERT_EQ(Store("http://www.h.org/", "root"), 1);
    EXPECT_EQ(Served("http://h.org/a/b/c.html"), "<miss>");
    EXPECT_EQ(Served("http://www.h.org/a/bc.html"), "a-bc");
    EXPECT_STREQ(db.GetFileUrl(db.FindCacheId("www.h.org", "/a/b/c.html")), "http://www.h.org/a/b/c.html");
    EXPECT_STREQ(db.GetFileUrl(db.FindCacheId("www.h.org", "/a/")), "http://www.h.org/a/");
    EXPECT_STREQ(db.GetFileUrl(db.FindCacheId("www.h.org", "/")), "http://www.h.org/");
}

TEST_F(CacheDBExTest, AttributesAndAnalysisState) {
    ASSERT_EQ(Store("http://h.org/p.html", "p"), 1);
    ASSERT_EQ(Store("http://h.org/q.html", "q"), 1);
    int p = db.FindCacheId("h.org", "/p.html");
    ASSERT_EQ(db.SetFileAttr(p, "Title 'quoted'", "Desc", "k1 k2"), 1);
    CString title, desc, keywords;
    ASSERT_EQ(db.GetFileAttr(p, title, desc, keywords), 1);
    EXPECT_STREQ(title, "Title 'quoted'");
    EXPECT_STREQ(keywords, "k1 k2");
    CUIntArray ids;
    ASSERT_EQ(db.GetFilesToAnalize(ids, 10), 1);
    EXPECT_EQ(ids.GetSize(), 2);
    ASSERT_EQ(db.SetFileStatus(p, 1), 1);
    ids.RemoveAll();
    db.GetFilesToAnalize(ids, 10);
    EXPECT_EQ(ids.GetSize(), 1);
    ASSERT_EQ(db.DeleteCache("http://h.org/p.html"), 1);
    EXPECT_EQ(db.GetFileAttr(p, title, desc, keywords), 0);
}

// A damaged index whose directory tree loops back on itself: deleting and
// exporting visit each directory once and end.
TEST_F(InetCacheTest, LoopingDirectoryTreeEnds) {
    ASSERT_EQ(Store("http://h/a/b/c.txt", "c", "text/plain"), 1);
    ASSERT_EQ(Store("http://h/a/b/d/e.txt", "e", "text/plain"), 1);
    std::string file;
    int hostId = db.FindHostId("h");
    int b = db.FindPathId(hostId, Dirs("/a/b/x", file));
    int d = db.FindPathId(hostId, Dirs("/a/b/d/x", file));
    ASSERT_GT(b, 0);
    ASSERT_GT(d, 0);
    {
        KvSqlDB raw;
        ASSERT_TRUE(raw.Open(dir.File("tool.idx").c_str()));
        // "d" lies below "b"; now "b" lies below "d" as well (a loop of
        // two), and one more directory is its own parent.
        KvSqlBuffer sql;
        ASSERT_GE(raw.Execute(sql.Format("update cache_path set path_parent=%d where path_id=%d;", d, b)), 0);
        ASSERT_GE(raw.Execute(sql.Format("insert into cache_path (host_id, path_id, path_name, path_parent) "
                                         "values (%d, 9999, 'loop', 9999);",
                                         hostId)),
                  0);
    }
    TempDir out;
    EXPECT_EQ(db.ExportPath(b, out.File("b").c_str()), 1);
    std::string got;
    ASSERT_TRUE(KvReadWholeFile(out.File("b/c.txt").c_str(), got));
    EXPECT_EQ(got, "c");
    KvInetCache other;
    ASSERT_EQ(other.Open(out.Path().c_str(), "copy"), 1);
    EXPECT_EQ(db.ExportPath(b, &other), 1);
    EXPECT_EQ(db.ExportPath(9999, out.File("loop").c_str()), 1);

    EXPECT_EQ(db.DeleteAllCacheByPath(9999), 1);
    EXPECT_EQ(db.DeleteAllCacheByPath(b), 1);
    EXPECT_EQ(RawInt("select count(*) from cache_content"), 0);
}

// A link back up the tree is followed once at most, and a pipe is never
// opened (reading it would wait for ever).
TEST_F(InetCacheTest, ImportVisitsEachDirectoryOnceAndOnlyPlainFiles) {
    TempDir src;
    std::filesystem::create_directories(src.File("sub"));
    WriteFile(src.File("sub/a.txt"), "a");
    std::filesystem::create_directory_symlink(src.Path(), src.File("sub/back"));
    ASSERT_EQ(mkfifo(src.File("pipe").c_str(), 0600), 0);
    ASSERT_EQ(db.ImportHost("loop.org", src.Path().c_str()), 1);
    EXPECT_EQ(Served("http://loop.org/sub/a.txt"), "a");
    EXPECT_EQ(Served("http://loop.org/sub/back/sub/a.txt"), "<miss>");
    EXPECT_EQ(Served("http://loop.org/pipe"), "<miss>");
}
