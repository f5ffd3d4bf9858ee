// A person's first local site, in a real browser set up only with KvProxy's
// proxy auto-configuration file: headless Chromium signs in to the portal
// as its administrator, creates a link directory through the form, follows
// the success page's sign-in link (which names the owner and carries no
// password) to the new site, signs in there and adds a link.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kPortal[] = "kvproxy.home.arpa";
constexpr char kOwnerPassword[] = "reading-42";

// The frame fills the window, so a screenshot shows the page inside it.
const char kFrame[] =
    R"js(<html><body style="margin:0"><iframe id="f" style="position:fixed;top:0;left:0;width:100%;height:100%;)js"
    R"js(border:0"></iframe><div id="steps" style="display:none"></div><script>
var step = 0, f = document.getElementById('f');
function note(t) { document.getElementById('steps').textContent += t + ';'; }
function send(d) { d.querySelector('#page_content form input[type=submit]').click(); }
function set(d, name, value) { d.querySelector('[name=' + name + ']').value = value; }
)js";

// On the portal: signs in, creates the link directory named by the
// address's "#" part (else "shot" and the window's width), and notes the
// success page's sign-in link.
std::string CreatePage(const std::string& adminPassword) {
    return kFrame + std::string(R"js(var name = location.hash.substring(1) || 'shot' + window.innerWidth;
f.src = '/phpmod/login.php';
f.onload = function() {
  var d = f.contentDocument;
  step++;
  if (step == 1) { set(d, 'uid', 'admin'); set(d, 'psw', ')js") + adminPassword + R"js('); send(d); }
  else if (step == 2) { f.src = '/localweb.php?op=create'; }
  else if (step == 3) {
    d.querySelector('input[name=fld_type][value=cld]').checked = true;
    set(d, 'fld_domain', name); set(d, 'fld_hp_name', 'Reading List'); set(d, 'fld_hp_desc', 'Links worth keeping');
    set(d, 'fld_hp_keywords', 'reading, links'); set(d, 'fld_admin_id', 'owner');
    set(d, 'fld_admin_psw1', ')js" + kOwnerPassword + R"js('); set(d, 'fld_admin_psw2', ')js" + kOwnerPassword + R"js(');
    note('form'); send(d);
  } else if (step == 4) {
    var a = d.querySelector('#page_content a[href*="login.php"]');
    note(a ? 'login-link=' + a.href + '=end' : 'no-login-link:' + d.getElementById('page_content').textContent.substring(0, 300));
  }
};
</script></body></html>)js";
}

// On the new site: opens the sign-in link given after "#", signs in with
// the name it filled in, and adds a link to the top folder.
std::string AddLinkPage() {
    return kFrame + std::string(R"js(f.src = decodeURIComponent(location.hash.substring(1));
f.onload = function() {
  var d = f.contentDocument;
  step++;
  if (step == 1) {
    note('name=' + d.querySelector('input[name=uid]').value);
    set(d, 'psw', ')js") + kOwnerPassword + R"js('); send(d);
  } else if (step == 2) { f.src = '/phpmod/link.php?op=add&cat=0'; }
  else if (step == 3) {
    set(d, 'fld_url', 'https://example.org/essay'); set(d, 'fld_title', 'An Essay Worth Rereading');
    note('link-form'); send(d);
  } else if (step == 4) { note('saved'); }
};
</script></body></html>)js";
}

class PortalSitesBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(site.Ready()) << "kvproxy or the portal database did not start";
        pac = "http://127.0.0.1:" + std::to_string(site.proxy.Port()) + "/proxy.pac";
    }

    SiteProxy site{kPortal, {}, "", "csd"};
    HeadlessChromium browser;
    std::string pac;
};

}  // namespace

TEST_F(PortalSitesBrowserTest, CreatesALinkDirectoryThenSignsInThereAndAddsALink) {
    WriteFile(site.proxy.Dir() + "/Files/create.htm", CreatePage(SiteProxy::kAdminPassword));
    WriteFile(site.proxy.Dir() + "/Files/addlink.htm", AddLinkPage());
    const std::vector<std::string> wait = {"--virtual-time-budget=20000"};

    const std::string created = browser.LoadWithPac(pac, "http://kvproxy.home.arpa/_files/create.htm#mylinks", wait);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(created, m, std::regex("login-link=(http.*?)=end"))) << created;
    // The DOM is dumped as HTML: the link's "&" reads "&amp;".
    std::string login = m[1].str();
    for (size_t at; (at = login.find("&amp;")) != std::string::npos;) login.replace(at, 5, "&");
    EXPECT_EQ(login, "http://mylinks.kvproxy.home.arpa/phpmod/login.php?op=show&uid=owner") << created;

    const std::string added = browser.LoadWithPac(
        pac, "http://mylinks.kvproxy.home.arpa/_files/addlink.htm#" + login, wait);
    EXPECT_NE(added.find("name=owner;link-form;saved;"), std::string::npos) << added;
    SiteClient reader(site.proxy, "mylinks.kvproxy.home.arpa");
    EXPECT_NE(reader.Get("/").body.find("An Essay Worth Rereading"), std::string::npos);

    // For a person to look at: the list, the form, and a success page.
    browser.Shoot(site.proxy.Port(), "http://kvproxy.home.arpa/localweb.php?op=show", "portal-sites");
    browser.Shoot(site.proxy.Port(), "http://kvproxy.home.arpa/localweb.php?op=create", "portal-create");
    browser.Shoot(site.proxy.Port(), "http://kvproxy.home.arpa/_files/create.htm", "portal-created", wait);
}
