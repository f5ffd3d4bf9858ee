// A local web site of folders and pages through the real kvproxy: the
// folder and page forms, moves and deletes, read levels hiding content
// from guests, redirects, search with its one-field forms and paging, the
// site map and the sub-folder lists. Changes without the token, from
// another origin or by GET change nothing.
#include <gtest/gtest.h>

#include <regex>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class LocalWebTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
        ASSERT_TRUE(mia.Login("mia", "mia-pass"));
    }
    std::string Db(const std::string& sql) { return site.DbValue(sql); }
    int FolderId(const std::string& name) {
        const std::string id = Db("select folder_id from web_folder where folder_name='" + name + "'");
        return id.empty() ? -1 : std::stoi(id);
    }
    int PageId(const std::string& name) {
        const std::string id = Db("select page_id from web_page where page_name='" + name + "'");
        return id.empty() ? -1 : std::stoi(id);
    }
    Answer AddFolder(int parent, const std::string& name, Form extra = {}) {
        // The first value of a name counts: the extras go first.
        Form form = extra;
        form.insert(form.end(), {{"op", "doadd"}, {"cat", std::to_string(parent)}, {"fld_name", name},
                                 {"fld_show", "1"}, {"fld_active", "1"}});
        return admin.PostWithToken("/phpmod/folder.php", form);
    }
    Answer AddPage(int folder, const std::string& name, const std::string& title, Form extra = {}) {
        Form form = extra;
        form.insert(form.end(), {{"op", "doadd"},      {"cat", std::to_string(folder)}, {"fld_name", name},
                                 {"fld_title", title}, {"fld_show", "1"},               {"fld_active", "1"},
                                 {"fld_content", "<h1>{page_title}</h1><p>Body of " + title + "</p>"}});
        return admin.PostWithToken("/phpmod/wpage.php", form);
    }
    std::string Search(SiteClient& client, const std::string& query, int page = 1) {
        return client.Get("/phpmod/search.php?q=" + FormEncode({{"", query}}).substr(1) + "&p=" +
                          std::to_string(page))
            .body;
    }

    SiteProxy site{"docs.test", {{"mia", "mia-pass", 1}}};
    SiteClient admin{site.proxy, "docs.test"};
    SiteClient mia{site.proxy, "docs.test"};
    SiteClient guest{site.proxy, "docs.test"};
};

}  // namespace

TEST_F(LocalWebTest, FoldersAndPagesMadeAndEditedThroughTheForms) {
    Answer made = AddFolder(0, "Guides", {{"fld_title", "All the <guides>"}, {"fld_desc", "How to"}});
    EXPECT_EQ(made.status, 302);
    EXPECT_EQ(made.Get("location"), "/Guides/");
    const int guides = FolderId("Guides");
    ASSERT_GT(guides, 0);
    // The index page came with the folder and took its texts.
    EXPECT_EQ(Db("select page_title from web_page where folder_id=" + std::to_string(guides)), "All the <guides>");
    EXPECT_EQ(Db("select folder_desc from web_folder where folder_id=" + std::to_string(guides)), "How to.");

    // Several at once: name | title | description; lines without a name are skipped.
    admin.PostWithToken("/phpmod/folder.php", {{"op", "add_some"}, {"cat", std::to_string(guides)},
                                               {"fld_folders", "alpha one | Alpha | first\r\nbeta||\r\n | nothing\r\n"}});
    EXPECT_EQ(Db("select count(*) from web_folder where folder_parent=" + std::to_string(guides)), "2");
    EXPECT_EQ(Db("select folder_label from web_folder where folder_name='Alpha-One'"), "Alpha One");

    EXPECT_EQ(AddPage(guides, "intro", "Getting <started>").Get("location"), "/Guides/intro.html");
    Answer page = guest.Get("/Guides/intro.html");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<p>Body of Getting <started></p>"), std::string::npos);  // the author's HTML
    EXPECT_NE(page.body.find("<h1>Getting &lt;started&gt;</h1>"), std::string::npos);  // titles escaped
    EXPECT_NE(guest.Get("/Guides/").body.find("intro.html"), std::string::npos);     // the folder lists it
    EXPECT_EQ(AddPage(guides, "", "x").body.find("The wpage name cannot be empty!") != std::string::npos, true);

    // Editing the folder updates its index page, and the index page its folder.
    admin.PostWithToken("/phpmod/folder.php", {{"op", "doedit"}, {"cat", std::to_string(guides)}, {"fld_name", "Guides"},
                                               {"fld_title", "Manuals"}, {"fld_show", "1"}, {"fld_active", "1"}});
    EXPECT_EQ(Db("select page_title from web_page where folder_id=" + std::to_string(guides) +
                 " and page_name='index.html'"),
              "Manuals");
    const std::string index = Db("select page_id from web_page where folder_id=" + std::to_string(guides) +
                                 " and page_name='index.html'");
    admin.PostWithToken("/phpmod/wpage.php", {{"op", "doedit"}, {"cat", std::to_string(guides)}, {"id", index},
                                              {"fld_name", "index.html"}, {"fld_title", "Handbooks"},
                                              {"fld_label", "Books"}, {"fld_show", "1"}, {"fld_active", "1"},
                                              {"fld_content", "<h1>{page_title}</h1>{subfolder_list}"}});
    EXPECT_EQ(Db("select folder_label from web_folder where folder_id=" + std::to_string(guides)), "Books");
    EXPECT_NE(guest.Get("/guides/").body.find("Alpha One"), std::string::npos);
}

TEST_F(LocalWebTest, ChangesNeedAWriterTheTokenAndThisSite) {
    const Form form{{"op", "doadd"}, {"cat", "0"}, {"fld_name", "Sneaky"}};
    EXPECT_NE(admin.Post("/phpmod/folder.php", form, "Origin: " + admin.Origin() + "\r\n").body.find(kUnauthorised),
              std::string::npos);
    Form withToken = form;
    withToken.emplace_back("rnd", admin.Token());
    EXPECT_NE(admin.Post("/phpmod/folder.php", withToken, "Origin: http://evil.example\r\n").body.find(kUnauthorised),
              std::string::npos);
    EXPECT_NE(admin.Get("/phpmod/folder.php?" + FormEncode(withToken)).body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(mia.PostWithToken("/phpmod/folder.php", form).body.find(kUnauthorised), std::string::npos);
    EXPECT_EQ(FolderId("Sneaky"), -1);

    ASSERT_EQ(AddFolder(0, "Keep").status, 302);
    const std::string keep = std::to_string(FolderId("Keep"));
    EXPECT_NE(admin.Get("/phpmod/folder.php?op=del&cat=" + keep).body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(mia.Get("/phpmod/folder.php?op=del&cat=" + keep + "&rnd=" + mia.Token()).body.find(kUnauthorised),
              std::string::npos);
    EXPECT_NE(FolderId("Keep"), -1);
    // The menu's links carry the token, so the administrator's own link works.
    const std::string menu = admin.Get("/Keep/").body;
    EXPECT_NE(menu.find("op=del&amp;cat=" + keep + "&amp;rnd=" + admin.Token()), std::string::npos);
    EXPECT_EQ(guest.Get("/Keep/").body.find("op=del"), std::string::npos);
}

TEST_F(LocalWebTest, MovesAndDeletesKeepTheTreeSound) {
    AddFolder(0, "A");
    AddFolder(FolderId("A"), "B");
    AddFolder(0, "C");
    const std::string a = std::to_string(FolderId("A")), c = std::to_string(FolderId("C"));
    AddPage(FolderId("B"), "deep", "Deep page");

    Answer refused = admin.PostWithToken("/phpmod/folder.php", {{"op", "domove"}, {"cat", a}, {"fld_parent_path", "/A/B/"}});
    EXPECT_NE(refused.body.find("cannot be moved into itself or one of its sub-folders"), std::string::npos);
    EXPECT_EQ(Db("select folder_parent from web_folder where folder_name='A'"), "0");

    EXPECT_EQ(admin.PostWithToken("/phpmod/folder.php", {{"op", "domove"}, {"cat", a}, {"fld_parent_path", "/C/"}})
                  .Get("location"),
              "/C/A/");
    EXPECT_EQ(guest.Get("/C/A/B/deep.html").status, 200);

    const std::string deep = std::to_string(PageId("deep.html")), b = std::to_string(FolderId("B"));
    Answer nowhere = admin.PostWithToken("/phpmod/wpage.php",
                                         {{"op", "domove"}, {"cat", b}, {"id", deep}, {"fld_parent_path", "/Nope/"}});
    EXPECT_NE(nowhere.body.find("There is no folder /Nope/."), std::string::npos);
    // The page menu's MOVE link leads to a form, and the move lands.
    EXPECT_NE(admin.Get("/phpmod/wpage.php?op=move&cat=" + b + "&id=" + deep).body.find("fld_parent_path"),
              std::string::npos);
    EXPECT_EQ(admin.PostWithToken("/phpmod/wpage.php", {{"op", "domove"}, {"cat", b}, {"id", deep}, {"fld_parent_path", "/C/"}})
                  .Get("location"),
              "/C/deep.html");

    // Deleting C takes A, B and every page below with it.
    EXPECT_EQ(admin.Get("/phpmod/folder.php?op=del&cat=" + c + "&rnd=" + admin.Token()).Get("location"), "/");
    EXPECT_EQ(Db("select count(*) from web_folder where folder_id > 0"), "0");
    EXPECT_EQ(Db("select count(*) from web_page where folder_id > 0"), "0");
    EXPECT_EQ(guest.Get("/C/deep.html").status, 404);
}

TEST_F(LocalWebTest, ReadLevelsHideFoldersAndRedirectPagesRedirect) {
    AddFolder(0, "Members", {{"read_level", "1"}, {"fld_desc", "Only for members"}});
    AddFolder(FolderId("Members"), "Inner");
    AddFolder(0, "Quiet", {{"fld_show", "0"}});
    AddPage(FolderId("Inner"), "secret", "Secret plans");
    AddPage(0, "old", "Old page", {{"fld_redirect", "http://docs.test/Quiet/"}});
    AddPage(0, "draft", "Draft page", {{"fld_active", "0"}});
    admin.PostWithToken("/phpmod/wpage.php", {{"op", "doedit"}, {"cat", "0"}, {"id", "1"}, {"fld_name", "index.html"},
                                              {"fld_title", "Top"}, {"fld_show", "1"}, {"fld_active", "1"},
                                              {"fld_content", "{subfolder_list3}{page_list}{sitemap:3}"}});

    const std::string home = guest.Get("/").body;
    EXPECT_EQ(home.find("Members"), std::string::npos);
    EXPECT_EQ(home.find("Quiet"), std::string::npos);
    EXPECT_EQ(home.find("draft.html"), std::string::npos);
    EXPECT_NE(guest.Get("/Members/Inner/secret.html").body.find(kUnauthorised), std::string::npos);
    EXPECT_EQ(Search(guest, "secret").find("secret.html"), std::string::npos);
    EXPECT_EQ(guest.Get("/Quiet/").status, 200);  // not listed, still reachable
    EXPECT_EQ(guest.Get("/draft.html").status, 404);

    EXPECT_NE(mia.Get("/").body.find("/Members/Inner/"), std::string::npos);  // level 1 reaches it
    EXPECT_NE(Search(mia, "secret").find("secret.html"), std::string::npos);
    EXPECT_NE(mia.Get("/Members/Inner/secret.html").body.find("Secret plans"), std::string::npos);

    Answer old = guest.Get("/old.html");
    EXPECT_EQ(old.status, 302);
    EXPECT_EQ(old.Get("location"), "http://docs.test/Quiet/");
}

TEST_F(LocalWebTest, SearchFindsByFieldPagesAndNeverGoesStale) {
    AddFolder(0, "Kb");
    const int kb = FolderId("Kb");
    for (int i = 0; i < 12; ++i) {
        AddPage(kb, "p" + std::to_string(i), "Widget note " + std::to_string(i),
                {{"fld_keywords", i == 3 ? "gizmo" : "plain"}, {"fld_desc", i == 5 ? "About sprockets" : "Text"}});
    }
    EXPECT_NE(Search(guest, "widget").find("There are 12 url(s)"), std::string::npos);
    EXPECT_NE(Search(guest, "k:gizmo").find("There are 1 url(s)"), std::string::npos);
    EXPECT_NE(Search(guest, "d:sprockets").find("p5.html"), std::string::npos);
    EXPECT_NE(Search(guest, "t:sprockets").find("There are no url"), std::string::npos);
    EXPECT_NE(Search(guest, "x:widget").find("There are no url"), std::string::npos);
    EXPECT_NE(Search(guest, "t:it's 50%").find("There are no url"), std::string::npos);  // quoted, no SQL fault
    // The query is shown escaped and its braces expand nothing.
    EXPECT_NE(Search(guest, "<i>{hp_name}").find("There are no url that fit the query: <b>&lt;i&gt;{hp_name}</b>"),
              std::string::npos);

    // Ten a page: page 2 holds two; p past the end or below 1 is clamped.
    EXPECT_EQ(Count(Search(guest, "widget", 2), "<dt>"), 2);
    EXPECT_EQ(Count(Search(guest, "widget", 99), "<dt>"), 2);
    EXPECT_EQ(Count(Search(guest, "widget", -5), "<dt>"), 10);

    // Found pages go to the link clipboard with the form's token only.
    const std::string search = Search(guest, "widget");
    EXPECT_NE(search.find("name=\"item_1\""), std::string::npos);
    const Form copy{{"Copy", "Copy"}, {"item_count", "1"}, {"item_1", std::to_string(PageId("p1.html"))}};
    EXPECT_NE(guest.Post("/phpmod/item_list.php", copy).body.find(kUnauthorised), std::string::npos);
    guest.FetchToken("/phpmod/search.php?q=widget");
    EXPECT_EQ(guest.PostWithToken("/phpmod/item_list.php", copy).status, 302);

    // A page added after a search shows up in the next one.
    AddPage(kb, "late", "Widget latecomer");
    EXPECT_NE(Search(guest, "widget").find("There are 13 url(s)"), std::string::npos);
}

TEST_F(LocalWebTest, SitemapDepthsAndSubFolderColumns) {
    AddFolder(0, "One");
    AddFolder(FolderId("One"), "Two");
    AddFolder(FolderId("Two"), "Three");
    for (const char* name : {"c1", "c2", "c3", "c4", "c5"}) AddFolder(FolderId("Three"), name);
    const std::string three = std::to_string(FolderId("Three"));
    const std::string index = Db("select page_id from web_page where folder_id=" + three + " and page_name='index.html'");
    admin.PostWithToken("/phpmod/wpage.php",
                        {{"op", "doedit"}, {"cat", three}, {"id", index}, {"fld_name", "index.html"}, {"fld_title", "Three"},
                         {"fld_show", "1"}, {"fld_active", "1"},
                         {"fld_content", "[1]{subfolder_list}[2]{subfolder_list2}[3]{subfolder_list3}[m]{sitemap:1}"
                                         "[n]{sitemap:3}[x]{sitemap:99:1}[e]"}});
    const std::string body = guest.Get("/One/Two/Three/").body;
    auto part = [&](const char* from, const char* to) {
        const size_t a = body.find(from), b = body.find(to);
        return a == std::string::npos || b == std::string::npos ? std::string() : body.substr(a, b - a);
    };
    EXPECT_EQ(Count(part("[1]", "[2]"), "<dt>"), 5);
    EXPECT_EQ(Count(part("[2]", "[3]"), "width=\"50%\""), 2);
    const std::string three3 = part("[3]", "[m]");
    EXPECT_EQ(Count(three3, "width=\"33%\""), 3);
    EXPECT_EQ(Count(three3, "<dt>"), 5);
    EXPECT_EQ(Count(part("[m]", "[n]"), "<a "), 1);  // depth 1: One
    EXPECT_EQ(Count(part("[n]", "[x]"), "<a "), 3);  // One, Two, Three
    const std::string deep = part("[x]", "[e]");     // capped, with details
    EXPECT_EQ(Count(deep, "<a "), 8);
    EXPECT_NE(deep.find("href=\"/One/Two/Three/c5/\""), std::string::npos);
}
