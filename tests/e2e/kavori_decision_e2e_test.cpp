// The decision path through the real proxy: local file sites, the pop-up
// filter and black list pages, "$force", the white list and the portal's
// referer, the redirect shortcuts, and CONNECT tunnels meeting the lists.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

const char kIni[] =
    "[Proxy]\nRecTimeout=5\nTunnel=1\nTunnelPorts=443 %ECHO%\n"
    "[General]\nUseWhiteList=1\nUseBlackList=1\nUsePopUpFilter=1\nPortalDomain=portal.test\n"
    "ZuRedirectPrefixes=http://dir.test/click\nStarRedirectPrefixes=http://se.test/r/\n";

std::string Ini(int echoPort) {
    std::string ini = kIni;
    ini.replace(ini.find("%ECHO%"), 6, std::to_string(echoPort));
    return ini;
}

class DecisionTest : public ::testing::Test {
protected:
    // Answers a tunnel's bytes back.
    Server echo{[](Conn& c) {
        std::string got = c.ReadExact(4, 5000);
        c.Write(got);
    }};
    CountingOrigin origin;
    Proxy proxy{{{"LocalWeb/Docs.Local/index.html", "<p>file-site home</p>"},
                     {"LocalWeb/Docs.Local/sub/page.txt", "plain page"},
                     {"popupfilter.txt", "*/popup/*\n"},
                     {"blacklist.txt", "*/blocked<1>*\n*blocked.test*\n"},
                     {"whitelist.txt", "*/blocked<1>/white*\n"}},
                    Ini(echo.Port())};
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }
};

}  // namespace

TEST_F(DecisionTest, FileSiteIsServedLocallyAndNeverForwarded) {
    Answer home = Parse(proxy.Exchange(GetRequest("http://docs.local/")));
    EXPECT_EQ(home.status, 200);
    EXPECT_EQ(home.body, "<p>file-site home</p>");
    EXPECT_EQ(home.Get("connection"), "close");
    // "$force" never takes a request past the local sites.
    Answer page = Parse(proxy.Exchange(GetRequest("http://docs.local/sub/page.txt$force")));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "plain page");
    // A file the site lacks is the site's own answer, not a forward.
    Answer missing = Parse(proxy.Exchange(GetRequest("http://docs.local/nothing-here.html")));
    EXPECT_NE(missing.status, 0);
    EXPECT_EQ(missing.body.find("Failed to connect"), std::string::npos);
    EXPECT_EQ(origin.Count(), 0);
}

TEST_F(DecisionTest, PopUpAndBlackListPagesSay404AndShowTheEscapedRule) {
    std::string raw = proxy.Exchange(GetRequest(origin.Url("/popup/window.html")));
    Answer popup = Parse(raw);
    EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "HTTP/1.0 404 Not Found");
    EXPECT_NE(popup.body.find("error 904"), std::string::npos);
    EXPECT_NE(popup.body.find("Popup Block: " + origin.Url("/popup/window.html")), std::string::npos);

    raw = proxy.Exchange(GetRequest(origin.Url("/blocked%3C1%3E/ad.js")));
    Answer black = Parse(raw);
    EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "HTTP/1.0 404 Not Found");
    EXPECT_NE(black.body.find("error 903"), std::string::npos);
    EXPECT_NE(black.body.find("Matched rule:*/blocked&lt;1&gt;*"), std::string::npos);
    EXPECT_EQ(black.body.find("<1>"), std::string::npos);
    EXPECT_EQ(std::atol(black.Get("content-length").c_str()), (long)black.body.size());
    EXPECT_EQ(origin.Count(), 0);
}

TEST_F(DecisionTest, ForceWhiteListAndPortalRefererFetchPastTheLists) {
    Answer forced = Parse(proxy.Exchange(GetRequest(origin.Url("/blocked%3C1%3E/ad.js$force"))));
    EXPECT_EQ(forced.status, 200);
    EXPECT_EQ(forced.body, "answer 1 /blocked%3C1%3E/ad.js");  // the suffix never reaches the origin

    Answer white = Parse(proxy.Exchange(GetRequest(origin.Url("/blocked%3C1%3E/white.js"))));
    EXPECT_EQ(white.status, 200);

    Answer referred = Parse(proxy.Exchange(
        GetRequest(origin.Url("/popup/from-portal.html"), "Referer: http://www.portal.test/start\r\n")));
    EXPECT_EQ(referred.status, 200);
    Answer elsewhere = Parse(proxy.Exchange(
        GetRequest(origin.Url("/popup/from-portal.html"), "Referer: http://www.other.test/start\r\n")));
    EXPECT_EQ(elsewhere.status, 404);
    EXPECT_EQ(origin.Count(), 3);
}

TEST_F(DecisionTest, RedirectShortcutsAnswerWithoutTheRedirector) {
    Answer zu = Parse(proxy.Exchange(GetRequest("http://dir.test/click?id=7&zu=http%3A%2F%2Fexample.test%2Fa%3Fb%3D1")));
    EXPECT_EQ(zu.status, 302);
    EXPECT_EQ(zu.Get("location"), "http://example.test/a?b=1");
    Answer stars = Parse(proxy.Exchange(GetRequest("http://se.test/r/42**http%3A%2F%2Fexample.test%2Fhit")));
    EXPECT_EQ(stars.status, 302);
    EXPECT_EQ(stars.Get("location"), "http://example.test/hit");
    // A target that would split the header is not redirected to: the
    // request goes its normal way (here: a host that does not resolve).
    Answer bad = Parse(proxy.Exchange(GetRequest("http://se.test/r/42**http://x.test/%0D%0ASet-Cookie:%20a=b")));
    EXPECT_NE(bad.status, 302);
    EXPECT_FALSE(bad.Has("set-cookie"));
}

TEST_F(DecisionTest, BlockedConnectIsRefusedAndAnAllowedOneTunnels) {
    std::string raw = proxy.Exchange("CONNECT blocked.test:443 HTTP/1.1\r\nHost: blocked.test:443\r\n\r\n");
    Answer refused = Parse(raw);
    EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "HTTP/1.0 404 Not Found");
    EXPECT_NE(refused.body.find("https://blocked.test/"), std::string::npos);
    EXPECT_LT(refused.body.size(), 200u);

    const std::string target = "127.0.0.1:" + std::to_string(echo.Port());
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n"));
    EXPECT_EQ(Parse(c.ReadHead()).status, 200);
    ASSERT_TRUE(c.Write("ping"));
    EXPECT_EQ(c.ReadExact(4), "ping");
}
