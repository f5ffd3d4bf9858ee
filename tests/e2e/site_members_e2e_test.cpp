// Member records and the site's settings through the real kvproxy: who may
// edit and save what, the level rules, escaping of what members wrote,
// settings shown in the page frame, and an unchanged save that keeps every
// byte. Each change is also tried without the token, from another origin
// and by GET: nothing changes.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

const char kUnauthorised[] = "Unauthorisized request";

std::string HtmlDecode(std::string text) {
    static const std::pair<const char*, const char*> kRefs[] = {
        {"&lt;", "<"},    {"&gt;", ">"},    {"&quot;", "\""}, {"&#39;", "'"}, {"&#039;", "'"},  {"&#123;", "{"},
        {"&#125;", "}"}, {"&#13;", "\r"},  {"&#10;", "\n"},  {"&#9;", "\t"},  {"&amp;", "&"}};
    for (const auto& [ref, ch] : kRefs) {
        for (size_t at = text.find(ref); at != std::string::npos; at = text.find(ref, at + 1)) {
            text.replace(at, std::strlen(ref), ch);
        }
    }
    return text;
}

// What a browser would post back for a text field or a text area of the page.
std::string FieldValue(const std::string& page, const std::string& name) {
    std::smatch m;
    const std::regex area("<textarea[^>]*name=\"" + name + "\"[^>]*>\\n?([^<]*)</textarea>");
    if (std::regex_search(page, m, area)) return HtmlDecode(m[1].str());
    const std::regex input("name=\"" + name + "\"[^>]*value=\"([^\"]*)\"");
    if (std::regex_search(page, m, input)) return HtmlDecode(m[1].str());
    return "<missing " + name + ">";
}

Form MemberForm(int uid, const std::string& name, const std::string& fullName, int country = 12) {
    return {{"op", "save"},
            {"uid", std::to_string(uid)},
            {"fld_name", name},
            {"fld_fullname", fullName},
            {"fld_email", name + "@example.org"},
            {"fld_country", std::to_string(country)},
            {"max_item_perpage", "3"}};
}

class SiteMembersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        ASSERT_TRUE(mia.Login("mia", "mia-pass"));
        ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    }
    std::string Member(int id, const char* column) {
        return site.DbValue(std::string("select ") + column + " from sysmember where m_id=" + std::to_string(id));
    }
    // Posts `form` as a page of another site would, without the token, and
    // by GET: each must be refused.
    void ExpectCrossSiteRefused(SiteClient& client, const std::string& path, Form form) {
        Answer noToken = client.Post(path, form, "Origin: " + client.Origin() + "\r\n");
        EXPECT_NE(noToken.body.find(kUnauthorised), std::string::npos) << path;
        form.emplace_back("rnd", client.Token());
        Answer foreign = client.Post(path, form, "Origin: http://evil.example\r\n");
        EXPECT_NE(foreign.body.find(kUnauthorised), std::string::npos) << path;
        Answer byGet = client.Get(path + "?" + FormEncode(form));
        EXPECT_NE(byGet.body.find(kUnauthorised), std::string::npos) << path;
    }

    SiteProxy site{"shop.test", {{"mia", "mia-pass", 1}, {"bob", "bob-pass", 1}}};
    SiteClient mia{site.proxy, "shop.test"};
    SiteClient admin{site.proxy, "shop.test"};
};

}  // namespace

TEST_F(SiteMembersTest, MemberSavesOwnRecordShownEscapedAndCannotTouchAnother) {
    Answer edit = mia.Get("/phpmod/member_info.php?op=edit&uid=2");
    EXPECT_NE(edit.body.find("value=\"Member mia\""), std::string::npos);
    EXPECT_EQ(edit.body.find("fld_level"), std::string::npos);

    Form own = MemberForm(2, "mia", "Mia <b>{page_title}</b>");
    own.emplace_back("fld_level", "9");
    Answer saved = mia.PostWithToken("/phpmod/member_info.php", own);
    EXPECT_EQ(saved.status, 302);
    EXPECT_EQ(Member(2, "m_fullname"), "Mia <b>{page_title}</b>");
    EXPECT_EQ(Member(2, "max_item_perpage"), "5");
    EXPECT_EQ(Member(2, "m_level"), "1");  // only administrators set levels
    edit = mia.Get("/phpmod/member_info.php?op=edit&uid=2");
    EXPECT_NE(edit.body.find("Mia &lt;b&gt;{page_title}&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(edit.body.find("Mia <b>"), std::string::npos);

    Answer failed = mia.PostWithToken("/phpmod/member_info.php", MemberForm(2, "mia", "Mia", 0));
    EXPECT_NE(failed.body.find("Please enter the valid country"), std::string::npos);
    EXPECT_EQ(Member(2, "m_ccode"), "12");

    EXPECT_NE(mia.Get("/phpmod/member_info.php?op=edit&uid=3").body.find("You cannot edit other member info"),
              std::string::npos);
    Form other = MemberForm(3, "bob", "Taken over");
    other.emplace_back("fld_password1", "x");
    other.emplace_back("fld_password2", "x");
    EXPECT_NE(mia.PostWithToken("/phpmod/member_info.php", other).body.find(kUnauthorised), std::string::npos);
    EXPECT_EQ(Member(3, "m_fullname"), "Member bob");
    SiteClient guest(site.proxy, "shop.test");
    guest.FetchToken();
    EXPECT_NE(guest.PostWithToken("/phpmod/member_info.php", other).body.find(kUnauthorised), std::string::npos);
    EXPECT_EQ(Member(3, "m_fullname"), "Member bob");
}

TEST_F(SiteMembersTest, AdministratorEditsAnyMemberWithTheLevelRules) {
    Answer edit = admin.Get("/phpmod/member_info.php?op=edit&uid=3");
    EXPECT_NE(edit.body.find("name=\"fld_level\" size=\"8\" value=\"1\""), std::string::npos);
    EXPECT_NE(admin.Get("/phpmod/member_info.php?op=edit&uid=77").body.find("Unregistered member id: 77"),
              std::string::npos);

    Form bob = MemberForm(3, "bob", "Bob B");
    bob.emplace_back("fld_level", "10");
    bob.emplace_back("fld_password1", "new-bob");
    bob.emplace_back("fld_password2", "new-bob");
    EXPECT_EQ(admin.PostWithToken("/phpmod/member_info.php", bob).status, 302);
    EXPECT_EQ(Member(3, "m_level"), "9");  // 10 is the developer account's alone
    SiteClient bobClient(site.proxy, "shop.test");
    EXPECT_TRUE(bobClient.Login("bob", "new-bob"));

    Form mismatch = MemberForm(3, "bob", "Bob C");
    mismatch.emplace_back("fld_password1", "a");
    mismatch.emplace_back("fld_password2", "b");
    EXPECT_NE(admin.PostWithToken("/phpmod/member_info.php", mismatch).body.find("Please reenter the password."),
              std::string::npos);
    EXPECT_EQ(Member(3, "m_fullname"), "Bob B");

    Form withPassword = MemberForm(2, "mia", "Changed");
    withPassword.emplace_back("fld_password1", "secret-77");
    withPassword.emplace_back("fld_password2", "secret-77");
    ExpectCrossSiteRefused(admin, "/phpmod/member_info.php", withPassword);
    withPassword.emplace_back("rnd", admin.Token());
    EXPECT_EQ(admin.Get("/phpmod/member_info.php?" + FormEncode(withPassword)).body.find("secret-77"),
              std::string::npos);
    EXPECT_EQ(Member(2, "m_fullname"), "Member mia");
}

TEST_F(SiteMembersTest, SettingsRoundTripUnchangedAndShowInThePageFrame) {
    EXPECT_NE(mia.Get("/phpmod/sysvar.php?op=edit").body.find(kUnauthorised), std::string::npos);
    EXPECT_NE(mia.Get("/phpmod/cpanel.php").body.find(kUnauthorised), std::string::npos);

    Answer form = admin.Get("/phpmod/sysvar.php?op=edit");
    ASSERT_EQ(form.status, 200);
    const char* fields[] = {"fld_hpname", "fld_hpslogan", "fld_hpdesc", "fld_hpkeywords",
                            "fld_hpheader", "fld_hpfooter", "fld_hpsidebar"};
    Form unchanged = {{"op", "save"}};
    for (const char* f : fields) unchanged.emplace_back(f, FieldValue(form.body, f));
    const std::string header = site.DbValue("select var_value from sys_variable where var_name='hp_header'");
    ASSERT_NE(header.find("{nav_aboutus}"), std::string::npos);
    EXPECT_EQ(FieldValue(form.body, "fld_hpheader"), header);
    EXPECT_EQ(admin.PostWithToken("/phpmod/sysvar.php", unchanged).status, 302);
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_header'"), header);

    Form changed = unchanged;
    changed[1].second = "Corner Shop";
    changed[2].second = "Fresh &amp; fair";
    changed[7].second = "<b>&lt;side&gt;</b>";
    EXPECT_EQ(admin.PostWithToken("/phpmod/sysvar.php", changed).status, 302);
    Answer home = mia.Get("/");
    EXPECT_NE(home.body.find("<title>Corner Shop</title>"), std::string::npos) << home.body;
    EXPECT_NE(home.body.find("Fresh &amp; fair"), std::string::npos);
    EXPECT_NE(home.body.find("<b>&lt;side&gt;</b>"), std::string::npos);
    // The editor shows the stored "&lt;" as typed text, so it survives.
    EXPECT_EQ(FieldValue(admin.Get("/phpmod/sysvar.php").body, "fld_hpsidebar"), "<b>&lt;side&gt;</b>");

    changed[1].second = "Taken";
    ExpectCrossSiteRefused(admin, "/phpmod/sysvar.php", changed);
    EXPECT_EQ(site.DbValue("select var_value from sys_variable where var_name='hp_name'"), "Corner Shop");
}
