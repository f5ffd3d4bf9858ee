// New local sites: which names the form accepts, and that the database
// file is made exclusively, from a consistent copy of the template, and
// removed again when the copy fails.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "ext/KvMd5/KvMd5.h"
#include "proxy/sites/KvNewSite.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/tests/repo_test_util.h"
#include "proxy/web/KvWebDB.h"

namespace {

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

KvDomainInfo Info(const char* domain) {
    KvDomainInfo info;
    info.type = "cld";
    info.domain = domain;
    info.name = "Reading";
    info.desc = "Links";
    info.keywords = "links";
    info.adminId = "owner";
    info.password = "secret1";
    return info;
}

TEST(NewSiteTest, NamesLieUnderTheSuffixAndAreHostLabelsOnly) {
    const struct {
        const char* text;
        const char* domain;  // null: refused
    } cases[] = {
        {"MyLinks", "mylinks.kvproxy.home.arpa"},
        {" my-links.home ", "my-links.home.kvproxy.home.arpa"},
        {"a.kvproxy.home.arpa", "a.kvproxy.home.arpa"},
        {"kvproxy.home.arpa", nullptr},        {"search.kvproxy.home.arpa", nullptr},
        {"linktemplate", nullptr},             {"localhost", nullptr},
        {"x.local", nullptr},                  {"../x", nullptr},
        {"a b", nullptr},                      {"-a", nullptr},
        {"a..b", nullptr},                     {"", nullptr},
        {"a_b", nullptr},                      {"\xC3\xA9t\xC3\xA9", nullptr},
    };
    for (const auto& c : cases) {
        CString domain;
        EXPECT_EQ(KvNormaliseSiteDomain(c.text, domain), c.domain != nullptr) << c.text;
        if (c.domain) {
            EXPECT_STREQ(domain.c_str(), c.domain) << c.text;
        }
    }
}

TEST(NewSiteTest, CopiesTheTemplateNeverOverwritesAndLeavesNothingAfterAFailure) {
    repotest::TempDir base;
    const std::string dir = base.File("");
    mkdir(base.File("LocalWeb").c_str(), 0755);
    CString file;
    ASSERT_EQ(KvCreateSiteFile(dir.c_str(), Info("new.kvproxy.home.arpa"), file), KvNewSiteResult::Created);
    {
        KvWebDB db;
        ASSERT_TRUE(db.OpenSite(file));
        KvUserInfo owner;
        ASSERT_TRUE(db.GetUserInfo(1, &owner));
        EXPECT_STREQ(owner.m_strName.c_str(), "owner");
        EXPECT_EQ(owner.m_strPassword, MD5String("secret1"));
        EXPECT_STREQ(db.GetSystemVar("hp_name").c_str(), "Reading");
    }

    const std::string kept = Read(file.c_str());
    EXPECT_EQ(KvCreateSiteFile(dir.c_str(), Info("new.kvproxy.home.arpa"), file), KvNewSiteResult::Exists);
    EXPECT_EQ(Read(file.c_str()), kept);

    // A template that is no database: the copy fails and no file stays.
    std::ofstream(base.File("LocalWeb/linktemplate.kvproxy.home.arpa.cld"), std::ios::trunc)
        << std::string(8192, 'x');
    EXPECT_EQ(KvCreateSiteFile(dir.c_str(), Info("bad.kvproxy.home.arpa"), file), KvNewSiteResult::Failed);
    for (const char* tail : {"", "-wal", "-shm", "-journal"}) {
        EXPECT_FALSE(Exists(base.File("LocalWeb/bad.kvproxy.home.arpa.cld") + tail)) << tail;
    }
}

}  // namespace
