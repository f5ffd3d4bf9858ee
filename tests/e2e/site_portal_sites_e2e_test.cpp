// The portal's local sites through the real kvproxy: the list, the form
// that makes a local web site, a link directory or an RSS reader that
// answers at once, what the form refuses, and who may use it; the
// advertising items with their click-through and script.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kPortal[] = "kvproxy.home.arpa";

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

class PortalSites : public ::testing::Test {
protected:
    PortalSites() : site(kPortal, {}, "", "csd"), admin(site.proxy, kPortal) {}

    std::string SiteFile(const std::string& host, const std::string& type) const {
        return site.proxy.Dir() + "/LocalWeb/" + host + "." + type;
    }
    // The creation form as the portal's own page posts it.
    Form Create(const std::string& type, const std::string& domain, const std::string& password = "owner-pw1",
                const std::string& again = "owner-pw1") {
        return {{"op", "docreate"},         {"fld_type", type},          {"fld_domain", domain},
                {"fld_hp_name", "My " + type}, {"fld_hp_desc", "A new site"}, {"fld_hp_keywords", "one, two"},
                {"fld_admin_id", "owner"},  {"fld_admin_psw1", password}, {"fld_admin_psw2", again}};
    }
    Answer PostCreate(const Form& form) {
        admin.FetchToken("/localweb.php?op=create");
        return admin.PostWithToken("/localweb.php", form);
    }

    SiteProxy site;
    SiteClient admin;
};

TEST_F(PortalSites, EachKindIsCreatedAndAnswersAtOnce) {
    ASSERT_TRUE(site.Ready());
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    for (const std::string type : {"cwd", "cld", "crd"}) {
        SCOPED_TRACE(type);
        const std::string host = "new-" + type + ".kvproxy.home.arpa";
        const Answer made = PostCreate(Create(type, "New-" + type));
        ASSERT_EQ(made.status, 200);
        EXPECT_NE(made.body.find("answers now"), std::string::npos) << made.body;
        // The sign-in link names the owner, never the password.
        EXPECT_NE(made.body.find("http://" + host + "/phpmod/login.php?op=show&amp;uid=owner"), std::string::npos);
        EXPECT_EQ(made.body.find("owner-pw1"), std::string::npos);
        EXPECT_TRUE(Exists(SiteFile(host, type)));

        SiteClient visitor(site.proxy, host);
        const Answer home = visitor.Get("/");
        EXPECT_EQ(home.status, 200);
        EXPECT_NE(home.body.find("My " + type), std::string::npos);
        EXPECT_NE(visitor.Get("/phpmod/login.php?uid=owner").body.find("value=\"owner\""), std::string::npos);
        EXPECT_TRUE(visitor.Login("owner", "owner-pw1"));
        EXPECT_FALSE(SiteClient(site.proxy, host).Login("admin", SiteProxy::kAdminPassword));
    }
    const Answer list = SiteClient(site.proxy, kPortal).Get("/localweb.php?op=show");
    EXPECT_NE(list.body.find("Link directory"), std::string::npos);
    EXPECT_NE(list.body.find("http://new-crd.kvproxy.home.arpa/"), std::string::npos);
}

TEST_F(PortalSites, RefusesAnExistingSiteABadNameAndUnequalPasswords) {
    ASSERT_TRUE(site.Ready());
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    ASSERT_NE(PostCreate(Create("cld", "dup")).body.find("answers now"), std::string::npos);
    const std::string file = SiteFile("dup.kvproxy.home.arpa", "cld");
    const std::string before = ReadFile(file);
    for (const std::string type : {"cld", "cwd"}) {
        const Answer again = PostCreate(Create(type, "dup.kvproxy.home.arpa"));
        EXPECT_NE(again.body.find("Domain dup.kvproxy.home.arpa already exist. Please change your new domain name"),
                  std::string::npos);
    }
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_FALSE(Exists(SiteFile("dup.kvproxy.home.arpa", "cwd")));

    for (const std::string bad : {"../x", "a b", "kvproxy.home.arpa", "localhost", "search.kvproxy.home.arpa",
                                  "-x", "x..y", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(PostCreate(Create("cwd", bad)).body.find("Please enter the valid domain name"), std::string::npos);
    }
    EXPECT_NE(PostCreate(Create("cwd", "pw", "owner-pw1", "owner-pw2")).body.find("The two password must be match"),
              std::string::npos);
    EXPECT_NE(PostCreate(Create("cwd", "pw", "a b c d", "a b c d")).body.find("Invalid password."),
              std::string::npos);
    EXPECT_FALSE(Exists(SiteFile("pw.kvproxy.home.arpa", "cwd")));
}

TEST_F(PortalSites, OnlyTheAdministratorsOwnFormCreates) {
    ASSERT_TRUE(site.Ready());
    // A visitor sees the form with the sign-in hint, and cannot post it.
    SiteClient guest(site.proxy, kPortal);
    EXPECT_NE(guest.Get("/localweb.php?op=create").body.find("sign in</a> first"), std::string::npos);
    guest.FetchToken("/localweb.php?op=create");
    guest.PostWithToken("/localweb.php", Create("cwd", "guest"));
    // The administrator without the token, or from another site's page.
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    admin.Post("/localweb.php", Create("cwd", "notoken"), "Origin: http://kvproxy.home.arpa\r\n");
    Form foreign = Create("cwd", "foreign");
    foreign.emplace_back("rnd", admin.FetchToken("/localweb.php?op=create"));
    admin.Post("/localweb.php", foreign, "Origin: http://evil.example\r\n");
    for (const char* name : {"guest", "notoken", "foreign"}) {
        EXPECT_FALSE(Exists(SiteFile(std::string(name) + ".kvproxy.home.arpa", "cwd"))) << name;
    }
}

TEST_F(PortalSites, TheIconAskedForDuringASignInLeavesTheMembersCookie) {
    ASSERT_TRUE(site.Ready());
    admin.FetchToken();
    const std::string retired = admin.Sid();
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    // The browser's icon request still carries the identifier the sign-in
    // retired; its answer must not set a guest cookie over the member's.
    const Answer icon = SiteClient(site.proxy, kPortal).Get("/favicon.ico", "Cookie: sid=" + retired + "\r\n");
    EXPECT_FALSE(icon.Has("set-cookie"));
}

TEST_F(PortalSites, AdItemsTakeWebAddressesOnlyAndShowAsText) {
    ASSERT_TRUE(site.Ready());
    const std::string count = "select count(*) from advitem";
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    auto save = [&](const std::string& url, const std::string& shownAs) {
        admin.FetchToken("/ad-mgmt.php?op=edit");
        return admin.PostWithToken("/ad-mgmt.php", {{"op", "save"}, {"fld_id", "0"}, {"fld_url", url},
                                                    {"fld_title", "T"}, {"fld_showas", shownAs}, {"fld_active", "1"}});
    };
    for (const std::string bad : {"javascript:alert(1)", "", "data:text/html,x", "/local"}) {
        EXPECT_NE(save(bad, "x").body.find("URL cannot be empty or URL format is wrong!"), std::string::npos) << bad;
    }
    EXPECT_EQ(site.DbValue(count), "0");
    // Saving without the token changes nothing either.
    admin.Post("/ad-mgmt.php", {{"op", "save"}, {"fld_url", "http://ads.example/"}});
    EXPECT_EQ(site.DbValue(count), "0");

    const std::string hostile = "</script><script>alert(1)</script>' \\ \n{page_title}";
    ASSERT_EQ(save("http://ads.example/x?a=1&b=2", hostile).status, 302);
    const Answer js = SiteClient(site.proxy, kPortal).Get("/ad-show-js.php?id=1");
    EXPECT_EQ(js.Get("content-type"), "application/x-javascript");
    ASSERT_EQ(js.body.rfind("adv = '", 0), 0u) << js.body;
    const size_t end = js.body.find("';\r\ndocument.write(adv);\r\n");
    ASSERT_NE(end, std::string::npos);
    const std::string value = js.body.substr(7, end - 7);
    EXPECT_EQ(value.find_first_of("'\"<>\r\n{}"), std::string::npos) << value;
    EXPECT_NE(value.find("ad-jump.php"), std::string::npos);

    const Answer jump = SiteClient(site.proxy, kPortal).Get("/ad-jump.php?id=1");
    EXPECT_EQ(jump.status, 302);
    EXPECT_EQ(jump.Get("location"), "http://ads.example/x?a=1&b=2");
    EXPECT_EQ(site.DbValue("select adv_hits from advitem where adv_id = 1"), "1");
    // An address that is no longer safe is never followed.
    site.DbValue("update advitem set adv_url = 'javascript:alert(1)' where adv_id = 1");
    EXPECT_EQ(SiteClient(site.proxy, kPortal).Get("/ad-jump.php?id=1").status, 404);
    EXPECT_EQ(SiteClient(site.proxy, kPortal).Get("/ad-jump.php?id=9").status, 404);

    // The list is the administrator's; a delete link works with the token only.
    EXPECT_EQ(SiteClient(site.proxy, kPortal).Get("/ad-mgmt.php").body.find("ads.example"), std::string::npos);
    admin.Get("/ad-mgmt.php?op=delete&id=1");
    EXPECT_EQ(site.DbValue(count), "1");
    admin.Get("/ad-mgmt.php?op=delete&id=1&rnd=" + admin.Token());
    EXPECT_EQ(site.DbValue(count), "0");
}

}  // namespace
