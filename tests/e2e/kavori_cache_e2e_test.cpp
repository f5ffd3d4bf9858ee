// The cache inside the proxy: a miss is stored and the next request is a
// hit with "CacheName" and without "Set-Cookie"; "$delete" drops it with
// its page; "$bypass" and the no-cache list leave the cache alone; POST,
// 404 answers, answers cut short and host "localhost" are never stored.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class CacheTest : public ::testing::Test {
protected:
    CountingOrigin origin;
    Proxy proxy{{{"nocache.txt", "*/private/*\n"}},
                    "[Proxy]\nRecTimeout=5\n[General]\nUseNoCacheList=1\nCustomSearchPrefix=" + origin.Url("/custom?")};
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }

    Answer Get(const std::string& url) { return Parse(proxy.Exchange(GetRequest(url))); }

    // Asks until the answer comes from the cache (the store follows the
    // relay on the proxy's side); the hit, or the last miss.
    Answer GetUntilCached(const std::string& url) {
        Answer a;
        for (int i = 0; i < 50; ++i) {
            a = Get(url);
            if (a.Has("cachename")) break;
            Pause(50);
        }
        Pause(300);  // a store of an earlier miss still under way lands first
        return a;
    }

    // Two requests with time for a store between them: both must reach the
    // origin.
    void ExpectNeverStored(const std::string& request) {
        const int before = origin.Count();
        Answer first = Parse(proxy.Exchange(request));
        Pause(300);
        Answer second = Parse(proxy.Exchange(request));
        EXPECT_EQ(origin.Count(), before + 2) << request;
        EXPECT_FALSE(second.Has("cachename")) << request;
    }
};

}  // namespace

TEST_F(CacheTest, MissIsStoredAndTheHitCarriesCacheNameWithoutCookies) {
    Answer miss = Get(origin.Url("/page.html?q=1"));
    ASSERT_EQ(miss.status, 200);
    EXPECT_EQ(miss.body, "answer 1 /page.html?q=1");
    EXPECT_TRUE(miss.Has("set-cookie"));
    EXPECT_FALSE(miss.Has("cachename"));

    Answer hit = GetUntilCached(origin.Url("/page.html?q=1"));
    ASSERT_TRUE(hit.Has("cachename"));
    EXPECT_EQ(hit.status, 200);
    // One of the origin's answers (a request that came before the store
    // was done went to the origin again and may be stored too).
    EXPECT_EQ(hit.body.rfind("answer ", 0), 0u) << hit.body;
    EXPECT_EQ(hit.body.substr(hit.body.find(' ', 7)), " /page.html?q=1") << hit.body;
    EXPECT_FALSE(hit.Has("set-cookie"));
    EXPECT_EQ(hit.Get("connection"), "close");
    const int count = origin.Count();
    EXPECT_TRUE(Get(origin.Url("/page.html?q=1")).Has("cachename"));
    EXPECT_EQ(origin.Count(), count);
    // Another query is another object.
    EXPECT_FALSE(Get(origin.Url("/page.html?q=2")).Has("cachename"));
}

TEST_F(CacheTest, DeleteSuffixDropsTheObjectAndShowsItsPage) {
    ASSERT_TRUE(GetUntilCached(origin.Url("/doc")).Has("cachename"));
    const int count = origin.Count();
    Answer page = Get(origin.Url("/doc$delete"));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<h1>Cache Deleted</h1><body>Cache for " + origin.Url("/doc") + " deleted. Click <a href=\"" +
                             origin.Url("/doc") + "\">HERE</a> to Refresh.</body>");
    EXPECT_EQ(origin.Count(), count);  // deleting asks nobody
    Answer again = Get(origin.Url("/doc"));
    EXPECT_FALSE(again.Has("cachename"));
    EXPECT_EQ(origin.Count(), count + 1);

    // What the page shows is escaped.
    Answer escaped = Get(origin.Url("/x%3Cb%3E$delete"));
    EXPECT_EQ(escaped.body.find("<b>"), std::string::npos);
    EXPECT_NE(escaped.body.find("/x&lt;b&gt;"), std::string::npos);
}

TEST_F(CacheTest, BypassCustomSearchAndNoCacheListLeaveTheCacheAlone) {
    ASSERT_TRUE(GetUntilCached(origin.Url("/shared")).Has("cachename"));
    const std::string stored = Get(origin.Url("/shared")).body;
    // "$bypass" is not answered from the cache even when it holds the object.
    const int count = origin.Count();
    Answer bypassed = Get(origin.Url("/shared$bypass"));
    EXPECT_FALSE(bypassed.Has("cachename"));
    EXPECT_EQ(origin.Count(), count + 1);

    ExpectNeverStored(GetRequest(origin.Url("/fresh$bypass")));
    ExpectNeverStored(GetRequest(origin.Url("/private/account")));
    ExpectNeverStored(GetRequest(origin.Url("/custom?q=term")));
    // A bypassed answer did not replace the stored one either.
    Answer shared = Get(origin.Url("/shared"));
    EXPECT_TRUE(shared.Has("cachename"));
    EXPECT_EQ(shared.body, stored);
}

TEST_F(CacheTest, PostNotFoundCutShortAndLocalhostAreNeverStored) {
    const std::string port = std::to_string(origin.Port());
    ExpectNeverStored("POST " + origin.Url("/form") + " HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                      "\r\nContent-Length: 3\r\n\r\na=1");
    ExpectNeverStored(GetRequest(origin.Url("/missing")));
    ExpectNeverStored(GetRequest(origin.Url("/cut")));
    ExpectNeverStored(GetRequest("http://localhost:" + port + "/local"));
    // The 404 answer was the proxy's own page both times.
    EXPECT_EQ(Get(origin.Url("/missing")).status, 404);
}
