// An RSS reader through the real kvproxy: feed folders made through the
// form, feeds (RSS and Atom) of a test origin downloaded on request twice
// without duplicate items, hostile feed texts shown as text, searches, and
// changes refused without the token, from another origin or to guests.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

const char kRss[] =
    "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Daily Tech</title>"
    "<description>News of the day</description><copyright>(c) Tech Ltd</copyright>"
    "<item><title>First gadget</title><link>http://news.example/one</link><description>Plain news"
    "</description></item>"
    "<item><title>Second gadget</title><link>http://news.example/two</link><description>More</description></item>"
    "<item><title>&lt;script&gt;document.title='pwned'&lt;/script&gt; {page_content}\r\nInjected: x</title>"
    "<link>javascript:alert(1)</link>"
    "<description>&lt;img src=x onerror=\"alert(2)\"&gt; {rnd}</description></item>"
    "<item><title>Hostile link</title><link>http://news.example/\"onmouseover=\"alert(3)</link>"
    "<description>quote</description></item>"
    "</channel></rss>";

const char kAtom[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"><title>Atom Blog</title>"
    "<entry><title>Atom entry one</title><link href=\"http://blog.example/a1\"/><id>a1</id>"
    "<updated>2026-01-02T10:00:00Z</updated><summary>Zebra crossing</summary></entry>"
    "<entry><title>Atom entry two</title><link href=\"http://blog.example/a2\"/><id>a2</id>"
    "<updated>2026-01-03T10:00:00Z</updated><summary>Other</summary></entry></feed>";

class RssReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(feeds.Listening());
        ASSERT_TRUE(site.Ready());
        // A link directory beside the reader (the sites are read at the
        // first request).
        ASSERT_TRUE(MakeSiteDb(site.proxy.Dir() + "/LocalWeb/links.test.cld", SiteProxy::kAdminPassword));
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    }
    std::string Db(const std::string& sql) { return site.DbValue(sql); }
    std::string FeedUrl(const std::string& path) { return "http://127.0.0.1:" + std::to_string(feeds.Port()) + path; }
    int AddFeedFolder(const std::string& name, const std::string& url) {
        const Answer a = admin.PostWithToken(
            "/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", name}, {"fld_title", name + " feed"},
                                   {"fld_rss_url", url}, {"fld_show", "1"}, {"fld_active", "1"}});
        EXPECT_EQ(a.status, 302) << a.body;
        const std::string id = Db("select folder_id from web_folder where folder_name='" + name + "'");
        return id.empty() ? -1 : std::stoi(id);
    }
    Answer Download(SiteClient& who, int folder, const std::string& token) {
        return who.Get("/phpmod/rss_download.php?cat=" + std::to_string(folder) + "&rnd=" + token,
                       "Referer: http://rss.test/\r\n");
    }
    int ItemCount(int folder) { return std::stoi(Db("select count(*) from link_member where folder_id=" + std::to_string(folder))); }

    std::atomic<int> served{0};
    Server feeds{[this](Conn& c) {
        const std::string head = c.ReadHead();
        ++served;
        const bool atom = head.find("/atom.xml") != std::string::npos;
        const std::string body = atom ? kAtom : kRss;
        c.Write(std::string("HTTP/1.1 200 OK\r\nContent-Type: ") +
                (atom ? "application/atom+xml" : "application/rss+xml") +
                "\r\nCache-Control: max-age=3600\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
    }};
    // The test's feeds are served on this machine.
    SiteProxy site{"rss.test", {{"mia", "mia-pass", 1}}, "[General]\r\nPrivateDownloads=1\r\n", "crd"};
    SiteClient admin{site.proxy, "rss.test"};
    SiteClient guest{site.proxy, "rss.test"};
};

}  // namespace

TEST_F(RssReaderTest, FeedsDownloadedTwiceKeepOneCopyOfEachItem) {
    const int rss = AddFeedFolder("tech", FeedUrl("/feed.xml"));
    const int atom = AddFeedFolder("blog", FeedUrl("/atom.xml"));
    ASSERT_GT(rss, 0);
    ASSERT_GT(atom, 0);
    // The form stored the feed fields and the feed folder's content.
    EXPECT_EQ(Db("select rss_url from web_folder where folder_id=" + std::to_string(rss)), FeedUrl("/feed.xml"));

    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Download(admin, rss, admin.Token()).status, 302);
        EXPECT_EQ(Download(admin, atom, admin.Token()).status, 302);
    }
    EXPECT_EQ(ItemCount(rss), 4);
    EXPECT_EQ(ItemCount(atom), 2);
    EXPECT_EQ(Db("select count(*) from link_item"), "6");
    // The channel's texts replace the folder's.
    EXPECT_EQ(Db("select folder_desc from web_folder where folder_id=" + std::to_string(rss)),
              "Daily Tech. News of the day");
    EXPECT_EQ(Db("select rss_copyright from web_folder where folder_id=" + std::to_string(rss)), "(c) Tech Ltd");

    const std::string page = guest.Get("/blog/").body;
    EXPECT_NE(page.find("Atom entry one"), std::string::npos);
    EXPECT_NE(page.find("Atom Blog"), std::string::npos);
    // Search over the stored items, and the jump page counting a hit.
    const std::string found = guest.Get("/phpmod/search.php?q=zebra").body;
    EXPECT_NE(found.find("Atom entry one"), std::string::npos);
    EXPECT_EQ(found.find("Atom entry two"), std::string::npos);
    const std::string id = Db("select item_id from link_item where item_url='http://blog.example/a1'");
    const Answer jump = guest.Get("/phpmod/jump.php?id=" + id);
    EXPECT_EQ(jump.status, 302);
    EXPECT_EQ(jump.Get("location"), "http://blog.example/a1");
    EXPECT_EQ(Db("select item_hits from link_item where item_id=" + id), "1");

    // The feed folders as OPML.
    const Answer opml = guest.Get("/phpmod/opml.php");
    EXPECT_NE(opml.Get("content-type").find("opml"), std::string::npos);
    EXPECT_NE(opml.body.find("xmlUrl=\"" + FeedUrl("/atom.xml") + "\""), std::string::npos) << opml.body;
    EXPECT_NE(opml.body.find("text=\"tech feed\""), std::string::npos);

    // A file that is neither a folder page nor a module gets the error page.
    EXPECT_EQ(guest.Get("/blog/other.txt").status, 404);
}

TEST_F(RssReaderTest, HostileFeedTextIsShownAsText) {
    const int rss = AddFeedFolder("tech", FeedUrl("/feed.xml"));
    ASSERT_GT(rss, 0);
    Download(admin, rss, admin.Token());
    ASSERT_EQ(ItemCount(rss), 4);
    for (SiteClient* who : {&guest, &admin}) {
        for (const std::string& path : {std::string("/tech/"), std::string("/phpmod/search.php?q=injected")}) {
            const std::string page = who->Get(path).body;
            EXPECT_EQ(page.find("<script>document"), std::string::npos) << path;
            EXPECT_EQ(page.find("<img src=x"), std::string::npos) << path;
            EXPECT_EQ(page.find("=\"javascript:alert"), std::string::npos) << path;
            EXPECT_EQ(page.find("\"onmouseover"), std::string::npos) << path;
            // Shown as written, not expanded.
            EXPECT_NE(page.find("{page_content} Injected: x"), std::string::npos) << path;
        }
    }
    const std::string page = guest.Get("/tech/").body;
    EXPECT_NE(page.find("&lt;script&gt;document.title"), std::string::npos);
    // The item without a web address is never forwarded to.
    const std::string id = Db("select item_id from link_item where item_url like 'javascript:%'");
    if (!id.empty()) {
        EXPECT_NE(guest.Get("/phpmod/jump.php?id=" + id).status, 302);
    }
}

TEST_F(RssReaderTest, ChangesNeedAnAdministratorTheTokenAndThisSite) {
    const int rss = AddFeedFolder("tech", FeedUrl("/feed.xml"));
    ASSERT_GT(rss, 0);
    // Downloads: without the token, from a guest, from another site's page.
    EXPECT_NE(Download(admin, rss, "").body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(Download(guest, rss, guest.FetchToken("/")).body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(admin.Get("/phpmod/rss_download.php?cat=" + std::to_string(rss) + "&rnd=" + admin.Token(),
                        "Origin: http://evil.example\r\n")
                  .body.find(kUnauthorised),
              std::string::npos);
    EXPECT_EQ(served.load(), 0);
    EXPECT_EQ(ItemCount(rss), 0);

    // Folder forms: by GET, without the token, with a foreign origin.
    const Form add{{"op", "doadd"}, {"cat", "0"}, {"fld_name", "evil"}, {"fld_title", "Evil"}, {"rnd", admin.Token()}};
    EXPECT_NE(admin.Get("/phpmod/folder.php?" + FormEncode(add)).body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(admin.Post("/phpmod/folder.php", add, "Origin: http://evil.example\r\n").body.find(kUnauthorised),
              std::string::npos);
    EXPECT_EQ(Db("select count(*) from web_folder where folder_name='evil'"), "0");

    // The form's own checks: a title is needed, and only web feeds are read.
    EXPECT_NE(admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "x"}})
                  .body.find("The folder title cannot be empty!"),
              std::string::npos);
    EXPECT_NE(admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", "x"},
                                                         {"fld_title", "X"}, {"fld_rss_url", "file:///etc/passwd"}})
                  .body.find("http or https"),
              std::string::npos);
    EXPECT_EQ(Db("select count(*) from web_folder where folder_name='x'"), "0");
    // The reader's own folder form, with the feed fields.
    const std::string form = admin.Get("/phpmod/folder.php?op=edit&cat=" + std::to_string(rss)).body;
    EXPECT_NE(form.find("name=\"fld_rss_url\""), std::string::npos);
    EXPECT_NE(form.find("name=\"fld_rss_periode_str\""), std::string::npos);
}

TEST_F(RssReaderTest, ItemsCopiedCutAndPastedThroughTheClipboard) {
    const int rss = AddFeedFolder("tech", FeedUrl("/feed.xml"));
    const int kept = AddFeedFolder("kept", "");
    ASSERT_GT(kept, 0);
    Download(admin, rss, admin.Token());
    const std::string one = Db("select item_id from link_item where item_url='http://news.example/one'");
    const std::string two = Db("select item_id from link_item where item_url='http://news.example/two'");
    const std::string bad = Db("select item_id from link_item where item_url like 'javascript:%'");
    // The folder page offers the selection form with the token, numbered as
    // it is read, and no link to a module the reader does not have.
    const std::string page = admin.Get("/tech/").body;
    EXPECT_NE(page.find("action=\"/phpmod/item_list.php\""), std::string::npos);
    EXPECT_NE(page.find("name=\"item_1\""), std::string::npos);
    EXPECT_EQ(page.find("link.php"), std::string::npos);
    auto post = [&](const std::string& button, int folder, std::vector<std::string> ids) {
        Form form{{button, button}, {"cat", std::to_string(folder)}, {"item_count", std::to_string(ids.size())}};
        for (size_t i = 0; i < ids.size(); ++i) form.emplace_back("item_" + std::to_string(i + 1), ids[i]);
        return admin.PostWithToken("/phpmod/item_list.php", form);
    };
    post("ClearBuffer", rss, {});
    post("Copy", rss, {one, bad});
    post("Cut", rss, {two});
    EXPECT_EQ(ItemCount(rss), 3);
    post("Paste", kept, {});
    // Only web addresses are pasted; stored links are shared, not copied.
    EXPECT_EQ(ItemCount(kept), 2);
    EXPECT_EQ(Db("select count(*) from link_item where item_url='http://news.example/one'"), "1");
    post("Delete", kept, {one});
    EXPECT_EQ(ItemCount(kept), 1);
    EXPECT_EQ(ItemCount(rss), 3);
    // The paste emptied the clipboard.
    post("Paste", rss, {});
    EXPECT_EQ(ItemCount(rss), 3);

    // One item through the pop-up window: a cut moves it.
    const Answer pop = admin.Get("/phpmod/item_pop.php?op=cut&cat=" + std::to_string(rss) + "&id=" + one +
                                 "&rnd=" + admin.Token());
    EXPECT_NE(pop.body.find("window.close()"), std::string::npos);
    post("Paste", kept, {});
    EXPECT_EQ(ItemCount(rss), 2);
    EXPECT_EQ(ItemCount(kept), 2);

    // A link copied in a link directory of the same client pastes here.
    SiteClient links{site.proxy, "links.test"};
    ASSERT_TRUE(links.Login("admin", SiteProxy::kAdminPassword));
    ASSERT_EQ(links.PostWithToken("/phpmod/link.php", {{"op", "doadd"}, {"cat", "0"},
                                                       {"fld_url", "https://bookmarks.example/kept"},
                                                       {"fld_title", "Kept bookmark"}})
                  .status,
              302);
    const std::string bookmark =
        SiteDbValue(site.proxy.Dir() + "/LocalWeb/links.test.cld",
                    "select item_id from link_item where item_url='https://bookmarks.example/kept'");
    links.PostWithToken("/phpmod/item_list.php",
                        {{"Copy", "Copy"}, {"cat", "0"}, {"item_count", "1"}, {"item_1", bookmark}});
    post("Paste", kept, {});
    EXPECT_EQ(ItemCount(kept), 3);
    EXPECT_NE(admin.Get("/kept/").body.find("Kept bookmark"), std::string::npos);
    // A guest may copy but not paste.
    EXPECT_NE(guest.Post("/phpmod/item_list.php", {{"Paste", "Paste"}, {"cat", std::to_string(kept)},
                                                   {"rnd", guest.FetchToken("/")}},
                         "Origin: " + guest.Origin() + "\r\n")
                  .body.find(kUnauthorised),
              std::string::npos);
}

TEST_F(RssReaderTest, FoldersMoveButNeverBelowThemselves) {
    const int outer = AddFeedFolder("outer", "");
    ASSERT_GT(outer, 0);
    ASSERT_EQ(admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", std::to_string(outer)},
                                                         {"fld_name", "inner"}, {"fld_title", "Inner"}})
                  .status,
              302);
    const std::string inner = Db("select folder_id from web_folder where folder_name='inner'");
    EXPECT_NE(admin.Get("/outer/").body.find("op=move&amp;cat=" + std::to_string(outer)), std::string::npos);
    auto move = [&](const std::string& cat, const std::string& to) {
        return admin.PostWithToken("/phpmod/folder.php", {{"op", "domove"}, {"cat", cat}, {"fld_parent_path", to}});
    };
    EXPECT_NE(move(std::to_string(outer), "/outer/inner/").body.find("cannot be moved into itself"),
              std::string::npos);
    EXPECT_EQ(Db("select folder_parent from web_folder where folder_name='outer'"), "0");
    EXPECT_EQ(move(inner, "/").status, 302);
    EXPECT_EQ(Db("select folder_parent from web_folder where folder_name='inner'"), "0");
    EXPECT_EQ(guest.Get("/inner/").status, 200);

    // The settings editor under its old module names, for administrators.
    EXPECT_NE(admin.Get("/phpmod/page_hits.php?op=sss").body.find("name=\"fld_hpname\""), std::string::npos);
    EXPECT_NE(admin.Get("/phpmod/todo.php").body.find("Unknown operation"), std::string::npos);
    EXPECT_EQ(guest.Get("/phpmod/file_mgmt.php?op=sss").body.find("name=\"fld_hpname\""), std::string::npos);
}

// With FeedRefresh=1 the reader downloads by itself the feeds whose period
// has passed, and not the others; "Update Now" still works.
TEST(RssRefreshTest, DueFeedsAreDownloadedInTheBackground) {
    std::atomic<int> dueHits{0}, quietHits{0};
    Server feeds{[&](Conn& c) {
        const std::string head = c.ReadHead();
        ++(head.find("/quiet.xml") != std::string::npos ? quietHits : dueHits);
        const std::string body = kRss;
        c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    }};
    SiteProxy site{"rss.test", {}, "[General]\r\nFeedRefresh=1\r\nPrivateDownloads=1\r\n", "crd"};
    ASSERT_TRUE(site.Ready());
    SiteClient admin{site.proxy, "rss.test"};
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    const std::string base = "http://127.0.0.1:" + std::to_string(feeds.Port());
    auto folderId = [&](const std::string& name) {
        return site.DbValue("select folder_id from web_folder where folder_name='" + name + "'");
    };
    auto save = [&](const std::string& op, const std::string& cat, const std::string& name, const std::string& url) {
        return admin.PostWithToken("/phpmod/folder.php", {{"op", op}, {"cat", cat}, {"fld_name", name},
                                                          {"fld_title", name}, {"fld_rss_url", url},
                                                          {"fld_rss_periode", "1"}, {"fld_rss_periode_str", "days"},
                                                          {"fld_show", "1"}, {"fld_active", "1"}});
    };
    // "quiet" was downloaded just now (stamped before it got its feed), so
    // its period has not passed; it comes before "due" in every round.
    ASSERT_EQ(save("doadd", "0", "quiet", "").status, 302);
    const std::string quiet = folderId("quiet");
    ASSERT_EQ(admin.Get("/phpmod/rss_queue.php?cat=" + quiet + "&rnd=" + admin.Token(),
                        "Referer: http://rss.test/\r\n").status, 302);
    ASSERT_EQ(save("doedit", quiet, "quiet", base + "/quiet.xml").status, 302);
    ASSERT_EQ(save("doadd", "0", "due", base + "/due.xml").status, 302);
    const std::string due = folderId("due");

    auto items = [&](const std::string& folder) {
        return std::stoi(site.DbValue("select count(*) from link_member where folder_id=" + folder));
    };
    // The folder's texts are stored last.
    ASSERT_TRUE(WaitUntil([&] {
        return site.DbValue("select folder_desc from web_folder where folder_id=" + due) == "Daily Tech. News of the day";
    }));
    EXPECT_EQ(items(due), 4);
    EXPECT_EQ(dueHits.load(), 1);
    EXPECT_EQ(quietHits.load(), 0);
    EXPECT_EQ(items(quiet), 0);

    // "Update Now" on the quiet feed.
    EXPECT_EQ(admin.Get("/phpmod/rss_download.php?cat=" + quiet + "&rnd=" + admin.Token(),
                        "Referer: http://rss.test/\r\n").status, 302);
    EXPECT_EQ(quietHits.load(), 1);
    EXPECT_EQ(items(quiet), 4);
}

TEST(RssPrivateTest, FeedsInsideThisMachineAreNotDownloadedUnlessConfigured) {
    std::atomic<int> hits{0};
    Server feeds{[&](Conn& c) {
        c.ReadHead();
        ++hits;
        const std::string body = kRss;
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }};
    SiteProxy site{"rss.test", {}, "", "crd"};
    ASSERT_TRUE(site.Ready());
    SiteClient admin{site.proxy, "rss.test"};
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    // By name as well as by number.
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        const std::string url = "http://" + host + ":" + std::to_string(feeds.Port()) + "/feed.xml";
        EXPECT_EQ(admin.PostWithToken("/phpmod/folder.php", {{"op", "doadd"}, {"cat", "0"}, {"fld_name", host == "localhost" ? "byname" : "bynumber"},
                                                             {"fld_title", host}, {"fld_rss_url", url},
                                                             {"fld_show", "1"}, {"fld_active", "1"}})
                      .status,
                  302);
        const std::string id = site.DbValue("select folder_id from web_folder where rss_url='" + url + "'");
        ASSERT_FALSE(id.empty());
        EXPECT_EQ(admin.Get("/phpmod/rss_download.php?cat=" + id + "&rnd=" + admin.Token(),
                            "Referer: http://rss.test/\r\n")
                      .status,
                  302);
        EXPECT_EQ(site.DbValue("select count(*) from link_member where folder_id=" + id), "0");
    }
    EXPECT_EQ(hits, 0);
}
