// Bookmark files in headless Chromium: a bookmark file whose titles carry
// script and placeholders, imported into a link directory, shows them as
// text and runs nothing. Screenshots of the two import forms (saved as the
// administrator sees them) and of the folder with the imported links.
#include <gtest/gtest.h>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kHostile[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"
    "<DT><H3>Reading &lt;b&gt;list&lt;/b&gt;</H3>\n<DD>Pages worth a second look\n<DL><p>\n"
    "<DT><A HREF=\"http://evil.example/\" TAGS=\"hostile\">&lt;script&gt;document.body.setAttribute('data-ran',"
    "'title')&lt;/script&gt;{page_content}</A>\n"
    "<DD>&lt;img src=x onerror=\"document.body.setAttribute('data-ran','img')\"&gt; hostile\n"
    "<DT><A HREF=\"javascript:document.body.setAttribute('data-ran','link')\">Run me</A>\n"
    "<DT><A HREF=\"https://plain.example/\" ADD_DATE=\"1600000000\">A plain link</A>\n<DD>Fine and hostile-free\n"
    "</DL><p>\n</DL><p>\n";

class BrowserBookmarksTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(links.Ready());
        ASSERT_TRUE(rss.Ready());
    }
    // An administrator's page saved to a file that loads its styles
    // through the proxy, for a screenshot.
    void ShootSaved(const SiteProxy& site, SiteClient& who, const std::string& path, const std::string& name) {
        std::string page = who.Get(path).body;
        const size_t head = page.find("<head>");
        page.insert(head == std::string::npos ? 0 : head + 6, "<base href=\"http://" + site.Host() + "/\">");
        const std::string file = dir + "/" + name + ".html";
        WriteFile(file, page);
        browser.Shoot(site.proxy.Port(), "file://" + file, name);
    }

    SiteProxy links{"links.test", {}, "", "cld"};
    SiteProxy rss{"rss.test", {}, "", "crd"};
    HeadlessChromium browser;
    std::string dir = MakeTempDir();
};

}  // namespace

TEST_F(BrowserBookmarksTest, ImportedHostileTitlesAreTextAndRunNothing) {
    SiteClient admin(links.proxy, "links.test");
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    const Answer a = admin.PostFile("/phpmod/bookmarks.php", {{"op", "doimport"}, {"cat", "0"}}, "bookmarks",
                                    "bookmarks.html", kHostile);
    ASSERT_NE(a.body.find("Imported 1 folders and 2 links"), std::string::npos) << a.body;
    const std::string url = "http://links.test/Reading-b-list-b/";
    const std::string dom = browser.Load(links.proxy.Port(), url, {"--virtual-time-budget=5000"});
    EXPECT_NE(dom.find("A plain link"), std::string::npos) << dom;
    ExpectShownAsText(dom, url);
    browser.Shoot(links.proxy.Port(), url, "bookmarks-folder");

    ShootSaved(links, admin, "/phpmod/bookmarks.php?op=import&cat=0", "bookmarks-import");
    SiteClient rssAdmin(rss.proxy, "rss.test");
    ASSERT_TRUE(rssAdmin.Login("admin", SiteProxy::kAdminPassword));
    ShootSaved(rss, rssAdmin, "/phpmod/opml.php?op=import&cat=0", "opml-import");
    RemoveTree(dir);
}
