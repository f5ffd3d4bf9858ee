// A real browser through KvProxy: headless Chromium, pointed at the proxy
// with --proxy-server, loads a page of a local file site, a page of a test
// origin, and a black-listed address that shows the block page; on a
// database site it signs in through the sign-in form and changes a setting
// through the control panel, while a page of another origin that posts a
// form to the site changes nothing; on a local web site it writes a folder
// and a page through the forms, and a guest sees no hidden folder.
#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <vector>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"
#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(proxy.Started()) << "kvproxy did not start";
    }

    // The page's DOM after Chromium loaded `url` through the proxy.
    std::string Load(const std::string& url) { return browser.Load(proxy.Port(), url); }

    CountingOrigin origin;
    Proxy proxy{{{"LocalWeb/Docs.Local/index.html",
                      "<html><head><title>Docs</title></head><body><h1>served from a file site</h1></body></html>"},
                     {"blacklist.txt", "*/blocked/*\n"}},
                    "[Proxy]\nRecTimeout=10\nTunnel=1\n[General]\nUseBlackList=1\n"};
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserTest, ChromiumLoadsFileSiteOriginPageAndSeesOurErrorAndBlockPages) {
    EXPECT_NE(Load("http://docs.local/").find("served from a file site"), std::string::npos);

    std::string page = Load(origin.Url("/hello.txt"));
    EXPECT_NE(page.find("/hello.txt"), std::string::npos) << page;
    EXPECT_GE(origin.Count(), 1);

    // An origin's HTML error page on a page load: the proxy's own page.
    std::string missing = Load(origin.Url("/missing.html"));
    EXPECT_NE(missing.find("matching the requested URI"), std::string::npos) << missing;

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

namespace {

std::vector<std::string> ListDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}

// A page of the site itself (served from its "Files" folder) that works the
// site as a person would: it fills and sends the sign-in form, follows the
// control panel's link to the settings, changes the site's name and sends
// that form.
std::string DriverPage(const std::string& password) {
    return R"(<html><body><iframe id="f" src="/phpmod/login.php" width="1000" height="700"></iframe>
<div id="steps"></div>
<script>
var step = 0, f = document.getElementById('f');
function note(t) { document.getElementById('steps').textContent += t + ';'; }
function send(d) { d.querySelector('#page_content form input[type=submit]').click(); }
f.onload = function() {
  var d = f.contentDocument;
  step++;
  if (step == 1) {
    d.querySelector('input[name=uid]').value = 'admin';
    d.querySelector('input[name=psw]').value = ')" + password + R"(';
    note('login-form'); send(d);
  } else if (step == 2) {
    note(d.body.textContent.indexOf('Signed in as') >= 0 ? 'signed-in' : 'not-signed-in');
    f.src = '/phpmod/cpanel.php';
  } else if (step == 3) {
    note('cpanel'); d.querySelector('a[href*="sysvar.php"]').click();
  } else if (step == 4) {
    d.querySelector('input[name=fld_hpname]').value = 'Browser Corner';
    note('settings'); send(d);
  } else if (step == 5) {
    note('saved');
  }
};
</script></body></html>)";
}

// A page of another origin that posts a settings form to the site as soon
// as it is shown.
const char kForeignPage[] = R"(<html><body><form method="post" action="http://shop.test/phpmod/sysvar.php">
<input name="op" value="save"><input name="fld_hpname" value="Taken Over"></form>
<script>document.forms[0].submit();</script></body></html>)";

class BrowserSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(site.Ready()) << "kvproxy or the site database did not start";
    }

    Server foreign{[this](Conn& c) {
        const std::string head = c.ReadHead();
        foreign.Record(head);
        const std::string body = head.find("/attack.html") != std::string::npos ? kForeignPage : "";
        c.Write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
    }};
    // Refused changes are logged (information lines on).
    SiteProxy site{"shop.test", {}, "[Debugging]\r\ndebug=4096\r\n"};
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserSiteTest, SignsInChangesASettingAndAnotherOriginsFormChangesNothing) {
    WriteFile(site.proxy.Dir() + "/Files/drive.htm", DriverPage(SiteProxy::kAdminPassword));
    // The budget lets the page's script run its steps before the DOM is read.
    const std::vector<std::string> wait = {"--virtual-time-budget=20000"};
    const std::string dom = browser.Load(site.proxy.Port(), "http://shop.test/_files/drive.htm", wait);
    EXPECT_NE(dom.find("login-form;signed-in;cpanel;settings;saved;"), std::string::npos) << dom;
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_name'"), "Browser Corner") << dom;
    SiteClient reader(site.proxy, "shop.test");
    EXPECT_NE(reader.Get("/").body.find("<title>Browser Corner</title>"), std::string::npos);

    // The same browser (its profile keeps the session) shows a page of
    // another origin that sends a settings form to the site: refused.
    const std::string attack = "http://127.0.0.1:" + std::to_string(foreign.Port()) + "/attack.html";
    const std::string answer = browser.Load(site.proxy.Port(), attack, wait);
    EXPECT_NE(answer.find("Unauthorisized request"), std::string::npos) << answer;
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_name'"), "Browser Corner");
    std::string log;
    const std::string logDir = site.proxy.Dir() + "/Log/";
    for (const std::string& name : ListDir(logDir)) log += ReadFile(logDir + name);
    EXPECT_NE(log.find("change refused for sysvar.php"), std::string::npos) << log;
}

namespace {

// The frame a driver page works in fills the window, so a screenshot shows
// the page inside it as a visitor would see it.
const char kFullFrame[] =
    R"(<html><body style="margin:0"><iframe id="f" src="/phpmod/login.php" style="position:fixed;top:0;left:0;)"
    R"(width:100%;height:100%;border:0"></iframe><div id="shown" style="display:none"></div><script>
var step = 0, f = document.getElementById('f');
function send(d) { d.querySelector('#page_content form input[type=submit]').click(); }
function set(d, name, value) { d.querySelector('[name=' + name + ']').value = value; }
function show(d) { document.getElementById('shown').innerHTML = d.getElementById('main').innerHTML; }
)";

// A page of a local web site that authors it as a person would: it signs
// in, adds the folder "Recipes" through the folder form, follows the
// folder's ADD NEW page link, writes a page through the page form, adds the
// folder "Staff" that only level 5 may read, and then shows `nextUrl` in
// its frame and copies its main part into its own page.
std::string AuthorPage(const std::string& password, const std::string& nextUrl) {
    return kFullFrame + std::string(R"(f.onload = function() {
  var d = f.contentDocument;
  step++;
  if (step == 1) { set(d, 'uid', 'admin'); set(d, 'psw', ')") + password + R"('); send(d); }
  else if (step == 2 || step == 6) { f.src = '/phpmod/folder.php?op=add&cat=0'; }
  else if (step == 3) { set(d, 'fld_name', 'Recipes'); set(d, 'fld_desc', 'Dishes we cook'); send(d); }
  else if (step == 4) { d.querySelector('a[href*="wpage.php?op=add"]').click(); }
  else if (step == 5) {
    set(d, 'fld_name', 'soup'); set(d, 'fld_title', 'Tomato Soup'); set(d, 'fld_desc', 'A warm start');
    set(d, 'fld_content', '<h1>{page_title}</h1>\n<p>Simmer slowly, then blend.</p>'); send(d);
  }
  else if (step == 7) { set(d, 'fld_name', 'Staff'); set(d, 'read_level', '5'); send(d); }
  else if (step == 8) { f.src = ')" + nextUrl + R"('; }
  else if (step == 9) { show(d); }
};
</script></body></html>)";
}

// Signs in, then shows `nextUrl` in its frame.
std::string SignInThen(const std::string& password, const std::string& nextUrl) {
    return kFullFrame + std::string(R"(f.onload = function() {
  var d = f.contentDocument;
  if (++step == 1) { set(d, 'uid', 'admin'); set(d, 'psw', ')") + password + R"('); send(d); }
  else if (step == 2) { f.src = ')" + nextUrl + R"('; }
};
</script></body></html>)";
}

class BrowserLocalWebTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!author.Start() || !guest.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(site.Ready()) << "kvproxy or the site database did not start";
    }
    SiteProxy site{"docs.test"};
    // Two profiles: the author's keeps the session, the guest's has none.
    HeadlessChromium author;
    HeadlessChromium guest;
};

}  // namespace

TEST_F(BrowserLocalWebTest, AuthorsAFolderAndAPageAndAGuestSeesNoHiddenFolder) {
    WriteFile(site.proxy.Dir() + "/Files/author.htm", AuthorPage(SiteProxy::kAdminPassword, "/Recipes/soup.html"));
    const std::string dom =
        author.Load(site.proxy.Port(), "http://docs.test/_files/author.htm", {"--virtual-time-budget=30000"});
    // The page written in the form, rendered in the theme's frame.
    EXPECT_NE(dom.find("<p>Simmer slowly, then blend.</p>"), std::string::npos) << dom;
    EXPECT_NE(dom.find("id=\"page-title\">Tomato Soup</h1>"), std::string::npos) << dom;
    EXPECT_EQ(site.DbValue("select read_level from web_folder where folder_name='Staff'"), "5");

    const std::string home = guest.Load(site.proxy.Port(), "http://docs.test/");
    EXPECT_NE(home.find("href=\"/Recipes/\""), std::string::npos) << home;
    EXPECT_EQ(home.find("Staff"), std::string::npos) << home;

    guest.Shoot(site.proxy.Port(), "http://docs.test/Recipes/soup.html", "localweb-page");
    const std::string id = site.DbValue("select page_id from web_page where page_name='soup.html'");
    const std::string cat = site.DbValue("select folder_id from web_page where page_name='soup.html'");
    WriteFile(site.proxy.Dir() + "/Files/form.htm",
              SignInThen(SiteProxy::kAdminPassword, "/phpmod/wpage.php?op=edit&cat=" + cat + "&id=" + id));
    author.Shoot(site.proxy.Port(), "http://docs.test/_files/form.htm", "localweb-form",
                 {"--virtual-time-budget=30000"});
}
