// The folders of an installed program: which programs count as installed,
// where the user's folders are, and that the user's files are never
// replaced by the shipped defaults.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "proxy/core/KvUserDirs.h"

namespace fs = std::filesystem;

namespace {

class UserDirsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kvproxy-userdirs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_root = pattern;
    }
    void TearDown() override { fs::remove_all(m_root); }

    void Write(const std::string& rel, const std::string& text) {
        fs::create_directories(fs::path(m_root + "/" + rel).parent_path());
        std::ofstream(m_root + "/" + rel) << text;
    }
    // A prefix with its shipped defaults.
    void WriteDefaults() {
        Write("prefix/bin/kvproxy", "program");
        Write("prefix/share/kvproxy/kvproxy.ini", "[Proxy]\n");
        Write("prefix/share/kvproxy/Template/proxy_msg.htm", "shipped msg");
        Write("prefix/share/kvproxy/Theme/T/style.css", "shipped css");
        Write("prefix/share/kvproxy/mime.types", "shipped mime");
    }
    CString Path(const std::string& rel) { return CString((m_root + "/" + rel).c_str()); }

    std::string m_root;
};

KvEnvLookup Env(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
}

TEST_F(UserDirsTest, OnlyAProgramWithoutIniBesideAndWithSharedDefaultsIsInstalled) {
    WriteDefaults();
    EXPECT_EQ(KvFindInstalledDefaults(Path("prefix/bin/")), Path("prefix/share/kvproxy"));
    EXPECT_EQ(KvFindInstalledDefaults(Path("prefix/bin")), Path("prefix/share/kvproxy"));
    // The build tree: the ini beside the program wins.
    Write("prefix/bin/kvproxy.ini", "[Proxy]\n");
    EXPECT_TRUE(KvFindInstalledDefaults(Path("prefix/bin")).IsEmpty());
    // A folder of its own without shipped defaults.
    Write("alone/kvproxy", "program");
    EXPECT_TRUE(KvFindInstalledDefaults(Path("alone")).IsEmpty());
}

TEST_F(UserDirsTest, XdgFoldersWhenAbsoluteElseBelowHome) {
    KvUserDirs dirs;
    ASSERT_TRUE(KvResolveUserDirs(Env({{"HOME", "/home/u/"}}), dirs));
    EXPECT_EQ(dirs.configDir, "/home/u/.config/kvproxy");
    EXPECT_EQ(dirs.dataDir, "/home/u/.local/share/kvproxy");
    EXPECT_EQ(dirs.ConfigFile(), "/home/u/.config/kvproxy/kvproxy.ini");

    ASSERT_TRUE(KvResolveUserDirs(
        Env({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "/cfg/"}, {"XDG_DATA_HOME", "/xdg/data"}}), dirs));
    EXPECT_EQ(dirs.configDir, "/cfg/kvproxy");
    EXPECT_EQ(dirs.dataDir, "/xdg/data/kvproxy");

    // Empty and relative values are not to be used.
    ASSERT_TRUE(
        KvResolveUserDirs(Env({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "data"}}), dirs));
    EXPECT_EQ(dirs.configDir, "/home/u/.config/kvproxy");
    EXPECT_EQ(dirs.dataDir, "/home/u/.local/share/kvproxy");

    // Without HOME the password database names the home folder.
    ASSERT_TRUE(KvResolveUserDirs(Env({}), dirs));
    EXPECT_EQ(dirs.configDir.Left(1), "/");
}

// The installed program's start shows that the user's files are made once
// and kept (tests/e2e); here what it cannot show: privacy, whole files and
// failures.
TEST_F(UserDirsTest, CopiesArePrivateAndWholeAndFailuresAreNamed) {
    WriteDefaults();
    KvUserDirs dirs{Path("prefix/share/kvproxy"), Path("home/.config/kvproxy"), Path("home/.local/share/kvproxy")};
    CString failed;
    EXPECT_EQ(KvMakeUserConfig(dirs, failed), 1) << failed.c_str();
    EXPECT_EQ(KvCopyDefaultData(dirs.defaults, dirs.dataDir, nullptr), 3);
    for (const char* made : {"home", "home/.config", "home/.local/share/kvproxy"}) {
        EXPECT_EQ(fs::status(m_root + "/" + made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
    }
    int files = 0;  // the ini and three data files, no temporary copies
    for (const auto& entry : fs::recursive_directory_iterator(m_root + "/home")) files += entry.is_regular_file();
    EXPECT_EQ(files, 4);

    EXPECT_EQ(KvCopyDefaultData(Path("nowhere"), dirs.dataDir, &failed), -1);
    EXPECT_EQ(failed, Path("nowhere"));
}

}  // namespace
