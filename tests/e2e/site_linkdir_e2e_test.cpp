// Two link directories through the real kvproxy: folders and links made,
// edited, moved and deleted through the forms; the jump page counting
// visits; the bulk import formats; the clipboard within and between the
// directories; searches that never go stale; and changes without the
// token, from another origin or by GET that change nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

void AnswerFeed(Conn& c) {
    const std::string head = c.ReadHead();
    if (head.empty()) return;
    const std::string body =
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Results</title><link>http://s.example/</link>"
        "<description>d</description><item><title>Found one</title><link>http://found.example/1</link>"
        "<description>first</description></item><item><title>Bad</title><link>javascript:alert(1)</link>"
        "</item></channel></rss>";
    c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body);
    c.WaitClosed(2000);
}

class LinkDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        const std::string dir = site.proxy.Dir() + "/LocalWeb/";
        const std::vector<SiteMember> members{{"dev", "dev-pass", 10}, {"mia", "mia-pass", 1}};
        ASSERT_TRUE(MakeSiteDb(dir + "links.test.cld", SiteProxy::kAdminPassword, members));
        ASSERT_TRUE(MakeSiteDb(dir + "more.test.cld", SiteProxy::kAdminPassword, members));
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
        ASSERT_TRUE(admin2.Login("admin", SiteProxy::kAdminPassword));
        ASSERT_TRUE(dev.Login("dev", "dev-pass"));
        ASSERT_TRUE(mia.Login("mia", "mia-pass"));
    }
    std::string Db(const std::string& sql, const std::string& host = "links.test") {
        return SiteDbValue(site.proxy.Dir() + "/LocalWeb/" + host + ".cld", sql);
    }
    std::string FolderId(const std::string& name, const std::string& host = "links.test") {
        return Db("select folder_id from web_folder where folder_name='" + name + "'", host);
    }
    std::string LinkId(const std::string& url, const std::string& host = "links.test") {
        return Db("select item_id from link_item where item_url='" + url + "'", host);
    }
    std::string Members(const std::string& folder, const std::string& host = "links.test") {
        return Db("select count(*) from link_member where folder_id=" + folder, host);
    }
    Answer AddFolder(SiteClient& client, const std::string& parent, const std::string& name) {
        return client.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", parent}, {"fld_name", name},
                                                           {"fld_show", "1"}, {"fld_active", "1"}});
    }
    Answer AddLink(SiteClient& client, const std::string& cat, const std::string& url, const std::string& title,
                   const std::string& keywords = "") {
        return client.PostWithToken("/phpmod/link.php", {{"op", "doadd"}, {"cat", cat}, {"fld_url", url},
                                                         {"fld_title", title}, {"fld_keywords", keywords},
                                                         {"fld_show", "1"}, {"fld_active", "1"}});
    }
    Answer Clip(SiteClient& client, const std::string& button, const std::string& cat,
                const std::vector<std::string>& ids) {
        Form form{{button, "1"}, {"cat", cat}, {"item_count", std::to_string(ids.size())}};
        for (size_t i = 0; i < ids.size(); ++i) form.emplace_back("item_" + std::to_string(i + 1), ids[i]);
        return client.PostWithToken("/phpmod/item_list.php", form);
    }

    // A configured search service answering with a feed.
    Server origin{AnswerFeed};
    SiteProxy site{"shop.test", {}, "[Search]\r\nmsn=http://127.0.0.1:" + std::to_string(origin.Port()) + "/rss?q={q}\r\n"};
    SiteClient admin{site.proxy, "links.test"};
    SiteClient admin2{site.proxy, "more.test"};
    SiteClient dev{site.proxy, "links.test"};
    SiteClient mia{site.proxy, "links.test"};
    SiteClient guest{site.proxy, "links.test"};
};

}  // namespace

TEST_F(LinkDirTest, FoldersAndLinksThroughTheForms) {
    Answer made = AddFolder(admin, "0", "News");
    EXPECT_EQ(made.status, 302);
    const std::string news = FolderId("News");
    ASSERT_FALSE(news.empty());
    ASSERT_EQ(AddFolder(admin, news, "World").status, 302);
    const std::string world = FolderId("World");

    EXPECT_EQ(AddLink(admin, news, "http://example.com/a", "The <b>A</b> page", "alpha").status, 302);
    // Only web addresses are kept.
    EXPECT_TRUE(Has(AddLink(admin, news, "javascript:alert(1)", "x").body, "URL cannot be empty or URL format is wrong!"));
    EXPECT_EQ(LinkId("javascript:alert(1)"), "");

    Answer page = guest.Get("/News/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(Has(page.body, "The &lt;b&gt;A&lt;/b&gt; page"));
    EXPECT_FALSE(Has(page.body, "The <b>A</b> page"));
    EXPECT_TRUE(Has(page.body, "World"));
    EXPECT_EQ(guest.Get("/News/index.html").status, 200);
    EXPECT_EQ(guest.Get("/Nowhere/").status, 404);

    // The jump page counts the visit and sends the browser on.
    const std::string a = LinkId("http://example.com/a");
    Answer jump = guest.Get("/phpmod/jump.php?id=" + a);
    EXPECT_EQ(jump.status, 302);
    EXPECT_EQ(jump.Get("location"), "http://example.com/a");
    EXPECT_EQ(Db("select item_hits from link_item where item_id=" + a), "1");
    EXPECT_TRUE(Has(guest.Get("/phpmod/jump.php?id=999").body, "Unregistered item-id 999."));

    // Editing keeps the id; the form shows the stored values escaped.
    EXPECT_TRUE(Has(admin.Get("/phpmod/link.php?op=edit&cat=" + news + "&id=" + a).body,
                    "value=\"The &lt;b&gt;A&lt;/b&gt; page\""));
    admin.PostWithToken("/phpmod/link.php", {{"op", "save"}, {"cat", news}, {"id", a}, {"fld_url", "https://example.com/a"},
                                             {"fld_title", "Renamed"}, {"fld_rank", "500"}, {"fld_show", "1"},
                                             {"fld_active", "1"}});
    EXPECT_EQ(Db("select item_title || ' ' || item_rank from link_item where item_id=" + a), "Renamed 100");

    // Moves onto a descendant are refused; a sound move and the deletes work.
    EXPECT_TRUE(Has(admin.PostWithToken("/phpmod/folder.php", {{"op", "domove"}, {"cat", news}, {"fld_parent_path", "/News/World/"}}).body,
                    "sub-folders"));
    ASSERT_EQ(AddFolder(admin, "0", "Archive").status, 302);
    EXPECT_EQ(admin.PostWithToken("/phpmod/folder.php", {{"op", "domove"}, {"cat", world}, {"fld_parent_path", "/Archive/"}})
                  .Get("location"),
              "/Archive/World/");
    EXPECT_EQ(admin.Get("/phpmod/link.php?op=del&cat=" + news + "&id=" + a + "&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(LinkId("https://example.com/a"), "");
    EXPECT_EQ(admin.Get("/phpmod/folder.php?op=del&cat=" + news + "&rnd=" + admin.Token()).Get("location"), "/");
    EXPECT_EQ(FolderId("News"), "");
}

TEST_F(LinkDirTest, BulkImportFormatsSkipInvalidLines) {
    auto import = [&](SiteClient& client, const std::string& fmt, const std::string& text) {
        return client.PostWithToken("/phpmod/link.php", {{"op", "add_some"}, {"cat", "0"}, {"fmt", fmt}, {"fld_links", text}});
    };
    // Administrators are not enough for the bulk import.
    EXPECT_TRUE(Has(import(admin, "url", "http://a.example/ | A").body, kUnauthorised));
    EXPECT_EQ(LinkId("http://a.example/"), "");

    import(dev, "url", "http://a.example/ | A | first\r\nnot a url | B\r\njavascript:alert(1) | C\r\nhttp://b.example/\r\n");
    EXPECT_EQ(Db("select item_title from link_item where item_url='http://a.example/'"), "A");
    EXPECT_EQ(Db("select item_title from link_item where item_url='http://b.example/'"), "@");
    EXPECT_EQ(Db("select count(*) from link_item"), "2");
    import(dev, "title", "x | http://c.example/ | third\r\ny | nothing\r\n");
    EXPECT_EQ(Db("select item_title from link_item where item_url='http://c.example/'"), "x");
    import(dev, "dmoz", "Dee Site - http://d.example/\n  A site about d.\n");
    EXPECT_EQ(Db("select item_title from link_item where item_url='http://d.example/'"), "Dee Site");
    import(dev, "ul", "<ul>\n<li><a href=\"http://e.example/\" target=\"_blank\">Eee</a> all about e</li>\n"
                      "<li><a href=\"data:text/html,x\">bad</a></li></ul>");
    EXPECT_EQ(Db("select item_title from link_item where item_url='http://e.example/'"), "Eee");
    EXPECT_EQ(Db("select count(*) from link_item"), "5");
    EXPECT_EQ(Members("0"), "5");
    // The error page escapes the quoted format once.
    EXPECT_TRUE(Has(import(dev, "c<v", "x").body, "Unknown format c&lt;v"));
}

TEST_F(LinkDirTest, ClipboardWithinAndBetweenDirectories) {
    AddFolder(admin, "0", "From");
    AddFolder(admin, "0", "To");
    const std::string from = FolderId("From"), to = FolderId("To");
    AddLink(admin, from, "http://one.example/", "One");
    AddLink(admin, from, "http://two.example/", "Two");
    const std::string one = LinkId("http://one.example/"), two = LinkId("http://two.example/");

    guest.FetchToken("/From/");
    // Copy here, paste in the other directory (one clipboard per client).
    EXPECT_EQ(Clip(guest, "Copy", from, {one, two}).status, 302);
    AddFolder(admin2, "0", "Inbox");
    const std::string inbox = FolderId("Inbox", "more.test");
    EXPECT_EQ(admin2.Get("/phpmod/item_list.php?Paste=1&cat=" + inbox + "&rnd=" + admin2.Token()).status, 302);
    EXPECT_EQ(Members(inbox, "more.test"), "2");
    EXPECT_FALSE(LinkId("http://one.example/", "more.test").empty());
    // The paste emptied the clipboard.
    admin2.Get("/phpmod/item_list.php?Paste=1&cat=0&rnd=" + admin2.Token());
    EXPECT_EQ(Members("0", "more.test"), "0");

    // Cut and paste moves; the link whose only folder was the source comes back.
    Clip(admin, "Cut", from, {one});
    EXPECT_EQ(Members(from), "1");
    Clip(admin, "Paste", to, {});
    EXPECT_EQ(Members(to), "1");
    EXPECT_FALSE(LinkId("http://one.example/").empty());
    Clip(admin, "Delete", from, {two});
    EXPECT_EQ(LinkId("http://two.example/"), "");

    // Cut, paste and delete need a writer of the folder and the token.
    EXPECT_TRUE(Has(Clip(mia, "Delete", to, {LinkId("http://one.example/")}).body, kUnauthorised));
    EXPECT_TRUE(Has(admin.Post("/phpmod/item_list.php", {{"Delete", "1"}, {"cat", to}, {"item_count", "1"},
                                                         {"item_1", LinkId("http://one.example/")}},
                               "Origin: " + admin.Origin() + "\r\n").body,
                    kUnauthorised));
    EXPECT_EQ(Members(to), "1");
}

TEST_F(LinkDirTest, SearchesAreNeverStale) {
    AddFolder(admin, "0", "Docs");
    const std::string docs = FolderId("Docs");
    AddLink(admin, docs, "http://news.example/", "Daily news", "press");
    AddLink(admin, docs, "http://other.example/", "Other", "news");
    auto search = [&](const std::string& q) { return guest.Get("/phpmod/search.php?q=" + q).body; };
    EXPECT_TRUE(Has(search("news"), "There are 2 url(s)"));
    EXPECT_TRUE(Has(search("t:news"), "There are 1 url(s)"));
    EXPECT_TRUE(Has(search("u:other"), "There are 1 url(s)"));
    EXPECT_TRUE(Has(search("x:news"), "There are no url"));
    EXPECT_TRUE(Has(search(""), "There are no url"));
    // A link added after the first search is found by the same query.
    AddLink(admin, docs, "http://third.example/", "More news", "");
    EXPECT_TRUE(Has(search("news"), "There are 3 url(s)"));
    // Paging past the end shows the last page.
    EXPECT_TRUE(Has(search("news&p=99"), "More news"));
    // Query text is escaped where it is shown.
    EXPECT_TRUE(Has(search("%3Cscript%3E"), "&lt;script&gt;"));
    EXPECT_FALSE(Has(search("%3Cscript%3E"), "<script>"));
}

TEST_F(LinkDirTest, ChangesNeedAWriterTheTokenAndThisSite) {
    const Form form{{"op", "doadd"}, {"cat", "0"}, {"fld_url", "http://sneaky.example/"}, {"fld_title", "S"}};
    EXPECT_TRUE(Has(admin.Post("/phpmod/link.php", form, "Origin: " + admin.Origin() + "\r\n").body, kUnauthorised));
    Form withToken = form;
    withToken.emplace_back("rnd", admin.Token());
    EXPECT_TRUE(Has(admin.Post("/phpmod/link.php", withToken, "Origin: http://evil.example\r\n").body, kUnauthorised));
    EXPECT_TRUE(Has(admin.Get("/phpmod/link.php?" + FormEncode(withToken)).body, kUnauthorised));
    EXPECT_TRUE(Has(mia.PostWithToken("/phpmod/link.php", form).body, kUnauthorised));
    // The other directory's token and origin do not open this one.
    Form foreign = form;
    foreign.emplace_back("rnd", admin2.Token());
    EXPECT_TRUE(Has(admin.Post("/phpmod/link.php", foreign, "Origin: " + admin2.Origin() + "\r\n").body, kUnauthorised));
    EXPECT_EQ(LinkId("http://sneaky.example/"), "");
    AddFolder(admin, "0", "Keep");
    EXPECT_TRUE(Has(admin.Get("/phpmod/folder.php?op=del&cat=" + FolderId("Keep")).body, kUnauthorised));
    EXPECT_FALSE(FolderId("Keep").empty());
    // The management menu's links carry the token; guests see no menu.
    EXPECT_TRUE(Has(admin.Get("/").body, "&amp;rnd=" + admin.Token()));
    EXPECT_FALSE(Has(guest.Get("/").body, "op=del"));
}

TEST_F(LinkDirTest, SearchFeedFillsANewSubFolder) {
    // A configured service by its name.
    const std::string query = "sfeed.php?cat=0&f=" + FormEncode({{"", "Found Things"}}).substr(1) + "&q=widgets&qt=msn";
    EXPECT_TRUE(Has(admin.Get("/phpmod/" + query).body, kUnauthorised));  // no token
    Answer made = admin.Get("/phpmod/" + query + "&rnd=" + admin.Token());
    EXPECT_EQ(made.status, 302);
    const std::string folder = Db("select folder_id from web_folder where folder_parent=0 and folder_label='Found Things'");
    EXPECT_EQ(made.Get("location"), "/Found-Things/");
    ASSERT_FALSE(folder.empty()) << made.body;
    EXPECT_EQ(Members(folder), "1");
    EXPECT_FALSE(LinkId("http://found.example/1").empty());
    // A template of the request never reaches this machine or a private
    // network, by name or by address; nor another scheme.
    const std::string port = std::to_string(origin.Port());
    const std::vector<std::string> refused = {
        "http://links.test/phpmod/search.php?q=$q", "file:///etc/passwd?$q", "http://127.0.0.1:" + port + "/rss?q=$q",
        "http://2130706433:" + port + "/rss?q=$q",  "http://[::1]:" + port + "/rss?q=$q",
        "http://169.254.169.254/latest?q=$q",       "http://192.168.1.1/?q=$q", "http://10.0.0.1/?q=$q"};
    for (const std::string& bad : refused) {
        const std::string q = "sfeed.php?cat=0&f=x&q=y&se=" + FormEncode({{"", bad}}).substr(1) + "&rnd=" + admin.Token();
        EXPECT_EQ(admin.Get("/phpmod/" + q).status, 200) << bad;
    }
    EXPECT_EQ(FolderId("X"), "");
}

TEST_F(LinkDirTest, GrabMetaReadsAPlainFileOfTemp) {
    const std::string temp = site.proxy.Dir() + "/Temp/";
    mkdir(temp.c_str(), 0755);
    WriteFile(temp + "page.html", "<html><head><title>Saved page</title><meta name=\"keywords\" content=\"Alpha\">"
                                  "</head></html>");
    const std::string url = FormEncode({{"", "http://saved.example/"}}).substr(1);
    EXPECT_TRUE(Has(admin.Get("/phpmod/grabmeta.php?file=page.html&url=" + url).body, kUnauthorised));
    EXPECT_TRUE(Has(admin.Get("/phpmod/grabmeta.php?file=..%2Fkvproxy.ini&url=" + url + "&rnd=" + admin.Token()).body,
                    "Invalid parameter"));
    EXPECT_EQ(admin.Get("/phpmod/grabmeta.php?file=page.html&url=" + url + "&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(Db("select item_title || ' ' || item_keywords from link_item where item_url='http://saved.example/'"),
              "Saved page alpha");
    EXPECT_TRUE(Has(admin.Get("/phpmod/grabmeta.php?file=page.html&url=" + url + "&rnd=" + admin.Token()).body,
                    "File page.html not found"));
}

TEST_F(LinkDirTest, AWritersReachEndsAtTheirFolders) {
    auto folder = [&](const std::string& name, const std::string& read, const std::string& write) {
        admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", name}, {"fld_show", "1"},
                                                   {"fld_active", "1"}, {"read_level", read}, {"write_level", write}});
        return FolderId(name);
    };
    const std::string open = folder("Open", "0", "1"), closed = folder("Closed", "0", "9"),
                      secret = folder("Secret", "9", "9");
    AddLink(admin, closed, "http://closed.example/", "Closed one");
    AddLink(admin, secret, "http://secret.example/", "Secret one");
    const std::string shut = LinkId("http://closed.example/"), hid = LinkId("http://secret.example/");

    // Mia writes "Open" only: another folder's link is neither shown nor saved nor cut through it.
    EXPECT_FALSE(Has(mia.Get("/phpmod/link.php?op=edit&cat=" + open + "&id=" + shut).body, "Closed one"));
    mia.PostWithToken("/phpmod/link.php", {{"op", "save"}, {"cat", open}, {"id", shut},
                                           {"fld_url", "http://closed.example/"}, {"fld_title", "Taken"}});
    EXPECT_EQ(Db("select item_title from link_item where item_id=" + shut), "Closed one");
    Clip(mia, "Cut", open, {shut});
    mia.Get("/phpmod/link.php?op=del&cat=" + open + "&id=" + shut + "&rnd=" + mia.Token());
    // A guest cannot copy, or follow, a link of a folder they may not read.
    guest.FetchToken("/");
    Clip(guest, "Copy", "0", {hid});
    EXPECT_NE(guest.Get("/phpmod/jump.php?id=" + hid).status, 302);
    Clip(mia, "Paste", open, {});
    EXPECT_EQ(Members(open), "0");
    EXPECT_EQ(Members(closed), "1");

    // Nor does she choose who reads or writes: her folders keep, and new ones take, the levels given.
    mia.PostWithToken("/phpmod/folder.php", {{"op", "doedit"}, {"cat", open}, {"fld_name", "Open"}, {"fld_title", "Mine"},
                                             {"fld_show", "1"}, {"fld_active", "1"}, {"write_level", "0"}});
    mia.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", open}, {"fld_name", "Sub"}, {"fld_show", "1"},
                                             {"fld_active", "1"}, {"write_level", "0"}});
    EXPECT_EQ(Db("select folder_title || ' ' || write_level from web_folder where folder_id=" + open), "Mine 1");
    EXPECT_EQ(Db("select write_level from web_folder where folder_name='Sub'"), "1");
}
