// The folders of an installed program: which programs count as installed,
// where the user's folders are, and that the user's files are never
// replaced by the shipped defaults.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
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
    std::string Read(const std::string& rel) {
        std::stringstream ss;
        ss << std::ifstream(m_root + "/" + rel).rdbuf();
        return ss.str();
    }
    bool Exists(const std::string& rel) { return fs::exists(m_root + "/" + rel); }
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

TEST_F(UserDirsTest, ConfigurationIsMadeOnceAndNeverReplaced) {
    WriteDefaults();
    KvUserDirs dirs{Path("prefix/share/kvproxy"), Path("home/.config/kvproxy"), Path("home/.local/share/kvproxy")};
    CString error;
    EXPECT_EQ(KvMakeUserConfig(dirs, error), 1) << error.c_str();
    EXPECT_EQ(Read("home/.config/kvproxy/kvproxy.ini"), "[Proxy]\n");
    // Only the ini goes to the configuration folder, privately.
    EXPECT_FALSE(Exists("home/.config/kvproxy/Template"));
    EXPECT_EQ(fs::status(m_root + "/home/.config").permissions() & fs::perms::all, fs::perms::owner_all);

    Write("home/.config/kvproxy/kvproxy.ini", "[Proxy]\nListen=127.0.0.1:9000\n");
    EXPECT_EQ(KvMakeUserConfig(dirs, error), 0);
    EXPECT_EQ(Read("home/.config/kvproxy/kvproxy.ini"), "[Proxy]\nListen=127.0.0.1:9000\n");
}

TEST_F(UserDirsTest, DataGetsWhatItLacksAndKeepsWhatTheUserChanged) {
    WriteDefaults();
    const CString defaults = Path("prefix/share/kvproxy");
    EXPECT_EQ(KvCopyDefaultData(defaults, Path("data/kvproxy"), nullptr), 3);
    EXPECT_EQ(Read("data/kvproxy/Theme/T/style.css"), "shipped css");
    EXPECT_FALSE(Exists("data/kvproxy/kvproxy.ini"));

    Write("data/kvproxy/Template/proxy_msg.htm", "mine");
    fs::remove(m_root + "/data/kvproxy/mime.types");
    EXPECT_EQ(KvCopyDefaultData(defaults, Path("data/kvproxy"), nullptr), 1);
    EXPECT_EQ(Read("data/kvproxy/Template/proxy_msg.htm"), "mine");
    EXPECT_EQ(Read("data/kvproxy/mime.types"), "shipped mime");
    // No temporary copies are left behind.
    int entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_root + "/data")) entries += entry.is_regular_file();
    EXPECT_EQ(entries, 3);

    CString failed;
    EXPECT_EQ(KvCopyDefaultData(Path("nowhere"), Path("data/kvproxy"), &failed), -1);
    EXPECT_EQ(failed, Path("nowhere"));
}

}  // namespace
