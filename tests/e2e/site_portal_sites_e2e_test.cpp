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

}  // namespace
