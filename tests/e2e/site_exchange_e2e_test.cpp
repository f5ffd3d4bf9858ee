// Exchange files through the real kvproxy: a browser's bookmark file
// imported into a link directory (folders, links with dates and tags, only
// web links, hostile titles shown as text), exported and imported again to
// an equal tree; an OPML file imported into an RSS reader (nested groups,
// feeds it has already and non-web feeds left out); imports without the
// token or by a plain member refused.
#include <gtest/gtest.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// The shape browsers write: unclosed DT and p, mixed case, nested folders.
const char kBookmarks[] =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
    "<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n"
    "    <DT><H3 ADD_DATE=\"1600000000\">Reading list</H3>\n"
    "    <DD>Pages worth a second look\n"
    "    <DL><p>\n"
    "        <DT><A HREF=\"https://read.example/a?x=1&amp;y=2\" ADD_DATE=\"1600000001\" TAGS=\"News,Tech\">First "
    "read</A>\n"
    "        <DD>About the first\n"
    "        <DT><A HREF=\"http://evil.example/\">&lt;script&gt;document.body.setAttribute('data-ran','t')"
    "&lt;/script&gt;{page_content}</A>\n"
    "        <dt><h3>Deep</h3>\n"
    "        <dl><p>\n"
    "            <dt><a href=\"http://deep.example/\" add_date=\"1600000002\">Deep link</a>\n"
    "            <DT><A HREF=\"javascript:alert(1)\">Run me</A>\n"
    "        </dl><p>\n"
    "    </DL><p>\n"
    "    <DT><A HREF=\"ftp://files.example/\">Files</A>\n"
    "    <DT><A HREF=\"http://top.example/\">Top link</A>\n"
    "</DL><p>\n";

class BookmarkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
        ASSERT_TRUE(mia.Login("mia", "mia-pass"));
    }
    Answer Import(SiteClient& who, const std::string& cat, const std::string& file, const std::string& into = "",
                  bool token = true) {
        return who.PostFile("/phpmod/bookmarks.php", {{"op", "doimport"}, {"cat", cat}, {"fld_name", into}},
                            "bookmarks", "bookmarks.html", file, token);
    }
    std::string Folder(const std::string& name) {
        return site.DbValue("select folder_id from web_folder where folder_name='" + name + "'");
    }
    // The exported file without its title lines, which name the folder.
    std::string Export(const std::string& cat) {
        const Answer a = admin.Get("/phpmod/bookmarks.php?op=export&cat=" + cat);
        EXPECT_EQ(a.status, 200);
        EXPECT_TRUE(Has(a.Get("content-disposition"), "attachment"));
        const size_t list = a.body.find("<DL>");
        return list == std::string::npos ? std::string() : a.body.substr(list);
    }

    SiteProxy site{"links.test", {{"mia", "mia-pass", 1}}, "", "cld"};
    SiteClient admin{site.proxy, "links.test"};
    SiteClient mia{site.proxy, "links.test"};
};

}  // namespace

TEST_F(BookmarkTest, BrowserFileImportsFoldersAndWebLinksShownAsText) {
    const Answer a = Import(admin, "0", kBookmarks);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_TRUE(Has(a.body, "Imported 2 folders and 4 links; 2 entries skipped")) << a.body;
    const std::string reading = Folder("Reading-list"), deep = Folder("Deep");
    ASSERT_FALSE(reading.empty());
    EXPECT_EQ(site.DbValue("select folder_parent from web_folder where folder_id=" + deep), reading);
    EXPECT_EQ(site.DbValue("select folder_title || '|' || folder_desc from web_folder where folder_id=" + reading),
              "Reading list|Pages worth a second look");
    EXPECT_EQ(site.DbValue("select item_title || '|' || item_keywords || '|' || item_desc from link_item where "
                           "item_url='https://read.example/a?x=1&y=2'"),
              "First read|news, tech|About the first");
    EXPECT_EQ(site.DbValue("select count(*) from link_item where item_url like 'javascript:%' or item_url like "
                           "'ftp:%'"),
              "0");
    EXPECT_EQ(site.DbValue("select count(*) from link_member where folder_id=" + deep), "1");

    const Answer page = admin.Get("/Reading-list/");
    EXPECT_TRUE(Has(page.body, "First read")) << page.body;
    EXPECT_TRUE(Has(page.body, "&lt;script&gt;document.body")) << page.body;
    EXPECT_FALSE(Has(page.body, "<script>document.body"));
    EXPECT_TRUE(Has(page.body, "&lt;/script&gt;{page_content}</a>"));  // text, not expanded

    // Not a bookmark file: the form again with the reason, nothing stored.
    const std::string folders = site.DbValue("select count(*) from web_folder");
    const Answer bad = Import(admin, "0", "<html><body><dl><dt><a href=\"http://x.example/\">x</a></dl>");
    EXPECT_TRUE(Has(bad.body, "not a bookmark file")) << bad.body;
    // No token, or a plain member with one: refused, nothing changed.
    EXPECT_TRUE(Has(Import(admin, "0", kBookmarks, "Again", false).body, kUnauthorised));
    EXPECT_TRUE(Has(Import(mia, "0", kBookmarks, "Again").body, kUnauthorised));
    EXPECT_EQ(site.DbValue("select count(*) from web_folder"), folders);
}

TEST_F(BookmarkTest, ExportedTreeImportsIntoANewFolderAsTheSameTree) {
    ASSERT_TRUE(Has(Import(admin, "0", kBookmarks).body, "Imported"));
    const std::string reading = Folder("Reading-list");
    const std::string first = Export(reading);
    EXPECT_TRUE(Has(first, "ADD_DATE=\"1600000001\" TAGS=\"news,tech\">First read</A>")) << first;
    EXPECT_TRUE(Has(first, "HREF=\"https://read.example/a?x=1&amp;y=2\""));
    EXPECT_TRUE(Has(first, "&lt;script&gt;"));

    const std::string file = admin.Get("/phpmod/bookmarks.php?op=export&cat=" + reading).body;
    const Answer again = Import(admin, "0", file, "Copy");
    ASSERT_TRUE(Has(again.body, "Imported 1 folders and 3 links; 0 entries skipped")) << again.body;
    const std::string copy = Folder("Copy");
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(Export(copy), first);
    // The same links, not copies: each now sits in two folders.
    EXPECT_EQ(site.DbValue("select count(*) from link_item"), "4");
}

namespace {

class OpmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    }
    Answer Import(const std::string& file, bool token = true) {
        return admin.PostFile("/phpmod/opml.php", {{"op", "doimport"}, {"cat", "0"}}, "opml", "feeds.opml", file,
                              token);
    }

    SiteProxy site{"rss.test", {}, "", "crd"};
    SiteClient admin{site.proxy, "rss.test"};
};

}  // namespace

TEST_F(OpmlTest, NestedFileImportsFeedsOnceAndOnlyWebFeeds) {
    ASSERT_EQ(admin
                  .PostWithToken("/phpmod/folder.php",
                                 {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "have"}, {"fld_title", "Have"},
                                  {"fld_rss_url", "http://dup.example/rss"}, {"fld_show", "1"}, {"fld_active", "1"}})
                  .status,
              302);
    const std::string opml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\"><head><title>Mine</title></head><body>\n"
        "<outline text=\"Tech\">\n"
        "  <outline type=\"rss\" text=\"One\" title=\"One &lt;b&gt;\" xmlUrl=\"http://one.example/rss\" "
        "htmlUrl=\"http://one.example/\"/>\n"
        "  <outline text=\"Deep\"><outline type=\"rss\" text=\"Dup\" xmlUrl=\"http://DUP.example/rss\"/></outline>\n"
        "</outline>\n"
        "<outline type=\"rss\" text=\"Files\" xmlUrl=\"ftp://files.example/feed\"/>\n"
        "<outline type=\"rss\" text=\"One again\" xmlUrl=\"http://one.example/rss\"/>\n"
        "</body></opml>\n";
    EXPECT_TRUE(Has(Import(opml, false).body, kUnauthorised));
    EXPECT_EQ(site.DbValue("select count(*) from web_folder where folder_name='Tech'"), "0");

    const Answer a = Import(opml);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_TRUE(Has(a.body, "Imported 2 folders and 1 feeds; 2 feeds were here already; 1 skipped")) << a.body;
    const std::string tech = site.DbValue("select folder_id from web_folder where folder_name='Tech'");
    EXPECT_EQ(site.DbValue("select folder_parent || '|' || folder_title || '|' || folder_desc from web_folder where "
                           "rss_url='http://one.example/rss'"),
              tech + "|One <b>|http://one.example/");
    EXPECT_EQ(site.DbValue("select count(*) from web_folder where rss_url like '%dup.example%'"), "1");
    EXPECT_EQ(site.DbValue("select count(*) from web_folder where rss_url like 'ftp:%'"), "0");
    // The feed folder shows its title as text and exports again.
    EXPECT_TRUE(Has(admin.Get("/Tech/").body, "One &lt;b&gt;"));
    EXPECT_TRUE(Has(admin.Get("/phpmod/opml.php").body, "xmlUrl=\"http://one.example/rss\""));
    EXPECT_TRUE(Has(Import("<html><body>no</body></html>").body, "not an OPML file"));
}
