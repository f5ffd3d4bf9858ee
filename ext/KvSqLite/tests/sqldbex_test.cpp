// KvSqlDBEx: id counters and system variables.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/containers/CsList.h"
#include "ext/KvSqLite/KvSqLite.h"

namespace fs = std::filesystem;

namespace {

class SqlDbExTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kvsqlex_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        path = (dir / "site.db").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
    std::string path;
};

// A store built on the class, as the cache and site databases are.
class SiteDb : public KvSqlDBEx {
public:
    int InitNewDatabase() override {
        if (!KvSqlDBEx::InitNewDatabase()) return 0;
        if (Execute("create table member(m_id integer primary key, m_name text);") < 0) return 0;
        return InitId("member", 1);
    }
};

}  // namespace

TEST_F(SqlDbExTest, CountersHandOutIncreasingIdsThatSurviveReopening) {
    {
        SiteDb db;
        ASSERT_TRUE(db.Open(path.c_str()));
        ASSERT_TRUE(db.InitNewDatabase());
        EXPECT_EQ(db.GetId("member"), 1);
        EXPECT_EQ(db.GetNewId("member"), 2);
        EXPECT_EQ(db.GetNewId("member"), 3);
        EXPECT_EQ(db.GetNewId("fresh"), 1);  // never initialised: starts at 0
        EXPECT_TRUE(db.SetId("fresh", 100));
        EXPECT_EQ(db.GetNewId("fresh"), 101);
        EXPECT_EQ(db.GetId("nothing"), 0);
    }
    KvSqlDBEx again;
    ASSERT_TRUE(again.Open(path.c_str()));
    EXPECT_EQ(again.GetNewId("member"), 4);
    EXPECT_EQ(again.GetId("fresh"), 101);
}

TEST_F(SqlDbExTest, TwoConnectionsNeverReceiveTheSameId) {
    KvSqlDBEx a, b;
    ASSERT_TRUE(a.Open(path.c_str()));
    ASSERT_TRUE(a.InitId("cache_object", 0));
    ASSERT_TRUE(b.Open(path.c_str()));
    std::set<int> seen;
    for (int i = 0; i < 50; i++) {
        int x = a.GetNewId("cache_object");
        int y = b.GetNewId("cache_object");
        ASSERT_GT(x, 0);
        ASSERT_GT(y, 0);
        EXPECT_TRUE(seen.insert(x).second);
        EXPECT_TRUE(seen.insert(y).second);
    }
    EXPECT_EQ(a.GetId("cache_object"), 100);
}

TEST_F(SqlDbExTest, CounterFailuresAnswerZero) {
    KvSqlDBEx db;
    EXPECT_EQ(db.GetNewId("x"), 0);  // not open
    ASSERT_TRUE(db.Open(path.c_str()));
    ASSERT_TRUE(db.InitId("x", 5));
    db.SetReadOnly(TRUE);
    EXPECT_EQ(db.GetNewId("x"), 0);
    EXPECT_EQ(db.GetLastError(), KV_SQL_READONLY);
    EXPECT_EQ(db.GetId("x"), 5);
    db.SetReadOnly(FALSE);
    EXPECT_EQ(db.GetNewId("x"), 6);
}

TEST_F(SqlDbExTest, SystemVariablesStoreAnyText) {
    KvSqlDBEx db;
    ASSERT_TRUE(db.Open(path.c_str()));
    EXPECT_STREQ(db.GetSystemVar("hp_name", "default"), "default");
    EXPECT_FALSE(db.IsSystemVarExist("hp_name"));
    ASSERT_TRUE(db.SetSystemVar("hp_name", "Bob's <b>links</b>"));
    ASSERT_TRUE(db.SetSystemVar("hp_theme", "VuvUrad"));
    ASSERT_TRUE(db.SetSystemVar("empty", ""));
    ASSERT_TRUE(db.SetSystemVarInt("hp_count", -12));
    ASSERT_TRUE(db.SetSystemVar("hp_name", "Bob's links"));  // replaces, keeps its place
    EXPECT_STREQ(db.GetSystemVar("hp_name"), "Bob's links");
    EXPECT_STREQ(db.GetSystemVar("HP_NAME", "none"), "none");  // names match exactly
    EXPECT_STREQ(db.GetSystemVar("empty", "x"), "");
    EXPECT_EQ(db.GetSystemVarInt("hp_count"), -12);
    EXPECT_EQ(db.GetSystemVarInt("hp_theme", 7), 7);  // not a number
    EXPECT_EQ(db.GetSystemVarInt("missing", 3), 3);

    std::vector<std::string> names;
    ASSERT_TRUE(db.EnumSystemVars(
        [](const char* name, const char*, void* p) {
            static_cast<std::vector<std::string>*>(p)->push_back(name);
            return 1;
        },
        &names));
    EXPECT_EQ(names, (std::vector<std::string>{"hp_name", "hp_theme", "empty", "hp_count"}));
    CsStrMap vars;
    ASSERT_TRUE(db.ReadAllSystemVars(vars));
    EXPECT_EQ(vars.Size(), 4);
    EXPECT_STREQ(vars.Lookup("hp_name"), "Bob's links");
    EXPECT_STREQ(vars.Lookup("empty"), "");
    EXPECT_TRUE(db.DeleteSystemVar("hp_theme"));
    EXPECT_FALSE(db.IsSystemVarExist("hp_theme"));
}

TEST_F(SqlDbExTest, ReadingAFileWithoutTheTablesCreatesNothing) {
    {
        KvSqlDB plain;
        ASSERT_TRUE(plain.Open(path.c_str()));
        ASSERT_GE(plain.Execute("create table other(a);"), 0);
    }
    KvSqlDBEx db;
    db.SetReadOnly(TRUE);
    ASSERT_TRUE(db.Open(path.c_str()));
    EXPECT_EQ(db.GetId("x"), 0);
    EXPECT_STREQ(db.GetSystemVar("a", "d"), "d");
    EXPECT_FALSE(db.SetSystemVar("a", "b"));
    EXPECT_FALSE(db.IsTableExist("sys_variable"));
    db.SetReadOnly(FALSE);
    EXPECT_TRUE(db.SetSystemVar("a", "b"));  // the first write creates them
    EXPECT_TRUE(db.IsTableExist("sys_variable"));
}
