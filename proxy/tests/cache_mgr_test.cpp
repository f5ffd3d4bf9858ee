// The cache manager: routing between domain stores, pcache and vcache,
// expiry per store, revalidation, served headers, many threads at once,
// and stores whose files are damaged.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "ext/KvSqLite/KvSqLite.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheMgr.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

class CacheMgrTest : public ::testing::Test {
protected:
    void SetUp() override { KvCacheMgr::SetCacheSettings(dir.Path().c_str(), 7); }

    // A store file made before the manager starts (as the user would).
    void MakeStore(const char* name, const char* url = nullptr, const char* body = nullptr) {
        KvCacheDB db;
        ASSERT_EQ(db.Open(dir.Path().c_str(), name), 1);
        if (url) {
            KvHttpResponse r;
            MakeAnswer(r, body);
            ASSERT_EQ(db.AddCache(url, &r), 1);
        }
    }
    // Objects a store file holds for the URL (0 or 1), read on its own.
    int StoredIn(const char* name, const char* url) {
        KvCacheDB db;
        db.SetReadOnly(TRUE);
        if (!db.Open(dir.Path().c_str(), name)) return 0;
        return db.IsExist(url) ? 1 : 0;
    }
    int Add(KvCacheMgr& mgr, const char* host, const char* path, const std::string& body) {
        KvHttpResponse r;
        MakeAnswer(r, body);
        return mgr.AddCache(host, path, &r);
    }
    std::string Get(KvCacheMgr& mgr, const std::string& url, KvHttpResponse* out = nullptr) {
        KvHttpRequest q;
        MakeRequest(q, url);
        KvHttpResponse r;
        KvHttpResponse& use = out ? *out : r;
        return mgr.GetCache(&q, &use) ? Body(use) : "<miss>";
    }
    void Expire(const char* name) {
        KvSqlDB raw;
        ASSERT_TRUE(raw.Open((dir.Path() + name + ".cdx").c_str()));
        ASSERT_GE(raw.Execute("update cache_object set obj_expired='2001-01-01 00:00:00'"), 0);
    }

    TempDir dir;
};

}  // namespace

TEST_F(CacheMgrTest, DomainStoreTakesItsHostAndVcacheTheRest) {
    MakeStore("News.Example.COM");  // the name on disk in mixed case
    KvCacheMgr mgr;
    ASSERT_EQ(Add(mgr, "news.example.com", "/a%20b", "domain"), 1);
    ASSERT_EQ(Add(mgr, "other.org", "/x", "general"), 1);
    EXPECT_EQ(StoredIn("News.Example.COM", "http://news.example.com/a b"), 1);
    EXPECT_EQ(StoredIn("vcache", "http://news.example.com/a b"), 0);
    EXPECT_EQ(StoredIn("vcache", "http://other.org/x"), 1);

    KvHttpResponse r;
    EXPECT_EQ(Get(mgr, "http://NEWS.example.com/a%20b", &r), "domain");
    EXPECT_STREQ(r.GetHeaderValue("CacheName"), "News.Example.COM");
    EXPECT_EQ(Get(mgr, "http://other.org/x", &r), "general");
    EXPECT_STREQ(r.GetHeaderValue("CacheName"), "vcache");
    EXPECT_EQ(Get(mgr, "http://other.org/y"), "<miss>");
    EXPECT_EQ(Get(mgr, "ftp://other.org/x"), "<miss>");
}

TEST_F(CacheMgrTest, RequestOverloadsKeepThePortInTheKey) {
    KvCacheMgr mgr;
    KvHttpRequest q;
    MakeRequest(q, "http://h.org:8080/p");
    KvHttpResponse r;
    MakeAnswer(r, "8080");
    ASSERT_EQ(mgr.AddCache(&q, &r), 1);
    EXPECT_EQ(Get(mgr, "http://h.org/p"), "<miss>");
    EXPECT_EQ(Get(mgr, "http://h.org:8080/p"), "8080");
    EXPECT_EQ(mgr.DeleteCache(&q), 1);
    EXPECT_EQ(Get(mgr, "http://h.org:8080/p"), "<miss>");
}

TEST_F(CacheMgrTest, PcacheServesExpiredObjectsVcacheDropsThem) {
    MakeStore("pcache", "http://p.org/keep", "permanent");
    MakeStore("vcache", "http://v.org/old", "volatile");
    Expire("pcache");
    Expire("vcache");
    KvCacheMgr mgr;
    KvHttpResponse r;
    EXPECT_EQ(Get(mgr, "http://p.org/keep", &r), "permanent");
    EXPECT_STREQ(r.GetHeaderValue("CacheName"), "pcache");
    EXPECT_EQ(Get(mgr, "http://v.org/old"), "<miss>");
    EXPECT_EQ(StoredIn("vcache", "http://v.org/old"), 0);
    // New answers never go to pcache.
    ASSERT_EQ(Add(mgr, "p.org", "/new", "fresh"), 1);
    EXPECT_EQ(StoredIn("pcache", "http://p.org/new"), 0);
    EXPECT_EQ(StoredIn("vcache", "http://p.org/new"), 1);
}

TEST_F(CacheMgrTest, NoPcacheFileIsMadeByReading) {
    KvCacheMgr mgr;
    EXPECT_EQ(Get(mgr, "http://a.org/"), "<miss>");
    EXPECT_FALSE(std::filesystem::exists(dir.File("pcache.cdx")));
}

TEST_F(CacheMgrTest, RevalidationComparesDatesAndServedAnswersAreClean) {
    KvCacheMgr mgr;
    ASSERT_EQ(Add(mgr, "h.org", "/p", "page"), 1);
    KvHttpRequest q;
    MakeRequest(q, "http://h.org/p", "Thu, 01 Jan 1970 00:00:00 GMT");
    KvHttpResponse r;
    ASSERT_EQ(mgr.GetCache(&q, &r), 1);
    EXPECT_EQ(r.m_nStatus, 200);  // the browser's copy is older

    KvHttpResponse full;
    ASSERT_EQ(Get(mgr, "http://h.org/p", &full), "page");
    EXPECT_EQ(CountHeader(full, "Set-Cookie"), 0);
    EXPECT_EQ(CountHeader(full, "Set-Cookie2"), 0);
    EXPECT_EQ(CountHeader(full, "Cache-Control"), 0);
    EXPECT_EQ(CountHeader(full, "CacheName"), 1);
}

TEST_F(CacheMgrTest, DeleteTriesDomainThenVcache) {
    MakeStore("d.org");
    KvCacheMgr mgr;
    ASSERT_EQ(Add(mgr, "d.org", "/a", "a"), 1);
    ASSERT_EQ(Add(mgr, "e.org", "/a", "a"), 1);
    EXPECT_EQ(mgr.DeleteCache("d.org", "/a"), 1);
    EXPECT_EQ(mgr.DeleteCache("e.org", "/a"), 1);
    EXPECT_EQ(Get(mgr, "http://d.org/a"), "<miss>");
    EXPECT_EQ(Get(mgr, "http://e.org/a"), "<miss>");
    EXPECT_EQ(mgr.DeleteCache("never.org", "/x"), 1);
}

// Threads arriving together make the first call; readers and writers then
// run side by side. Every answer served must be the one of its own URL.
TEST_F(CacheMgrTest, ManyThreadsNeverGetAnotherUrlsAnswer) {
    MakeStore("d.org");
    KvCacheMgr mgr;
    constexpr int kThreads = 16, kUrls = 40, kRounds = 150;
    std::atomic<int> wrong{0}, hits{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < kRounds; ++i) {
                int n = (i * 7 + t * 13) % kUrls;
                const char* host = n % 2 ? "d.org" : "v.org";
                std::string path = "/obj" + std::to_string(n);
                std::string url = std::string("http://") + host + path;
                if ((i + t) % 5 == 0) {
                    Add(mgr, host, path.c_str(), url + std::string(1000 + n * 50, '*'));
                } else if ((i + t) % 17 == 0) {
                    mgr.DeleteCache(host, path.c_str());
                } else {
                    std::string got = Get(mgr, url);
                    if (got == "<miss>") continue;
                    ++hits;
                    if (got != url + std::string(1000 + n * 50, '*')) ++wrong;
                }
            }
        });
    }
    go.store(true);
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(hits.load(), 0);
}

TEST_F(CacheMgrTest, GarbageStoreFileIsAMissAndTheProxyGoesOn) {
    WriteFile(dir.File("bad.org.cdx"), std::string(4096, 'G'));
    WriteFile(dir.File("bad.org.cdt"), "not a database either");
    KvCacheMgr mgr;
    EXPECT_EQ(Get(mgr, "http://bad.org/x"), "<miss>");
    // Adding falls through to vcache.
    ASSERT_EQ(Add(mgr, "bad.org", "/x", "saved elsewhere"), 1);
    EXPECT_EQ(Get(mgr, "http://bad.org/x"), "saved elsewhere");
    // The damaged files are left as they were.
    EXPECT_EQ(std::filesystem::file_size(dir.File("bad.org.cdx")), 4096u);
}

TEST_F(CacheMgrTest, UnusableVcacheMakesAddsFail) {
    WriteFile(dir.File("vcache.cdx"), std::string(8192, '\x5A'));
    KvCacheMgr mgr;
    EXPECT_EQ(Add(mgr, "a.org", "/x", "x"), 0);
    EXPECT_EQ(Get(mgr, "http://a.org/x"), "<miss>");
}

// Cut files are refused when opened; a file damaged in the middle fails on
// the rows that lie there. Neither ever serves a wrong or partial answer.
TEST_F(CacheMgrTest, DamagedStoreFilesNeverServeWrongOrPartialAnswers) {
    enum { kCutContent, kCutBoth, kGarbageInContent };
    for (int damage : {kCutContent, kCutBoth, kGarbageInContent}) {
        TempDir local;
        KvCacheMgr::SetCacheSettings(local.Path().c_str(), 7);
        {
            KvCacheDB db;
            ASSERT_EQ(db.Open(local.Path().c_str(), "vcache"), 1);
            for (int i = 0; i < 60; ++i) {
                KvHttpResponse r;
                std::string url = "http://t.org/" + std::to_string(i);
                MakeAnswer(r, url + std::string(3000 + i * 37, 'b'));
                ASSERT_EQ(db.AddCache(url.c_str(), &r), 1);
            }
        }  // closed: the logs are folded into the files
        std::string content = local.File("vcache.cdt");
        if (damage == kGarbageInContent) {
            FILE* f = std::fopen(content.c_str(), "r+b");
            ASSERT_NE(f, nullptr);
            std::fseek(f, (long)std::filesystem::file_size(content) / 2, SEEK_SET);
            std::string junk(20000, '\x7F');
            std::fwrite(junk.data(), 1, junk.size(), f);
            std::fclose(f);
        } else {
            std::filesystem::resize_file(content, std::filesystem::file_size(content) / 2);
        }
        if (damage == kCutBoth) {
            std::string index = local.File("vcache.cdx");
            std::filesystem::resize_file(index, std::filesystem::file_size(index) / 2);
        }
        KvCacheMgr mgr;
        int served = 0;
        for (int i = 0; i < 60; ++i) {
            std::string url = "http://t.org/" + std::to_string(i);
            KvHttpRequest q;
            MakeRequest(q, url);
            KvHttpResponse r;
            if (!mgr.GetCache(&q, &r)) continue;
            ++served;
            EXPECT_EQ(Body(r), url + std::string(3000 + i * 37, 'b'));
        }
        if (damage == kGarbageInContent) {
            EXPECT_GT(served, 0);  // the rows outside the damage are still served
            EXPECT_LT(served, 60);
        }
    }
}

// Store files copied from a system that ignores letter case may spell the
// name and the extension any way; they are still the store's files, and no
// second, empty pair is made beside them.
TEST_F(CacheMgrTest, StoreFilesInAnotherLetterCaseAreStillTheStore) {
    MakeStore("shop.org", "http://shop.org/a", "from the shop store");
    std::filesystem::rename(dir.File("shop.org.cdx"), dir.File("Shop.ORG.CDX"));
    std::filesystem::rename(dir.File("shop.org.cdt"), dir.File("shop.org.Cdt"));
    {
        KvCacheMgr mgr;
        KvHttpResponse r;
        EXPECT_EQ(Get(mgr, "http://shop.org/a", &r), "from the shop store");
        EXPECT_STREQ(r.GetHeaderValue("CacheName"), "Shop.ORG");
        ASSERT_EQ(Add(mgr, "shop.org", "/b", "second"), 1);
        EXPECT_EQ(Get(mgr, "http://shop.org/b"), "second");
    }
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        std::string name = entry.path().filename().string();
        files += strncasecmp(name.c_str(), "shop.org.", 9) == 0;
    }
    EXPECT_EQ(files, 2);
    EXPECT_EQ(StoredIn("vcache", "http://shop.org/b"), 0);
}
