// An RSS reader in headless Chromium: a hostile feed downloaded into a
// folder (markup, script, "javascript:" links, event handlers,
// placeholders) is shown as text on the folder and search pages and runs
// nothing.
#include <gtest/gtest.h>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

std::string HostileFeed() {
    const std::string item =
        "<item><title>&lt;script&gt;document.body.setAttribute('data-ran','title')&lt;/script&gt;{page_content}"
        "</title><link>javascript:document.body.setAttribute('data-ran','link')</link><description>&lt;img src=x "
        "onerror=\"document.body.setAttribute('data-ran','img')\"&gt; hostile</description></item>"
        "<item><title>A plain item</title><link>http://plain.example/</link><description>Fine and hostile-free."
        "</description></item>";
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Evil &lt;b&gt;channel&lt;/b&gt;</title>"
           "<link>http://s.example/</link><description>d</description><copyright>&lt;script&gt;x()&lt;/script&gt;"
           "</copyright>" + item + "</channel></rss>";
}

void Answer(Conn& c) { AnswerRss(c, HostileFeed()); }

class BrowserRssTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(site.Ready());
    }
    std::string Load(const std::string& url, const std::vector<std::string>& extra = {}) {
        return browser.Load(site.proxy.Port(), url, extra);
    }

    Server feed{Answer};
    SiteProxy site{"rss.test", {}, "[General]\r\nPrivateDownloads=1\r\n", "crd"};  // the feed is served here
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserRssTest, HostileFeedIsShownAsTextAndRunsNothing) {
    SiteClient admin(site.proxy, "rss.test");
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    admin.PostWithToken("/phpmod/folder.php",
                        {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "evil"}, {"fld_title", "Evil feed"},
                         {"fld_rss_url", "http://127.0.0.1:" + std::to_string(feed.Port()) + "/rss"},
                         {"fld_show", "1"}, {"fld_active", "1"}});
    const std::string cat = site.DbValue("select folder_id from web_folder where folder_name='evil'");
    ASSERT_FALSE(cat.empty());
    admin.Get("/phpmod/rss_download.php?cat=" + cat + "&rnd=" + admin.Token());
    ASSERT_EQ(site.DbValue("select count(*) from link_member where folder_id=" + cat), "2");

    for (const char* url : {"http://rss.test/evil/", "http://rss.test/phpmod/search.php?q=hostile"}) {
        const std::string dom = Load(url, {"--virtual-time-budget=5000"});
        EXPECT_NE(dom.find("A plain item"), std::string::npos) << dom;
        ExpectShownAsText(dom, url);
        EXPECT_EQ(dom.find("href=\"javascript:document"), std::string::npos) << url;
    }
    browser.Shoot(site.proxy.Port(), "http://rss.test/evil/", "rss-folder");
    browser.Shoot(site.proxy.Port(), "http://rss.test/", "rss-root");
}
