// The object store: keys, storing and serving, expiry, conditional
// requests, deletion, listings, and files left in odd states.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/platform/FileIo.h"
#include "ext/KvSqLite/KvSqLite.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

class CacheStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1); }

    int Store(const std::string& url, const std::string& body, const char* type = "text/html") {
        KvHttpResponse r;
        MakeAnswer(r, body, type);
        return db.AddCache(url.c_str(), &r);
    }
    // The body served for the URL, or "<miss>".
    std::string Served(const std::string& url) {
        KvHttpResponse r;
        return db.GetCache(url.c_str(), &r) ? Body(r) : "<miss>";
    }
    // Runs one statement on a file of the store through a connection of its own.
    void Sql(const char* ext, const std::string& sql) {
        KvSqlDB raw;
        ASSERT_TRUE(raw.Open(dir.File(std::string("vcache") + ext).c_str()));
        ASSERT_GE(raw.Execute(sql.c_str()), 0) << raw.GetLastErrorMsg().c_str();
    }

    TempDir dir;
    KvCacheDB db;
};

}  // namespace

TEST(CacheKeyTest, OneDerivationForUrlsAndRequestParts) {
    CString host, path;
    ASSERT_TRUE(KvCacheKeyFromUrl("HTTP://user@Example.COM:8080/a%20b+c?x=%41", host, path));
    EXPECT_STREQ(host, "example.com:8080");
    EXPECT_STREQ(path, "/a%20b+c?x=A");
    ASSERT_TRUE(KvCacheKeyFromUrl("http://Example.com:80", host, path));
    EXPECT_STREQ(host, "example.com");  // the default port is no part of the key
    EXPECT_STREQ(path, "/");
    EXPECT_FALSE(KvCacheKeyFromUrl("ftp://example.com/a", host, path));
    EXPECT_FALSE(KvCacheKeyFromUrl("https://example.com/a", host, path));
    EXPECT_FALSE(KvCacheKeyFromUrl("http:///a", host, path));
    EXPECT_FALSE(KvCacheKeyFromUrl(nullptr, host, path));

    // What the proxy passes (host name and raw path) gives the same key.
    CString h2, p2;
    KvCacheKeyFromParts("Example.COM:8080", "/a%20b+c?x=%41", h2, p2);
    EXPECT_STREQ(h2, "example.com:8080");
    EXPECT_STREQ(p2, "/a%20b+c?x=A");
}

TEST(CacheKeyTest, ReservedEscapesStayAndOnlyUnreservedOnesAreDecoded) {
    // Escaped delimiters mean something else than the delimiters.
    EXPECT_STREQ(KvCacheKeyPath("/s?q=a%26b%3Dc"), "/s?q=a%26b%3Dc");
    EXPECT_STRNE(KvCacheKeyPath("/s?q=a%26b%3Dc"), KvCacheKeyPath("/s?q=a&b=c"));
    EXPECT_STRNE(KvCacheKeyPath("/a%2Fb"), KvCacheKeyPath("/a/b"));
    EXPECT_STREQ(KvCacheKeyPath("/a%2fb"), "/a%2Fb");
    EXPECT_STRNE(KvCacheKeyPath("/a+b"), KvCacheKeyPath("/a%2Bb"));
    // Escaped unreserved characters are the characters themselves.
    EXPECT_STREQ(KvCacheKeyPath("/%7Euser/%41%2d%2E%5f"), "/~user/A-._");
    // Bytes that cannot stand as they are get escaped; a stray "%" too.
    EXPECT_STREQ(KvCacheKeyPath("/my page\x80\"\x01"), "/my%20page%80%22%01");
    EXPECT_STREQ(KvCacheKeyPath("/100%"), "/100%25");
    EXPECT_STREQ(KvCacheKeyPath("/%2541"), "/%2541");
    EXPECT_STREQ(KvCacheKeyPath("/Case"), "/Case");
}

TEST_F(CacheStoreTest, UpperCaseHostAndEscapedSpaceFoundByLowerCaseAndLiteralSpace) {
    ASSERT_EQ(Store("http://WWW.Example.COM/my%20page.html", "hello"), 1);
    EXPECT_EQ(Served("http://www.example.com/my page.html"), "hello");
    EXPECT_TRUE(db.IsExist("www.example.com", "/my%20page.html"));
}

TEST_F(CacheStoreTest, PortIsPartOfTheKey) {
    ASSERT_EQ(Store("http://example.com:8080/x", "on 8080"), 1);
    EXPECT_EQ(Served("http://example.com/x"), "<miss>");
    EXPECT_EQ(Served("http://example.com:8080/x"), "on 8080");
    EXPECT_NE(db.FindHostId("example.com:8080"), 0);
    EXPECT_EQ(db.FindHostId("example.com"), 0);
}

TEST_F(CacheStoreTest, ServedAnswerIsWholeWithRewrittenHeaders) {
    std::string body(50000, 'x');
    body[0] = '\0';  // bodies are bytes, zeros included
    body[1] = '\x01';
    ASSERT_EQ(Store("http://h/page", body), 1);
    KvHttpResponse r;
    ASSERT_EQ(db.GetCache("http://h/page", &r), 1);
    EXPECT_EQ(Body(r), body);
    EXPECT_EQ(r.m_nStatus, 200);
    EXPECT_EQ(CountHeader(r, "Set-Cookie"), 0);
    EXPECT_EQ(CountHeader(r, "Cache-Control"), 0);
    EXPECT_STREQ(r.GetHeaderValue("CacheName"), "vcache");
    EXPECT_STREQ(r.GetHeaderValue("Content-Length"), "50000");
    ASSERT_NE(r.GetHeaderValue("Date"), nullptr);
    EXPECT_STRNE(r.GetHeaderValue("Last-Modified"), "0");
}

TEST_F(CacheStoreTest, ExpiresLooksAtTheStoredContentType) {
    ASSERT_EQ(Store("http://h/i.png", "png", "IMAGE/png"), 1);
    ASSERT_EQ(Store("http://h/t.html", "html", "text/html"), 1);
    auto expiresIn = [&](const char* url) {
        KvHttpResponse r;
        EXPECT_EQ(db.GetCache(url, &r), 1);
        SYSTEMTIME st{};
        EXPECT_TRUE(GetRFCTime(r.GetHeaderValue("Expires"), &st));
        return KvTime(st) - KvCacheNow();
    };
    EXPECT_NEAR(expiresIn("http://h/i.png"), 1.0, 0.01);
    EXPECT_NEAR(expiresIn("http://h/t.html"), 2.0, 0.01);
}

TEST_F(CacheStoreTest, StoringAgainKeepsTheIdAndReplacesDataAndTimes) {
    ASSERT_EQ(Store("http://h/a", "one"), 1);
    int id = db.FindObjectId("http://h/a");
    ASSERT_GT(id, 0);
    Sql(".cdx", "update cache_object set obj_expired='2001-01-01 00:00:00'");
    db.EnableCacheDelete(FALSE);
    ASSERT_EQ(Store("http://h/a", "two"), 1);
    EXPECT_EQ(db.FindObjectId("http://h/a"), id);
    db.EnableCacheDelete(TRUE);
    EXPECT_EQ(Served("http://h/a"), "two");  // new expiry: no longer expired
}

TEST_F(CacheStoreTest, PathsDifferingInCaseAreTwoObjects) {
    ASSERT_EQ(Store("http://h/Readme", "upper"), 1);
    EXPECT_EQ(Served("http://h/README"), "<miss>");
    ASSERT_EQ(Store("http://h/readme", "lower"), 1);
    EXPECT_EQ(Served("http://h/readme"), "lower");
    EXPECT_EQ(Served("http://h/Readme"), "upper");
}

TEST_F(CacheStoreTest, ExpiredObjectIsDeletedOnReadOnlyWhenCacheDeleteIsOn) {
    ASSERT_EQ(Store("http://h/old", "old"), 1);
    Sql(".cdx", "update cache_object set obj_expired='2001-01-01 00:00:00'");
    db.EnableCacheDelete(FALSE);
    EXPECT_EQ(Served("http://h/old"), "old");
    db.EnableCacheDelete(TRUE);
    EXPECT_EQ(Served("http://h/old"), "<miss>");
    EXPECT_EQ(db.FindObjectId("http://h/old"), 0);
    EXPECT_EQ(Store("http://h/old", "new"), 1);
    EXPECT_EQ(Served("http://h/old"), "new");
}

TEST_F(CacheStoreTest, IfModifiedSinceGets304OnlyWhenTheCopyIsNotNewer) {
    KvHttpResponse origin;
    MakeAnswer(origin, "body");
    origin.SetHeaderValue("Last-Modified", "Sun, 01 Jan 2023 00:00:00 GMT");
    ASSERT_EQ(db.AddCache("http://h/p", &origin), 1);
    Sql(".cdx", "update cache_object set obj_stored='2024-06-01 12:00:00'");
    auto revalidate = [&](const char* since, KvHttpResponse& r) {
        KvHttpRequest q;
        MakeRequest(q, "http://h/p", since);
        return db.GetCache(&q, &r);
    };
    KvHttpResponse same, later, older, garbage, future;
    ASSERT_EQ(revalidate("Sat, 01 Jun 2024 12:00:00 GMT", same), 1);
    EXPECT_EQ(same.m_nStatus, 304);
    EXPECT_STREQ(same.GetHeaderValue("Last-Modified"), "Sun, 01 Jan 2023 00:00:00 GMT");
    EXPECT_EQ(same.m_bufBody.GetCount(), 0u);
    ASSERT_EQ(revalidate("Sun, 02 Jun 2024 08:00:00 GMT", later), 1);
    EXPECT_EQ(later.m_nStatus, 304);
    // The browser's copy is older than ours, or its date means nothing:
    // the full answer.
    for (auto [since, r] : {std::pair{"Sat, 01 Jun 2024 11:59:59 GMT", &older}, std::pair{"garbage", &garbage},
                            std::pair{"Fri, 01 Jan 2100 00:00:00 GMT", &future}}) {
        ASSERT_EQ(revalidate(since, *r), 1) << since;
        EXPECT_EQ(r->m_nStatus, 200) << since;
        EXPECT_EQ(Body(*r), "body") << since;
    }
    // An object of an earlier version has no storing time: never a 304.
    Sql(".cdx", "update cache_object set obj_stored=null");
    KvHttpResponse old;
    ASSERT_EQ(revalidate("Sun, 02 Jun 2024 08:00:00 GMT", old), 1);
    EXPECT_EQ(old.m_nStatus, 200);
}

TEST_F(CacheStoreTest, RelayCutShortIsNotStored) {
    KvHttpResponse r;
    MakeAnswer(r, "only part");
    r.SetHeaderValue("Content-Length", "100");
    EXPECT_EQ(db.AddCache("http://h/cut", &r), 0);
    EXPECT_EQ(db.FindObjectId("http://h/cut"), 0);
    EXPECT_STREQ(r.GetHeaderValue("Content-Length"), "100");  // the caller's answer is left as it was
}

TEST_F(CacheStoreTest, StoringLeavesTheCallersAnswerAlone) {
    KvHttpResponse r;
    MakeAnswer(r, "abc");
    r.SetHeaderValue("Last-Modified", "Sun, 01 Jan 2023 00:00:00 GMT");
    ASSERT_EQ(db.AddCache("http://h/x", &r), 1);
    EXPECT_STREQ(r.GetHeaderValue("Last-Modified"), "Sun, 01 Jan 2023 00:00:00 GMT");
    EXPECT_EQ(r.GetHeaderValue("Content-Length"), nullptr);
    EXPECT_EQ(Body(r), "abc");
}

TEST_F(CacheStoreTest, DeletingAndReadOnly) {
    ASSERT_EQ(Store("http://h/a", "a"), 1);
    ASSERT_EQ(Store("http://h/b", "b"), 1);
    ASSERT_EQ(Store("http://g/c", "c"), 1);
    EXPECT_EQ(db.DeleteCache("http://nohost/x"), 1);
    EXPECT_EQ(db.DeleteCache("http://h/none"), 1);
    EXPECT_EQ(db.DeleteCache("http://h/a"), 1);
    EXPECT_EQ(Served("http://h/a"), "<miss>");
    EXPECT_EQ(db.DeleteAllCacheByHost("h"), 1);
    EXPECT_EQ(Served("http://h/b"), "<miss>");
    EXPECT_EQ(db.FindHostId("h"), 0);
    EXPECT_EQ(Served("http://g/c"), "c");

    db.SetReadOnly(TRUE);
    EXPECT_EQ(db.DeleteCache("http://g/c"), 0);
    EXPECT_EQ(Store("http://g/d", "d"), 0);
    EXPECT_EQ(Served("http://g/c"), "c");
}

TEST_F(CacheStoreTest, ReadOnlyOpenOfMissingStoreFailsAndCreatesNothing) {
    KvCacheDB ro;
    ro.SetReadOnly(TRUE);
    EXPECT_EQ(ro.Open(dir.Path().c_str(), "nothere"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("nothere.cdx")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("nothere.cdt")));
}

TEST_F(CacheStoreTest, ListingsFlagsAndSavingBodies) {
    ASSERT_EQ(Store("http://b.org/2", "two"), 1);
    ASSERT_EQ(Store("http://b.org/1", "one"), 1);
    ASSERT_EQ(Store("http://a.org/x", "x"), 1);
    KvObjectArray hosts;
    ASSERT_EQ(db.PopulateDomain2(&hosts), 1);
    ASSERT_EQ(hosts.GetSize(), 2);
    auto* first = static_cast<KvCacheDomainItem*>(hosts.GetAt(0));
    EXPECT_STREQ(first->m_strHost, "a.org");
    EXPECT_EQ(static_cast<KvCacheDomainItem*>(hosts.GetAt(1))->m_nObjectCount, 2);

    KvObjectArray objects;
    ASSERT_EQ(db.PopulateObject(db.FindHostId("b.org"), &objects), 1);
    ASSERT_EQ(objects.GetSize(), 2);
    EXPECT_STREQ(static_cast<KvCacheObjectItem*>(objects.GetAt(0))->m_strPath, "/1");

    CUIntArray pending;
    ASSERT_EQ(db.GetCacheToAnalize(pending, 10), 1);
    EXPECT_EQ(pending.GetSize(), 3);
    int id = db.FindObjectId("http://a.org/x");
    EXPECT_EQ(db.SetCacheStatus(id, 1), 1);
    EXPECT_EQ(db.SetCacheFlag(id, 5), 1);
    int flags = 0;
    EXPECT_EQ(db.GetCacheFlag(id, flags), 1);
    EXPECT_EQ(flags, 5);
    pending.RemoveAll();
    db.GetCacheToAnalize(pending, 10);
    EXPECT_EQ(pending.GetSize(), 2);

    ASSERT_EQ(db.SaveCacheToFile("http://b.org/1", dir.File("one.txt").c_str()), 1);
    std::string saved;
    ASSERT_TRUE(KvReadWholeFile(dir.File("one.txt").c_str(), saved));
    EXPECT_EQ(saved, "one");
}

TEST_F(CacheStoreTest, MoveDomainMovesOnlyWhatTheTargetLacks) {
    ASSERT_EQ(Store("http://m.org/a", "a-here"), 1);
    ASSERT_EQ(Store("http://m.org/b", "b-here"), 1);
    KvCacheDB target;
    ASSERT_EQ(target.Open(dir.Path().c_str(), "m.org"), 1);
    KvHttpResponse r;
    MakeAnswer(r, "b-there");
    ASSERT_EQ(target.AddCache("http://m.org/b", &r), 1);

    int seen = 0;
    auto count = [](int, const char*, void* p) { return ++*static_cast<int*>(p), 1; };
    ASSERT_EQ(db.MoveDomain("m.org", &target, count, &seen), 1);
    EXPECT_EQ(seen, 2);
    KvHttpResponse got;
    ASSERT_EQ(target.GetCache("http://m.org/a", &got), 1);
    EXPECT_EQ(Body(got), "a-here");
    ASSERT_EQ(target.GetCache("http://m.org/b", &got), 1);
    EXPECT_EQ(Body(got), "b-there");
    EXPECT_EQ(db.FindHostId("m.org"), 0);
}

TEST_F(CacheStoreTest, ContentRowLostLeavesAMissAndTheUrlStorableAgain) {
    ASSERT_EQ(Store("http://h/a", "first"), 1);
    Sql(".cdt", "delete from cache_content");
    EXPECT_EQ(Served("http://h/a"), "<miss>");
    ASSERT_EQ(Store("http://h/a", "second"), 1);
    EXPECT_EQ(Served("http://h/a"), "second");
}

TEST_F(CacheStoreTest, NewIndexBesideOldContentStartsEmpty) {
    ASSERT_EQ(Store("http://h/old", "old answer"), 1);
    db.Close();
    std::filesystem::remove(dir.File("vcache.cdx"));
    std::filesystem::remove(dir.File("vcache.cdx-wal"));
    std::filesystem::remove(dir.File("vcache.cdx-shm"));
    ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1);
    {
        KvSqlDB raw;
        ASSERT_TRUE(raw.Open(dir.File("vcache.cdt").c_str()));
        EXPECT_EQ(raw.ExecScalar("select count(*) from cache_content", -1), 0);
    }
    // Ids restart at 1, and the new object gets its own answer.
    ASSERT_EQ(Store("http://h/new", "new answer"), 1);
    EXPECT_EQ(db.FindObjectId("http://h/new"), 1);
    EXPECT_EQ(Served("http://h/new"), "new answer");
}

TEST_F(CacheStoreTest, StoredAnswerWithWrongLengthIsNotServed) {
    ASSERT_EQ(Store("http://h/a", "0123456789"), 1);
    // Cut the stored answer short, as a damaged file would.
    Sql(".cdt", "update cache_content set obj_data=substr(obj_data, 1, length(obj_data)-3)");
    EXPECT_EQ(Served("http://h/a"), "<miss>");
    KvHttpResponse r;
    EXPECT_EQ(KvCacheRestore("(null) 200 OK\r\n\r\n", 17, r), 0);
    EXPECT_EQ(KvCacheRestore("", 0, r), 0);
}

TEST_F(CacheStoreTest, AnswerChangedOnDiskIsAMissAndDropped) {
    ASSERT_EQ(Store("http://h/a", "0123456789"), 1);
    ASSERT_EQ(Store("http://h/b", "untouched"), 1);
    // One byte of the body changed, the length as it was.
    Sql(".cdt", "update cache_content set obj_data=cast(replace(cast(obj_data as text), '345', '3X5') as blob)");
    EXPECT_EQ(Served("http://h/a"), "<miss>");
    EXPECT_EQ(db.FindObjectId("http://h/a"), 0);
    EXPECT_EQ(Served("http://h/b"), "untouched");
}

TEST_F(CacheStoreTest, StoreOfAnEarlierVersionIsUpgradedWithItsObjects) {
    ASSERT_EQ(Store("http://h/Readme", "old"), 1);
    db.Close();
    // The tables as an earlier version made them: paths compared without
    // letter case, no storing time, no checksum.
    Sql(".cdx", "create table old_object as select host_id, obj_id, obj_path, obj_status, obj_flags, obj_modified, "
                "obj_expired from cache_object");
    Sql(".cdx", "drop table cache_object");
    Sql(".cdx", "CREATE TABLE cache_object(host_id integer not null default 0, obj_id integer not_null default 0, "
                "obj_path varchar(255) not null collate nocase, obj_status integer default 0, obj_flags integer "
                "default 0, obj_modified datetime not null default '1980-00-01 00:00:00', obj_expired datetime not "
                "null default '1980-00-01 00:00:00', primary key (host_id, obj_id), unique(obj_id), unique "
                "(host_id, obj_path) )");
    Sql(".cdx", "insert into cache_object select * from old_object");
    Sql(".cdt", "alter table cache_content drop column obj_crc");
    ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1);
    EXPECT_EQ(Served("http://h/Readme"), "old");
    ASSERT_EQ(Store("http://h/readme", "new"), 1);
    EXPECT_EQ(Served("http://h/readme"), "new");
    EXPECT_EQ(Served("http://h/Readme"), "old");
}

TEST_F(CacheStoreTest, AddCacheFromFileStoresTheFile) {
    WriteFile(dir.File("page.html"), "<p>from disk</p>");
    ASSERT_EQ(db.AddCacheFromFile("http://h/page.html", dir.File("page.html").c_str()), 1);
    EXPECT_EQ(Served("http://h/page.html"), "<p>from disk</p>");
    EXPECT_EQ(db.AddCacheFromFile("http://h/none", dir.File("missing").c_str()), 0);
}
