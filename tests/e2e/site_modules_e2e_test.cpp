// The management modules of a database site through the real kvproxy:
// advertising blocks and their embedding, theme and logo, uploads, the SQL
// runner and upload, and the refusal of every change that lacks the form
// token, comes from another origin or arrives by GET where a form posts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <string>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";
const char kDirFailed[] = "Failed. Check you local path again.";

bool Has(const Answer& a, const std::string& text) { return a.body.find(text) != std::string::npos; }

class SiteModulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        // The side column of every page (administrator-written HTML), read
        // when the site starts with its first request.
        site.DbValue("insert or replace into sys_variable (var_name, var_value) values ('hp_sidebar', "
                     "'[{advtext:bare}|{advtext:boxed2}|{advtext:off}|{advtext:none}]<p>{advrnd:pick}</p>')");
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    }

    // A multipart form of the site's own page: fields, then one file.
    Answer PostFile(SiteClient& client, const std::string& path, Form fields, const std::string& fileName,
                    const std::string& content, bool withToken = true) {
        const std::string boundary = "----kvtestboundary7MA4YWxk";
        if (withToken) fields.emplace_back("rnd", client.Token());
        std::string body;
        for (const auto& [name, value] : fields) {
            body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
                    "\r\n";
        }
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"fld_file\"; filename=\"" + fileName +
                "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" + boundary + "--\r\n";
        const std::string request = "POST http://" + site.Host() + path + " HTTP/1.0\r\nHost: " + site.Host() +
                                    "\r\nCookie: sid=" + client.Sid() + "\r\nOrigin: " + client.Origin() +
                                    "\r\nContent-Type: multipart/form-data; boundary=" + boundary +
                                    "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        return Parse(site.proxy.Exchange(request));
    }
    std::string Sidebar() {
        const std::string body = admin.Get("/phpmod/advtext.php").body;
        const size_t at = body.find("id=\"sidebar\"");
        return at == std::string::npos ? std::string() : body.substr(at);
    }

    SiteProxy site{"shop.test", {{"dev", "dev-pass", 10}, {"mia", "mia-pass", 1}}};
    SiteClient admin{site.proxy, "shop.test"};
};

}  // namespace

TEST_F(SiteModulesTest, AdvertisingTextsAreKeptEditedEmbeddedAndRemoved) {
    const std::string page = "/phpmod/advtext.php";
    auto add = [&](const std::string& key, const std::string& title, const std::string& text, bool active) {
        return admin.PostWithToken(page, {{"op", "add"}, {"fld_key", key}, {"fld_title", title},
                                          {"fld_text", text}, {"fld_active", active ? "1" : "0"}});
    };
    EXPECT_EQ(add("bare", "@", "<b>BARE-TEXT</b>", true).status, 302);
    EXPECT_EQ(add("boxed", "Box <Title>", "<i>BOXED-TEXT</i>", true).status, 302);
    EXPECT_EQ(add("off", "Off", "OFF-TEXT", false).status, 302);
    EXPECT_EQ(add("<k>{hp_name}", "t", "x", true).status, 302);
    EXPECT_TRUE(Has(add("", "t", "x", true), "Please enter the keyword properly"));
    EXPECT_TRUE(Has(add("k2", "", "x", true), "Please enter the title properly"));

    // The list escapes what it shows, braces included.
    Answer list = admin.Get(page);
    EXPECT_TRUE(Has(list, "&lt;k&gt;&#123;hp_name&#125;") || Has(list, "&lt;k&gt;{hp_name}"));
    EXPECT_FALSE(Has(list, "<k>"));
    EXPECT_TRUE(Has(list, "NON-ACTIVE"));
    EXPECT_TRUE(Has(admin.Get(page + "?op=edit&key=no"), "Unable to locate advertising text with the key=no"));

    // Saving renames the block; its text round-trips through the form.
    Answer edit = admin.Get(page + "?op=edit&key=boxed");
    EXPECT_TRUE(Has(edit, "&lt;i&gt;BOXED-TEXT&lt;/i&gt;"));
    EXPECT_EQ(admin.PostWithToken(page, {{"op", "save"}, {"fld_key", "boxed"}, {"fld_newkey", "boxed2"},
                                         {"fld_title", "Box <Title>"}, {"fld_text", "<i>BOXED-TEXT</i>"},
                                         {"fld_active", "1"}})
                  .status,
              302);
    EXPECT_EQ(site.DbValue("select adv_text from advtext where adv_key='boxed2'"), "<i>BOXED-TEXT</i>");

    const std::string side = Sidebar();
    EXPECT_NE(side.find("[<b>BARE-TEXT</b>|"), std::string::npos);
    EXPECT_NE(side.find("<i>BOXED-TEXT</i>"), std::string::npos);
    EXPECT_NE(side.find("Box <Title>"), std::string::npos);  // the administrator's own title
    EXPECT_EQ(side.find("OFF-TEXT"), std::string::npos);
    EXPECT_NE(side.find("||]"), std::string::npos);

    // Links that change something carry the token.
    site.DbValue("update advtext set adv_hits=7");
    EXPECT_EQ(admin.Get(page + "?op=resethits&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(site.DbValue("select sum(adv_hits) from advtext"), "0");
    EXPECT_EQ(admin.Get(page + "?op=del&key=off&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(site.DbValue("select count(*) from advtext where adv_key='off'"), "0");
}

TEST_F(SiteModulesTest, RandomBlocksAreDrawnOnlyFromTheirKey) {
    for (const char* text : {"R-ONE", "R-TWO", "R-THREE"}) {
        ASSERT_EQ(admin.PostWithToken("/phpmod/advrnd.php", {{"op", "add"}, {"fld_key", "pick"}, {"fld_title", "@"},
                                                             {"fld_text", text}, {"fld_active", "1"}})
                      .status,
                  302);
    }
    ASSERT_EQ(admin.PostWithToken("/phpmod/advrnd.php", {{"op", "add"}, {"fld_key", "other"}, {"fld_title", "@"},
                                                         {"fld_text", "R-OTHER"}, {"fld_active", "1"}})
                  .status,
              302);
    std::set<std::string> seen;
    for (int i = 0; i < 40 && seen.size() < 3; ++i) {
        const std::string side = Sidebar();
        EXPECT_EQ(side.find("R-OTHER"), std::string::npos);
        for (const char* text : {"R-ONE", "R-TWO", "R-THREE"}) {
            if (side.find(std::string("<p>") + text + "</p>") != std::string::npos) seen.insert(text);
        }
    }
    EXPECT_EQ(seen.size(), 3u);
    const std::string id = site.DbValue("select adv_id from advrnd where adv_key='other'");
    EXPECT_TRUE(Has(admin.Get("/phpmod/advrnd.php?op=edit&id=" + id), "R-OTHER"));
    EXPECT_EQ(admin.Get("/phpmod/advrnd.php?op=del&id=" + id + "&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(site.DbValue("select count(*) from advrnd"), "3");
}

TEST_F(SiteModulesTest, ThemeChangesWholeOrNotAtAllAndTheLogoIsServed) {
    const std::string themes = site.proxy.Dir() + "/Theme/";
    WriteFile(themes + "Plain/wpage.htm", "<html><body>PLAIN-THEME {page_content}</body></html>");
    WriteFile(themes + "Plain/spage.htm", "<html><body>PLAIN-SIMPLE {page_content}</body></html>");
    WriteFile(themes + "Plain/style.css", "body{color:red}");
    WriteFile(themes + "Broken/wpage.htm", "BROKEN");
    WriteFile(themes + "Broken/bad.css", "x");
    auto change = [&](const std::string& name) {
        return admin.PostWithToken("/phpmod/theme_chg.php", {{"op", "change"}, {"theme", name}});
    };
    EXPECT_TRUE(Has(admin.Get("/phpmod/theme_chg.php"), "<option"));
    EXPECT_TRUE(Has(change("Plain"), "PLAIN-SIMPLE"));
    EXPECT_TRUE(Has(admin.Get("/phpmod/advtext.php"), "PLAIN-THEME"));
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_theme'"), "Plain");
    // The theme now lives in the site database.
    unlink((themes + "Plain/style.css").c_str());
    EXPECT_EQ(admin.Get("/_theme/Plain/style.css").body, "body{color:red}");
    for (const char* name : {"../Theme/Plain", "Plain/..", "/etc", "Missing"}) {
        EXPECT_TRUE(Has(change(name), "Change theme failed")) << name;
    }
    // A copy that fails half-way leaves the old theme as it was.
    SiteClient dev(site.proxy, site.Host());
    ASSERT_TRUE(dev.Login("dev", "dev-pass"));
    ASSERT_TRUE(Has(dev.PostWithToken("/phpmod/runsql.php",
                                      {{"op", "do"},
                                       {"sql", "create trigger nobad before insert on simplefile when new.file_path "
                                               "like '%bad%' begin select raise(abort, 'refused'); end"}}),
                    "Successfull"));
    EXPECT_TRUE(Has(change("Broken"), "Change theme failed"));
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_theme'"), "Plain");
    EXPECT_EQ(admin.Get("/_theme/Plain/style.css").body, "body{color:red}");

    const std::string logo("\x89PNG\r\n\x1a\n\0logo-bytes\r\n", 22);
    EXPECT_TRUE(Has(PostFile(admin, "/phpmod/logo_chg.php", {{"op", "upload"}}, "l.png", logo), "changed"));
    Answer served = admin.Get("/_theme/Plain/images/logo.jpg");
    EXPECT_EQ(served.body, logo);
    EXPECT_EQ(served.Get("content-type"), "image/jpeg");
    EXPECT_TRUE(Has(PostFile(admin, "/phpmod/logo_chg.php", {{"op", "upload"}}, "l.png", ""), "Your file size is 0."));
}

TEST_F(SiteModulesTest, UploadsStoreExactBytesAndReadOnlyFromTheImportFolder) {
    const std::string page = "/phpmod/upload.php";
    const std::string binary("\0\xff\x01" "data\r\n", 10), dashed = "last line\r\n-", crlf = "ends\r\n--\r\n";
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "/_files/a.bin"}}, "a.bin", binary),
                    "Success. you can upload another file"));
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "/_files/"}}, "C:\\x\\dash.txt", dashed),
                    "Success"));
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "/_files/crlf.txt"}}, "c", crlf), "Success"));
    EXPECT_EQ(admin.Get("/_files/a.bin").body, binary);
    EXPECT_EQ(admin.Get("/_files/dash.txt").body, dashed);
    EXPECT_EQ(admin.Get("/_files/crlf.txt").body, crlf);
    // Larger than what the proxy reads ahead for an origin.
    const std::string large = std::string(9 << 20, 'z') + "\r\n-";
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "/_files/large"}}, "l", large), "Success"));
    EXPECT_TRUE(admin.Get("/_files/large").body == large);
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "files/a"}}, "a", "x"), "prefix <b>/_</b>"));
    EXPECT_TRUE(Has(PostFile(admin, page, {{"op", "file"}, {"url_path", "/_files/e"}}, "e", ""), "file size is 0"));

    const std::string import = site.proxy.Dir() + "/Import/";
    WriteFile(import + "set/one.txt", "ONE");
    WriteFile(import + "set/sub/two.txt", "TWO\r\n-");
    WriteFile(site.proxy.Dir() + "/secret/key.txt", "SECRET");
    ASSERT_EQ(symlink((site.proxy.Dir() + "/secret").c_str(), (import + "link").c_str()), 0);
    ASSERT_EQ(symlink((site.proxy.Dir() + "/secret/key.txt").c_str(), (import + "set/key.txt").c_str()), 0);
    auto dir = [&](const std::string& local) {
        return admin.PostWithToken(page, {{"op", "dir"}, {"url_path", "/_files/set/"}, {"local_path", local}});
    };
    EXPECT_TRUE(Has(dir("set\\"), "Success. you can upload another file/directory."));
    EXPECT_EQ(admin.Get("/_files/set/sub/two.txt").body, "TWO\r\n-");
    EXPECT_EQ(admin.Get("/_files/set/one.txt").body, "ONE");
    EXPECT_EQ(admin.Get("/_files/set/key.txt").status, 404);  // a link inside is not followed
    for (const std::string& local : {std::string("../secret"), std::string("set/../../secret"), std::string("link"),
                                     site.proxy.Dir() + "/secret", std::string("/etc"), std::string("missing")}) {
        EXPECT_TRUE(Has(dir(local), kDirFailed)) << local;
    }
    EXPECT_TRUE(Has(dir(import + "set"), "Success"));
    EXPECT_EQ(site.DbValue("select count(*) from simplefile where file_content like '%SECRET%'"), "0");
    EXPECT_EQ(site.DbValue("select count(*) from simplefile where file_path like '%key.txt'"), "0");
}

TEST_F(SiteModulesTest, SqlRunnerAndUploadAnswerDevelopersOnly) {
    SiteClient dev(site.proxy, site.Host());
    ASSERT_TRUE(dev.Login("dev", "dev-pass"));
    auto run = [&](SiteClient& client, const std::string& sql) {
        return client.PostWithToken("/phpmod/runsql.php", {{"op", "do"}, {"sql", sql}});
    };
    EXPECT_TRUE(Has(run(dev, "create table t(x)"), "Successfull. Enter another SQL Statement"));
    EXPECT_TRUE(Has(run(dev, ""), "SQL statement is empty"));
    Answer bad = run(dev, "select <script>x</script>");
    EXPECT_TRUE(Has(bad, "DBError [1]. near &quot;&lt;&quot;: syntax error") || Has(bad, "DBError [1]."));
    EXPECT_FALSE(Has(bad, "<script>"));
    // An administrator who is no developer is sent home and runs nothing.
    EXPECT_EQ(run(admin, "create table u(x)").status, 302);
    EXPECT_EQ(site.DbValue("select count(*) from sqlite_master where name='u'"), "0");

    const std::string upload = "/phpmod/sqlupload.php?rnd=";
    EXPECT_TRUE(Has(dev.Get(upload + dev.Token()), "not found"));
    WriteFile(site.proxy.Dir() + "/sqlupload.sql",
              "# a comment\r\nuse shop\r\ninsert into t values (<1>)\r\nUse shop\r\ninsert into t values (2)\r\n");
    Answer report = dev.Get(upload + dev.Token());
    EXPECT_TRUE(Has(report, "001 COMMENT: # a comment\r\n"));
    EXPECT_TRUE(Has(report, "002 IGNORE: use shop\r\n"));
    EXPECT_TRUE(Has(report, "003 RUN-SQL[1]: near &quot;&lt;&quot;: syntax error --- insert into t values (&lt;1"));
    EXPECT_TRUE(Has(report, "004 RUN-SQL[2]: "));
    EXPECT_TRUE(Has(report, "005 RUN-SQL[3]: Succeeded --- insert into t values (2)"));
    EXPECT_EQ(admin.Get(upload + admin.Token()).status, 302);
    EXPECT_EQ(site.DbValue("select count(*) from t"), "1");
}

TEST_F(SiteModulesTest, ChangesWithoutTokenFromAnotherOriginOrByGetChangeNothing) {
    SiteClient dev(site.proxy, site.Host());
    ASSERT_TRUE(dev.Login("dev", "dev-pass"));
    ASSERT_EQ(admin.PostWithToken("/phpmod/advtext.php", {{"op", "add"}, {"fld_key", "keep"}, {"fld_title", "t"},
                                                          {"fld_text", "x"}, {"fld_active", "1"}})
                  .status,
              302);
    WriteFile(site.proxy.Dir() + "/Theme/Plain/wpage.htm", "PLAIN");
    WriteFile(site.proxy.Dir() + "/Import/set/one.txt", "ONE");
    WriteFile(site.proxy.Dir() + "/sqlupload.sql", "create table viaupload(x)\r\n");
    struct Change {
        SiteClient* client;
        std::string path;
        Form form;
    };
    const std::vector<Change> changes = {
        {&admin, "/phpmod/advtext.php", {{"op", "add"}, {"fld_key", "new"}, {"fld_title", "t"}, {"fld_text", "x"}}},
        {&admin, "/phpmod/advtext.php", {{"op", "save"}, {"fld_key", "keep"}, {"fld_newkey", "x"}, {"fld_title", "t"}}},
        {&admin, "/phpmod/advtext.php", {{"op", "del"}, {"key", "keep"}}},
        {&admin, "/phpmod/advrnd.php", {{"op", "add"}, {"fld_key", "new"}, {"fld_title", "t"}, {"fld_text", "x"}}},
        {&admin, "/phpmod/theme_chg.php", {{"op", "change"}, {"theme", "Plain"}}},
        {&admin, "/phpmod/upload.php", {{"op", "dir"}, {"url_path", "/_files/new/"}, {"local_path", "set"}}},
        {&dev, "/phpmod/runsql.php", {{"op", "do"}, {"sql", "create table new(x)"}}},
        {&dev, "/phpmod/sqlupload.php", {}},
    };
    auto unchanged = [&] {
        return site.DbValue("select count(*) from advtext") == "1" &&
               site.DbValue("select adv_key from advtext") == "keep" &&
               site.DbValue("select count(*) from advrnd") == "0" &&
               site.DbValue("select count(*) from simplefile") == "0" &&
               site.DbValue("select count(*) from sqlite_master where name in ('new', 'viaupload')") == "0" &&
               site.DbValue("select var_value from sys_variable where var_name='hp_theme'") != "Plain";
    };
    const std::string foreign = "Origin: http://evil.example\r\n";
    for (const Change& c : changes) {
        Form withToken = c.form;
        withToken.emplace_back("rnd", c.client->Token());
        EXPECT_TRUE(Has(c.client->Post(c.path, c.form, "Origin: " + c.client->Origin() + "\r\n"), kUnauthorised))
            << c.path << " without token";
        EXPECT_TRUE(Has(c.client->Post(c.path, withToken, foreign), kUnauthorised)) << c.path << " foreign origin";
        EXPECT_TRUE(Has(c.client->Post(c.path, withToken, "Referer: http://evil.example/x\r\n"), kUnauthorised))
            << c.path << " foreign referer";
        const bool isLink = c.form.empty() || c.form[0].second == "del";
        if (!isLink) {
            EXPECT_TRUE(Has(c.client->Get(c.path + "?" + FormEncode(withToken)), kUnauthorised)) << c.path << " by GET";
        }
        EXPECT_TRUE(unchanged()) << c.path;
    }
    // A multipart upload without the token stores nothing either.
    EXPECT_TRUE(Has(PostFile(admin, "/phpmod/upload.php", {{"op", "file"}, {"url_path", "/_files/x"}}, "x", "DATA",
                             false),
                    kUnauthorised));
    // Guests and plain members get the unauthorised page for the pages too.
    SiteClient mia(site.proxy, site.Host());
    ASSERT_TRUE(mia.Login("mia", "mia-pass"));
    for (const char* path : {"/phpmod/advtext.php", "/phpmod/advrnd.php", "/phpmod/theme_chg.php",
                             "/phpmod/logo_chg.php", "/phpmod/upload.php"}) {
        EXPECT_TRUE(Has(mia.Get(path), kUnauthorised)) << path;
    }
    EXPECT_TRUE(unchanged());
}
