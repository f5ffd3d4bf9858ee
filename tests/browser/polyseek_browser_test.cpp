// The meta-search site in headless Chromium: results from a hostile search
// service (markup, script, "javascript:" links, placeholders) are shown as
// text and run nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kHost[] = "search.kvproxy.home.arpa";

std::string HostileFeed() {
    const std::string item =
        "<item><title>&lt;script&gt;document.body.setAttribute('data-ran','title')&lt;/script&gt;{page_content}"
        "</title><link>javascript:document.body.setAttribute('data-ran','link')</link><description>&lt;img src=x "
        "onerror=\"document.body.setAttribute('data-ran','img')\"&gt;</description></item>"
        "<item><title>A plain result</title><link>http://plain.example/</link><description>Fine."
        "</description></item>";
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>S</title><link>http://s.example/</link>"
           "<description>d</description>" + item + "</channel></rss>";
}

void Answer(Conn& c) { AnswerRss(c, HostileFeed()); }

class BrowserPolyseekTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(proxy.Started());
        mkdir((proxy.Dir() + "/LocalWeb").c_str(), 0755);
        ASSERT_TRUE(MakeSiteDb(proxy.Dir() + "/LocalWeb/" + kHost + ".csd", "admin-pass-1"));
    }
    std::string Load(const std::string& url, const std::vector<std::string>& extra = {}) {
        return browser.Load(proxy.Port(), url, extra);
    }
    static std::string Ini(int port) {
        return "[Proxy]\r\nRecTimeout=10\r\n[Search]\r\ngoogle=http://127.0.0.1:" + std::to_string(port) +
               "/rss?q={q}\r\nmsn=\r\n";
    }

    Server services{Answer};
    Proxy proxy{SiteDataFiles(), Ini(services.Port())};
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserPolyseekTest, HostileResultsAreShownAsTextAndRunNothing) {
    const std::string url = std::string("http://") + kHost + "/search.php?q=hostile&se=google";
    const std::string dom = Load(url, {"--virtual-time-budget=5000"});
    EXPECT_NE(dom.find("A plain result"), std::string::npos) << dom;
    ExpectShownAsText(dom, url);
    EXPECT_EQ(dom.find("href=\"javascript:document"), std::string::npos);
    browser.Shoot(proxy.Port(), url, "polyseek");
    browser.Shoot(proxy.Port(), std::string("http://") + kHost + "/", "polyseek-home");
}
