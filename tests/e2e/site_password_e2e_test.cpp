// "kvproxy --set-password": a member's password set from the command line
// while the proxy runs, and the refusals it explains.
#include <gtest/gtest.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

// The program run with `input` on its standard input; its exit code.
int SetPassword(const Proxy& proxy, const std::string& input, const std::string& host, const std::string& member,
                std::string& out, std::string& err) {
    const std::string command = "printf '" + input + "' | \"$0\" --config \"$1\" --set-password \"$2\" \"$3\"";
    return RunProgram({"/bin/sh", "-c", command, BinaryDir() + "/bin/kvproxy", proxy.Dir() + "/kvproxy.ini", host,
                       member},
                      &out, &err);
}

}  // namespace

TEST(SetPasswordTest, SetsTheMembersPasswordOrSaysWhyNot) {
    SiteProxy site{"shop.test", {{"mia", "mia-pass", 1}}};
    ASSERT_TRUE(site.Ready());
    std::string out, err;
    EXPECT_EQ(SetPassword(site.proxy, "fresh-pass-2\\n", "SHOP.test", "admin", out, err), 0) << err;
    EXPECT_NE(out.find("the password of admin at SHOP.test is set"), std::string::npos) << out;
    SiteClient admin{site.proxy, "shop.test"};
    EXPECT_TRUE(admin.Login("admin", "fresh-pass-2"));
    SiteClient old{site.proxy, "shop.test"};
    EXPECT_FALSE(old.Login("admin", SiteProxy::kAdminPassword));

    const struct {
        const char* input;
        const char* host;
        const char* member;
        const char* says;
    } refused[] = {
        {"x\\n", "nowhere.test", "admin", "there is no local site nowhere.test"},
        {"x\\n", "shop.test", "bob", "the site shop.test has no member bob"},
        {"\\n", "shop.test", "mia", "the password is empty"},
    };
    for (const auto& r : refused) {
        err.clear();
        EXPECT_EQ(SetPassword(site.proxy, r.input, r.host, r.member, out, err), 1) << r.says;
        EXPECT_NE(err.find(r.says), std::string::npos) << err;
    }
    SiteClient mia{site.proxy, "shop.test"};
    EXPECT_TRUE(mia.Login("mia", "mia-pass"));
}
