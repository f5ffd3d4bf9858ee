// A real browser through KvProxy: headless Chromium, pointed at the proxy
// with --proxy-server, loads a page of a local file site, a page of a test
// origin, and a black-listed address that shows the block page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

std::string FindChromium() {
    for (const char* name : {"chromium", "chromium-browser"}) {
        if (RunProgram({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}) == 0) return name;
    }
    return std::string();
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_chromium = FindChromium();
        if (m_chromium.empty()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(proxy.Started()) << "kvproxy did not start";
        m_profile = MakeTempDir();
    }
    void TearDown() override {
        if (!m_profile.empty()) RemoveTree(m_profile);
    }

    // The page's DOM after Chromium loaded `url` through the proxy.
    std::string Load(const std::string& url) {
        std::string dom, errors;
        std::vector<std::string> argv = {m_chromium,
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-background-networking",
                                         "--no-first-run",
                                         "--user-data-dir=" + m_profile,
                                         "--proxy-server=http://127.0.0.1:" + std::to_string(proxy.Port()),
                                         // The test origin is on loopback: proxy it all the same.
                                         "--proxy-bypass-list=<-loopback>",
                                         "--dump-dom",
                                         url};
        int code = RunProgram(argv, &dom, &errors, 90000);
        EXPECT_EQ(code, 0) << errors;
        return dom;
    }

    CountingOrigin origin;
    Proxy proxy{{{"LocalWeb/Docs.Local/index.html",
                      "<html><head><title>Docs</title></head><body><h1>served from a file site</h1></body></html>"},
                     {"blacklist.txt", "*/blocked/*\n"}},
                    "[Proxy]\nRecTimeout=10\nTunnel=1\n[General]\nUseBlackList=1\n"};
    std::string m_chromium;
    std::string m_profile;
};

}  // namespace

TEST_F(BrowserTest, ChromiumLoadsFileSiteOriginPageAndSeesTheBlockPage) {
    EXPECT_NE(Load("http://docs.local/").find("served from a file site"), std::string::npos);

    std::string page = Load(origin.Url("/hello.txt"));
    EXPECT_NE(page.find("/hello.txt"), std::string::npos) << page;
    EXPECT_GE(origin.Count(), 1);

    std::string blocked = Load(origin.Url("/blocked/ad.html"));
    EXPECT_NE(blocked.find("903"), std::string::npos) << blocked;
    EXPECT_NE(blocked.find("Matched rule:*/blocked/*"), std::string::npos) << blocked;
    // The origin never saw the blocked page asked for (its favicon may be,
    // with the blocked page as referer).
    for (const std::string& head : origin.server().Heads()) {
        const std::string line = head.substr(0, head.find("\r\n"));
        EXPECT_EQ(line.find("/blocked/"), std::string::npos) << line;
    }
}
