// The cache inside the proxy: a miss is stored and the next request is a
// hit with "CacheName" and without "Set-Cookie"; "$delete" drops it with
// its page; "$bypass" and the no-cache list leave the cache alone; POST,
// 404 answers, answers cut short, answers to credentials, redirects to
// themselves and host "localhost" are never stored.
//
// The proxy stores an answer after the browser's connection is closed, so
// a test cannot tell from the answer when a store has landed. Restarting
// the proxy can: it finishes every exchange under way, stores included,
// before it ends. A request that is never stored is also never looked up
// ("$bypass", the no-cache list, custom searches, POST): a wrong store
// shows only to a probe, a GET of the same object read through a proxy
// restarted without those rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

class CacheTest : public ::testing::Test {
protected:
    CountingOrigin origin;
    const std::string plainIni = "[Proxy]\nRecTimeout=5\n";
    Proxy proxy{{{"nocache.txt", "*/private/*\n"}},
                plainIni + "[General]\nUseNoCacheList=1\nCustomSearchPrefix=" + origin.Url("/custom?")};
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }

    Answer Get(const std::string& url) { return Parse(proxy.Exchange(GetRequest(url))); }

    // Every store under way has landed when this returns.
    void LetStoresLand(const std::string& ini = "") { ASSERT_TRUE(proxy.Restart(ini)) << "kvproxy did not restart"; }

    // A miss, then (its store landed) the answer of the next request.
    Answer GetStored(const std::string& url) {
        Answer miss = Get(url);
        EXPECT_FALSE(miss.Has("cachename")) << url;
        LetStoresLand();
        return Get(url);
    }

    // A request and the GET address that would be answered from a wrong
    // store of it (none: nothing can see one).
    struct NeverStored {
        std::string request;
        std::string probe;
    };
    // Each request reaches the origin; with every store landed, each probe
    // read through the plain configuration reaches it too.
    void ExpectNeverStored(const std::vector<NeverStored>& cases) {
        for (const NeverStored& c : cases) {
            const int before = origin.Count();
            proxy.Exchange(c.request);
            EXPECT_EQ(origin.Count(), before + 1) << c.request;
        }
        LetStoresLand(plainIni);
        for (const NeverStored& c : cases) {
            const int before = origin.Count();
            Answer probe = Parse(proxy.Exchange(c.probe.empty() ? c.request : GetRequest(c.probe)));
            EXPECT_FALSE(probe.Has("cachename")) << c.request;
            EXPECT_EQ(origin.Count(), before + 1) << c.request;
        }
    }
};

}  // namespace

TEST_F(CacheTest, MissIsStoredAndTheHitCarriesCacheNameWithoutCookies) {
    Answer miss = Get(origin.Url("/page.html?q=1"));
    ASSERT_EQ(miss.status, 200);
    EXPECT_EQ(miss.body, "answer 1 /page.html?q=1");
    EXPECT_TRUE(miss.Has("set-cookie"));
    EXPECT_FALSE(miss.Has("cachename"));
    LetStoresLand();

    Answer hit = Get(origin.Url("/page.html?q=1"));
    ASSERT_TRUE(hit.Has("cachename"));
    EXPECT_EQ(hit.status, 200);
    EXPECT_EQ(hit.body, "answer 1 /page.html?q=1");
    EXPECT_FALSE(hit.Has("set-cookie"));
    EXPECT_EQ(hit.Get("connection"), "close");
    EXPECT_EQ(origin.Count(), 1);
    // Another query is another object.
    EXPECT_FALSE(Get(origin.Url("/page.html?q=2")).Has("cachename"));
}

TEST_F(CacheTest, DeleteSuffixDropsTheObjectAndShowsItsPage) {
    ASSERT_TRUE(GetStored(origin.Url("/doc")).Has("cachename"));
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
    Answer stored = GetStored(origin.Url("/shared"));
    ASSERT_TRUE(stored.Has("cachename"));
    // "$bypass" is not answered from the cache even when it holds the object.
    const int count = origin.Count();
    Answer bypassed = Get(origin.Url("/shared$bypass"));
    EXPECT_FALSE(bypassed.Has("cachename"));
    EXPECT_EQ(origin.Count(), count + 1);

    ExpectNeverStored({{GetRequest(origin.Url("/fresh$bypass")), origin.Url("/fresh")},
                       {GetRequest(origin.Url("/private/account")), origin.Url("/private/account")},
                       {GetRequest(origin.Url("/custom?q=term")), origin.Url("/custom?q=term")}});
    // A bypassed answer did not replace the stored one either.
    Answer shared = Get(origin.Url("/shared"));
    EXPECT_TRUE(shared.Has("cachename"));
    EXPECT_EQ(shared.body, stored.body);
}

TEST_F(CacheTest, PostNotFoundCutShortAndLocalhostAreNeverStored) {
    const std::string port = std::to_string(origin.Port());
    ExpectNeverStored(
        {{"POST " + origin.Url("/form") + " HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\nContent-Length: 3\r\n\r\na=1",
          origin.Url("/form")},
         {GetRequest(origin.Url("/missing")), origin.Url("/missing")},
         {GetRequest(origin.Url("/cut")), origin.Url("/cut")},
         // "localhost" is never looked up either: only the origin's count shows.
         {GetRequest("http://localhost:" + port + "/local"), ""}});
    // The 404 answer was the proxy's own page both times.
    EXPECT_EQ(Get(origin.Url("/missing")).status, 404);
}

TEST_F(CacheTest, CredentialsAndRedirectsToThemselvesAreNeitherServedNorStored) {
    const std::string credentials = "Authorization: Basic dXNlcjpwYXNz\r\n";
    ASSERT_TRUE(GetStored(origin.Url("/account")).Has("cachename"));
    const int before = origin.Count();
    Answer own = Parse(proxy.Exchange(GetRequest(origin.Url("/account"), credentials)));
    EXPECT_FALSE(own.Has("cachename")) << "another user's answer served to these credentials";
    EXPECT_EQ(origin.Count(), before + 1);

    ExpectNeverStored({{GetRequest(origin.Url("/mine"), credentials), origin.Url("/mine")},
                       {GetRequest(origin.Url("/loop/a?x=1")), origin.Url("/loop/a?x=1")}});
}
