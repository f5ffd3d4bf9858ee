// What the cache must never do, seen through the real kvproxy: keep
// another site's answer under a URL (a browser's own "Host"), give one
// URL's answer to another (keys that confuse escapes or letter case),
// tell a browser an older copy is current, serve bytes changed on the
// disk, keep a stored copy past a hard reload, pass on cookies, or hold
// more copies in memory than its budget allows.
//
// Stores land after the browser's connection is closed; a restart of the
// proxy finishes them (see kavori_cache_e2e_test.cpp).
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

// Answers "answer <n> <target>" (filled up to 2 MiB for targets beginning
// "/big") with both kinds of cookie, and records every request head.
class Origin {
public:
    Origin()
        : m_server([this](Conn& c) {
              EachRequest(c, [&](const std::string& head) {
                  m_server.Record(head);
                  std::string target = head.substr(head.find(' ') + 1);
                  target = target.substr(0, target.find(' '));
                  std::string body = "answer " + std::to_string(++m_count) + " " + target;
                  if (target.rfind("/big", 0) == 0) body.resize(2u << 20, 'x');  // 2 MiB
                  c.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nSet-Cookie: a=1\r\nSet-Cookie2: b=2; "
                          "Version=1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
              });
          }) {}
    int Count() const { return m_count.load(); }
    std::vector<std::string> Heads() { return m_server.Heads(); }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path; }

private:
    std::atomic<int> m_count{0};
    Server m_server;
};

std::string HttpDate(time_t t) {
    char text[64];
    struct tm tm;
    gmtime_r(&t, &tm);
    strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &tm);
    return text;
}

class CacheHardeningTest : public ::testing::Test {
protected:
    Origin origin;
    Proxy proxy{"RecTimeout=5\n"};
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }

    Answer Get(const std::string& url, const std::string& extra = "") {
        return Parse(proxy.Exchange(GetRequest(url, extra)));
    }
    void LetStoresLand() { ASSERT_TRUE(proxy.Restart()) << "kvproxy did not restart"; }
    // The body served from the cache for the URL ("<miss>" when it came
    // from the origin).
    std::string Cached(const std::string& url, const std::string& extra = "") {
        Answer a = Get(url, extra);
        return a.Has("cachename") ? a.body : "<miss>";
    }
};

}  // namespace

TEST_F(CacheHardeningTest, ForwardedHostIsTheTargetsSoNoOtherSiteLandsUnderTheUrl) {
    const std::string url = origin.Url("/page");
    Answer a = Parse(proxy.Exchange("GET " + url + " HTTP/1.1\r\nHost: attacker.example\r\nhOST: other.example\r\n\r\n"));
    ASSERT_EQ(a.status, 200);
    const std::vector<std::string> heads = origin.Heads();
    ASSERT_EQ(heads.size(), 1u);
    const std::string authority = url.substr(7, url.find('/', 7) - 7);
    EXPECT_NE(heads[0].find("\r\nHost: " + authority + "\r\n"), std::string::npos) << heads[0];
    EXPECT_EQ(heads[0].find("attacker.example"), std::string::npos) << heads[0];
    EXPECT_EQ(heads[0].find("other.example"), std::string::npos) << heads[0];
}

TEST_F(CacheHardeningTest, EscapedDelimitersAndLetterCaseMakeSeparateObjects) {
    const std::vector<std::string> paths = {"/s?q=a%26b%3Dc", "/s?q=a&b=c", "/a%2Fb", "/a/b", "/Case", "/case"};
    for (const std::string& path : paths) ASSERT_EQ(Get(origin.Url(path)).status, 200) << path;
    LetStoresLand();
    for (const std::string& path : paths) {
        const std::string body = Cached(origin.Url(path));
        EXPECT_EQ(body.substr(body.find(' ', 7) + 1), path) << body;
    }
    // An escaped unreserved character is the character itself.
    const std::string escaped = Cached(origin.Url("/%43ase"));
    EXPECT_EQ(escaped.substr(escaped.find(' ', 7) + 1), "/Case");
    EXPECT_EQ(origin.Count(), (int)paths.size());
}

TEST_F(CacheHardeningTest, RevalidationGets304OnlyForACopyNoOlderThanTheStoredOne) {
    const std::string url = origin.Url("/doc");
    Get(url);
    LetStoresLand();
    for (const char* since : {"garbage", "Mon, 01 Jan 1990 00:00:00 GMT"}) {
        Answer a = Get(url, std::string("If-Modified-Since: ") + since + "\r\n");
        EXPECT_EQ(a.status, 200) << since;
        EXPECT_EQ(a.body, "answer 1 /doc") << since;
    }
    // A copy dated now is current (once the clock has passed the second
    // in which the object was stored).
    std::string current;
    ASSERT_TRUE(WaitUntil([&] {
        current = HttpDate(time(nullptr));
        return Parse(proxy.Exchange(GetRequest(url, "If-Modified-Since: " + current + "\r\n"))).status == 304;
    }, 5000));
    // Deleted and stored again: the browser's copy is older now.
    ASSERT_EQ(Get(url + "$delete").status, 200);
    Get(url);
    LetStoresLand();
    Answer again = Get(url, "If-Modified-Since: " + current + "\r\n");
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, "answer 2 /doc");
}

TEST_F(CacheHardeningTest, HardReloadFetchesAndReplacesTheStoredCopy) {
    const std::string url = origin.Url("/news");
    Get(url);
    LetStoresLand();
    EXPECT_EQ(Cached(url), "answer 1 /news");
    for (const char* reload : {"Cache-Control: no-cache\r\n", "Pragma: no-cache\r\n",
                               "Cache-Control: max-age=0, No-Cache\r\n"}) {
        const int before = origin.Count();
        Answer fresh = Get(url, reload);
        EXPECT_FALSE(fresh.Has("cachename")) << reload;
        EXPECT_EQ(origin.Count(), before + 1) << reload;
    }
    LetStoresLand();
    const std::string replaced = Cached(url);
    EXPECT_NE(replaced, "<miss>");
    EXPECT_NE(replaced, "answer 1 /news");
    EXPECT_EQ(Cached(url, "Cache-Control: max-age=0\r\n"), replaced);  // a plain reload
}

TEST_F(CacheHardeningTest, BytesChangedInTheStoreFileNeverReachTheBrowser) {
    const std::string url = origin.Url("/file-to-damage");
    Get(url);
    LetStoresLand();  // the store files are closed and whole now, and not open yet
    const std::string file = proxy.Dir() + "/Cache/vcache.cdt";
    std::string bytes = ReadFile(file);
    const size_t at = bytes.find("answer 1 /file-to-damage");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 7] = '7';
    WriteFile(file, bytes);
    Answer a = Get(url);
    EXPECT_FALSE(a.Has("cachename"));
    EXPECT_EQ(a.body, "answer 2 /file-to-damage");
    // The damaged object is gone; the fresh answer takes its place.
    LetStoresLand();
    EXPECT_EQ(Cached(url), "answer 2 /file-to-damage");
}

TEST_F(CacheHardeningTest, NoKindOfCookieIsServedFromTheCache) {
    const std::string url = origin.Url("/cookies");
    EXPECT_TRUE(Get(url).Has("set-cookie2"));
    LetStoresLand();
    Answer hit = Get(url);
    ASSERT_TRUE(hit.Has("cachename"));
    EXPECT_FALSE(hit.Has("set-cookie"));
    EXPECT_FALSE(hit.Has("set-cookie2"));
}

TEST(CacheBudgetTest, AnswerPastTheCopyBudgetIsRelayedWholeAndNotStored) {
    Origin origin;
    Proxy proxy("RecTimeout=5\nCacheCopyBudget=1\n");
    ASSERT_TRUE(proxy.Started());
    Answer big = Parse(proxy.Exchange(GetRequest(origin.Url("/big"))));
    EXPECT_EQ(big.status, 200);
    EXPECT_EQ(big.body.size(), 2u << 20);
    EXPECT_EQ(big.body.rfind("answer 1 /big", 0), 0u);
    proxy.Exchange(GetRequest(origin.Url("/small")));
    ASSERT_TRUE(proxy.Restart());
    EXPECT_FALSE(Parse(proxy.Exchange(GetRequest(origin.Url("/big")))).Has("cachename"));
    EXPECT_TRUE(Parse(proxy.Exchange(GetRequest(origin.Url("/small")))).Has("cachename"));
}
