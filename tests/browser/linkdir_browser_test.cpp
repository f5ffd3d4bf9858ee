// A link directory in headless Chromium: links whose titles, descriptions
// and notes carry markup, script, event handlers and placeholders are shown
// as text on the folder and search pages and run nothing.
#include <gtest/gtest.h>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

class BrowserLinkDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(site.Ready());
    }
    std::string Load(const std::string& url, const std::vector<std::string>& extra = {}) {
        return browser.Load(site.proxy.Port(), url, extra);
    }

    SiteProxy site{"links.test", {}, "", "cld"};
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserLinkDirTest, HostileLinksAreShownAsTextAndRunNothing) {
    SiteClient admin(site.proxy, "links.test");
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "Reading"},
                                               {"fld_title", "Reading list"}, {"fld_desc", "Pages worth a second look"},
                                               {"fld_show", "1"}, {"fld_active", "1"}});
    admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "Tools"},
                                               {"fld_desc", "Things that help"}, {"fld_show", "1"}, {"fld_active", "1"}});
    const std::string cat = site.DbValue("select folder_id from web_folder where folder_name='Reading'");
    ASSERT_FALSE(cat.empty());
    auto add = [&](const std::string& url, const std::string& title, const std::string& desc, const std::string& note) {
        admin.PostWithToken("/phpmod/link.php", {{"op", "doadd"}, {"cat", cat}, {"fld_url", url}, {"fld_title", title},
                                                 {"fld_desc", desc}, {"fld_note", note}, {"fld_keywords", "hostile"},
                                                 {"fld_show", "1"}, {"fld_active", "1"}});
    };
    add("http://evil.example/\"onmouseover=\"x", "<script>document.body.setAttribute('data-ran','title')</script>"
        "{page_content}", "<img src=x onerror=\"document.body.setAttribute('data-ran','img')\"> hostile", "<b>n</b>");
    add("http://evil.example/a", "<script>document.body.setAttribute('data-ran','title')</script>{page_content}",
        "<img src=x onerror=\"document.body.setAttribute('data-ran','img')\"> hostile\r\nline", "<i>note</i>");
    add("http://plain.example/", "A plain link", "Fine and hostile-free", "");
    ASSERT_EQ(site.DbValue("select count(*) from link_member where folder_id=" + cat), "2");

    for (const char* url : {"http://links.test/Reading/", "http://links.test/phpmod/search.php?q=hostile"}) {
        const std::string dom = Load(url, {"--virtual-time-budget=5000"});
        EXPECT_NE(dom.find("A plain link"), std::string::npos) << dom;
        ExpectShownAsText(dom, url);
    }
    browser.Shoot(site.proxy.Port(), "http://links.test/Reading/", "links-folder");
    browser.Shoot(site.proxy.Port(), "http://links.test/", "links-root");
}
