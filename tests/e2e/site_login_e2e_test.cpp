// Signing in and out of a database site through the real kvproxy, and the
// guard every change of state passes: the form token, the same origin and
// POST for forms.
#include <gtest/gtest.h>

#include <dirent.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

class SiteLoginTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(site.Ready()); }

    bool IsSignedInAsAdmin(SiteClient& client) {
        Answer a = client.Get("/phpmod/cpanel.php");
        return a.status == 200 && a.body.find(kUnauthorised) == std::string::npos &&
               a.body.find("Control Panel") != std::string::npos;
    }
    std::string LogText() {
        std::string text;
        const std::string dir = site.proxy.Dir() + "/Log";
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) text += ReadFile(dir + "/" + e->d_name);
            closedir(d);
        }
        return text;
    }

    SiteProxy site{"shop.test", {{"mia", "mia-pass", 1}}};
    SiteClient browser{site.proxy, "shop.test"};
};

}  // namespace

TEST_F(SiteLoginTest, SignInMovesTheSessionAndSignOutEndsIt) {
    EXPECT_FALSE(IsSignedInAsAdmin(browser));
    ASSERT_FALSE(browser.FetchToken().empty());
    const std::string guestSid = browser.Sid();
    const std::string guestToken = browser.Token();

    ASSERT_TRUE(browser.Login("admin", SiteProxy::kAdminPassword));
    EXPECT_NE(browser.Sid(), guestSid);
    EXPECT_NE(browser.Token(), guestToken);
    EXPECT_TRUE(IsSignedInAsAdmin(browser));

    // The identifier known before signing in is worth nothing now.
    SiteClient old(site.proxy, "shop.test");
    old.FetchToken();
    EXPECT_NE(old.Sid(), browser.Sid());

    // Signing out is a link that needs the token like any change.
    EXPECT_NE(browser.Get("/phpmod/logout.php?op=do").body.find(kUnauthorised), std::string::npos);
    EXPECT_TRUE(IsSignedInAsAdmin(browser));
    EXPECT_EQ(browser.Get("/phpmod/logout.php?op=do&rnd=" + browser.Token()).status, 302);
    EXPECT_FALSE(IsSignedInAsAdmin(browser));
}

TEST_F(SiteLoginTest, SignInRefusedWithoutTokenFromAnotherOriginOrByGet) {
    browser.FetchToken();
    const Form right = {{"op", "do"}, {"uid", "admin"}, {"psw", SiteProxy::kAdminPassword}};
    Form withToken = right;
    withToken.emplace_back("rnd", browser.Token());

    Answer noToken = browser.Post("/phpmod/login.php", right, "Origin: " + browser.Origin() + "\r\n");
    EXPECT_NE(noToken.body.find(kUnauthorised), std::string::npos);
    Answer foreign = browser.Post("/phpmod/login.php", withToken, "Origin: http://evil.example\r\n");
    EXPECT_NE(foreign.body.find(kUnauthorised), std::string::npos);
    Answer foreignReferer =
        browser.Post("/phpmod/login.php", withToken, "Referer: http://evil.example/page.html\r\n");
    EXPECT_NE(foreignReferer.body.find(kUnauthorised), std::string::npos);
    Answer byGet = browser.Get("/phpmod/login.php?" + FormEncode(withToken));
    EXPECT_NE(byGet.body.find(kUnauthorised), std::string::npos);
    // The password of the wrong link is not shown back.
    EXPECT_EQ(byGet.body.find(SiteProxy::kAdminPassword), std::string::npos);
    EXPECT_FALSE(IsSignedInAsAdmin(browser));

    // Without Origin and Referer the token alone decides.
    EXPECT_EQ(browser.Post("/phpmod/login.php", withToken).status, 302);
    EXPECT_TRUE(IsSignedInAsAdmin(browser));
}

TEST_F(SiteLoginTest, FailedSignInsAreLoggedAndTenRefuseTheAddressForAMinute) {
    browser.FetchToken();
    Answer wrong = browser.PostWithToken("/phpmod/login.php", {{"op", "do"}, {"uid", "mia"}, {"psw", "guess-0"}});
    EXPECT_NE(wrong.body.find("Login failed"), std::string::npos);
    EXPECT_EQ(wrong.body.find("guess-0"), std::string::npos);
    const std::string log = LogText();
    EXPECT_NE(log.find("failed sign-in as mia from 127.0.0.1"), std::string::npos) << log;
    EXPECT_EQ(log.find("guess-0"), std::string::npos);

    for (int i = 1; i < 10; ++i) {
        browser.PostWithToken("/phpmod/login.php",
                              {{"op", "do"}, {"uid", "mia"}, {"psw", "guess-" + std::to_string(i)}});
    }
    Answer refused = browser.PostWithToken("/phpmod/login.php", {{"op", "do"}, {"uid", "mia"}, {"psw", "mia-pass"}});
    EXPECT_NE(refused.body.find("Too many failed logins"), std::string::npos) << refused.body;
    EXPECT_NE(refused.status, 302);
}

TEST_F(SiteLoginTest, SmallModulesAnswerAdministratorsAndChangeOnlyWithTheToken) {
    browser.FetchToken();
    for (const char* path : {"/phpmod/util.php?op=advitem", "/phpmod/macro.php?op=sss", "/phpmod/sysother.php"}) {
        EXPECT_NE(browser.Get(path).body.find(kUnauthorised), std::string::npos) << path;
    }
    EXPECT_NE(browser.Get("/phpmod/member_startpage.php").Get("location").find("/phpmod/login.php"),
              std::string::npos);

    ASSERT_TRUE(browser.Login("admin", SiteProxy::kAdminPassword));
    const std::string table = "select count(*) from sqlite_master where name='query_target'";
    EXPECT_NE(browser.Get("/phpmod/util.php?op=advitem").body.find(kUnauthorised), std::string::npos);
    EXPECT_EQ(site.DbValue(table), "0");
    EXPECT_EQ(browser.Get("/phpmod/util.php?op=advitem&rnd=" + browser.Token()).status, 200);
    EXPECT_EQ(site.DbValue(table), "1");

    EXPECT_NE(browser.Get("/phpmod/macro.php?op=sss").body.find("name=\"fld_hpname\""), std::string::npos);
    EXPECT_NE(browser.Get("/phpmod/macro.php").body.find("Unknown operation, &#039;edit&#039;"), std::string::npos);
    EXPECT_EQ(browser.Get("/phpmod/member_startpage.php").Get("location"), "http://shop.test/index.html");
}
