// KvSqlDB, KvSqlQuery, KvSqlStatement and transactions against real files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "ext/KvSqLite/KvSqLite.h"

namespace fs = std::filesystem;

namespace {

class SqlDbTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("kvsql_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

void CreateTable(KvSqlDB& db) {
    ASSERT_GE(db.Execute("create table t(id integer primary key, name text collate nocase, data blob);"), 0)
        << db.GetLastErrorMsg();
}

}  // namespace

TEST_F(SqlDbTest, OpenCreatesFileAndRowsRoundTrip) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    EXPECT_TRUE(fs::exists(File("a.db")));
    CreateTable(db);
    EXPECT_EQ(db.Execute("insert into t (id, name) values (1, 'One'); insert into t (id, name) values (2, 'Two');"), 2);
    EXPECT_EQ(db.Execute("update t set name='x' where id>5;"), 0);

    KvSqlQuery q = db.ExecQuery("select id, name, data from t where name='ONE';");
    ASSERT_TRUE(q.IsValid());
    ASSERT_FALSE(q.IsEOF());
    EXPECT_EQ(q.GetIntField(0), 1);
    EXPECT_STREQ(q.GetStringField(1), "One");
    EXPECT_STREQ(q.GetStringField(2, "none"), "none");  // NULL gives the default
    EXPECT_EQ(q.GetIntField(7, -3), -3);                // out of range too
    EXPECT_FALSE(q.MoveNext());
    EXPECT_TRUE(q.IsEOF());
    EXPECT_EQ(q.GetIntField(0, 42), 42);  // no row: default

    EXPECT_EQ(db.ExecScalar("select count(*) from t;"), 2);
    KvSqlQuery journal = db.ExecQuery("PRAGMA journal_mode;");
    EXPECT_STREQ(journal.GetStringField(0), "wal");
}

TEST_F(SqlDbTest, FailuresAreMinusOneWithErrorText) {
    KvSqlDB db;
    EXPECT_EQ(db.Execute("select 1;"), -1);  // not open
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    CreateTable(db);
    EXPECT_EQ(db.Execute("insert into nowhere values (1);"), -1);
    EXPECT_NE(std::string(db.GetLastErrorMsg()).find("nowhere"), std::string::npos);

    ASSERT_EQ(db.Execute("insert into t (id, name) values (1, 'a');"), 1);
    EXPECT_EQ(db.Execute("insert into t (id, name) values (1, 'b');"), -1);
    EXPECT_EQ(db.GetLastError(), KV_SQL_CONSTRAINT);
    EXPECT_TRUE(db.IsConstraintError());

    EXPECT_FALSE(db.ExecQuery("select nonsense from t;").IsValid());
    EXPECT_FALSE(db.CompileStatement("insert into t values (?,").IsValid());
    EXPECT_FALSE(db.ExecQuery("   ").IsValid());
    EXPECT_EQ(db.Execute(""), 0);
}

TEST_F(SqlDbTest, ForeignOrDamagedFileIsRefusedAtOpen) {
    std::string path = File("garbage.db");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 4096; i++) out.put((char)(i * 7 + 3));
    }
    KvSqlDB db;
    EXPECT_FALSE(db.Open(path.c_str()));
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.GetLastError(), KV_SQL_NOTADB);
    EXPECT_NE(std::string(db.GetLastErrorMsg()).find("garbage.db"), std::string::npos);
    EXPECT_EQ(db.Execute("create table x(a);"), -1);
    EXPECT_EQ(fs::file_size(path), 4096u);  // left untouched

    // A real database cut short keeps its header but loses pages.
    std::string cut = File("cut.db");
    {
        KvSqlDB full;
        ASSERT_TRUE(full.Open(cut.c_str()));
        CreateTable(full);
        KvSqlStatement st = full.CompileStatement("insert into t (id, name) values (?, ?);");
        std::string name(500, 'n');
        for (int i = 0; i < 200; i++) {
            st.Bind(1, i);
            st.Bind(2, name.c_str());
            ASSERT_EQ(st.Execute(), 1);
        }
        ASSERT_GE(full.Execute("PRAGMA wal_checkpoint(TRUNCATE);"), 0);
    }
    fs::resize_file(cut, 4096 + 100);
    KvSqlDB damaged;
    if (damaged.Open(cut.c_str())) {
        // Opening may pass; reading the lost pages must fail, not crash.
        KvSqlQuery q = damaged.ExecQuery("select count(*), sum(length(name)) from t;");
        EXPECT_FALSE(q.IsValid());
        EXPECT_NE(damaged.GetLastError(), 0);
    }
}

TEST_F(SqlDbTest, ReadOnlyRefusesWritesAndNeverCreatesTheFile) {
    KvSqlDB ro;
    ro.SetReadOnly(TRUE);
    EXPECT_FALSE(ro.Open(File("missing.db").c_str()));
    EXPECT_FALSE(fs::exists(File("missing.db")));

    KvSqlDB db;
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    CreateTable(db);
    ASSERT_EQ(db.Execute("insert into t (id, name) values (1, 'a');"), 1);
    db.SetReadOnly(TRUE);
    EXPECT_EQ(db.Execute("insert into t (id, name) values (2, 'b');"), -1);
    EXPECT_EQ(db.GetLastError(), KV_SQL_READONLY);
    KvSqlStatement st = db.CompileStatement("delete from t;");
    EXPECT_EQ(st.Execute(), -1);
    EXPECT_EQ(db.ExecScalar("select count(*) from t;"), 1);
    db.SetReadOnly(FALSE);
    EXPECT_EQ(st.Execute(), 1);
}

TEST_F(SqlDbTest, StatementBindsQuotesAndZeroBytesVerbatim) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    CreateTable(db);
    KvSqlStatement st = db.CompileStatement("insert into t (id, name, data) values (?, ?, ?);");
    ASSERT_TRUE(st.IsValid());
    EXPECT_EQ(st.GetParamCount(), 3);
    const char hostile[] = "x'); drop table t; --";
    const unsigned char bytes[] = {0, 1, 2, 0, 255, 0};
    ASSERT_TRUE(st.Bind(1, 7u));  // unsigned ids bind too
    ASSERT_TRUE(st.Bind(2, hostile));
    ASSERT_TRUE(st.Bind(3, bytes, (int)sizeof bytes));
    EXPECT_EQ(st.Execute(), 1);
    EXPECT_FALSE(st.Bind(4, 1));  // out of range is an error, not a crash
    // Execute resets, so the same statement runs again with new values.
    st.Bind(1, 8);
    st.Bind(2, (const char*)nullptr);
    st.Bind(3, bytes, 0);
    EXPECT_EQ(st.Execute(), 1);

    KvSqlQuery q = db.ExecQuery("select name, data from t order by id;");
    EXPECT_STREQ(q.GetStringField(0), hostile);
    int length = -1;
    const unsigned char* blob = q.GetBlobField(1, length);
    ASSERT_EQ(length, (int)sizeof bytes);
    EXPECT_EQ(0, memcmp(blob, bytes, sizeof bytes));
    ASSERT_TRUE(q.MoveNext());
    EXPECT_STREQ(q.GetStringField(0, "dflt"), "");  // null text binds the empty text
    EXPECT_FALSE(q.IsFieldNull(1));                 // an empty blob is not NULL
}

TEST_F(SqlDbTest, StatementQueryAndObjectsOutlivingClose) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    CreateTable(db);
    ASSERT_EQ(db.Execute("insert into t (id, name) values (1, 'a'); insert into t (id, name) values (2, 'b');"), 2);
    KvSqlStatement sel = db.CompileStatement("select name from t where id>=? order by id;");
    sel.Bind(1, 2);
    {
        KvSqlQuery q = sel.ExecQuery();
        ASSERT_TRUE(q.IsValid());
        EXPECT_STREQ(q.GetStringField(0), "b");
    }
    sel.Bind(1, 1);
    KvSqlQuery q = sel.ExecQuery();
    EXPECT_STREQ(q.GetStringField(0), "a");

    KvSqlStatement ins = db.CompileStatement("insert into t (id, name) values (?, 'c');");
    db.Close();
    EXPECT_FALSE(q.MoveNext());
    ins.Bind(1, 3);
    EXPECT_EQ(ins.Execute(), -1);
    EXPECT_FALSE(sel.Reset());
    // Re-opening works while the old objects are still alive.
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    EXPECT_EQ(db.ExecScalar("select count(*) from t;"), 2);
}

TEST_F(SqlDbTest, TransactionGuardRollsBackUnlessCommitted) {
    KvSqlDB db;
    ASSERT_TRUE(db.Open(File("a.db").c_str()));
    CreateTable(db);
    {
        KvSqlTransaction tx(db);
        ASSERT_TRUE(tx.IsActive());
        ASSERT_EQ(db.Execute("insert into t (id) values (1);"), 1);
        ASSERT_EQ(db.Execute("insert into t (id) values (2);"), 1);
    }
    EXPECT_EQ(db.ExecScalar("select count(*) from t;"), 0);
    {
        KvSqlTransaction tx(db);
        ASSERT_EQ(db.Execute("insert into t (id) values (1);"), 1);
        {
            KvSqlTransaction inner(db);
            EXPECT_EQ(db.GetTransactionDepth(), 2);
            ASSERT_EQ(db.Execute("insert into t (id) values (2);"), 1);
        }  // only the inner part is undone
        EXPECT_EQ(tx.Commit(), 1);
    }
    EXPECT_EQ(db.GetTransactionDepth(), 0);
    EXPECT_EQ(db.ExecScalar("select group_concat(id) from t;"), 1);
    EXPECT_EQ(db.CommitTransaction(), 0);  // nothing open
}

TEST_F(SqlDbTest, BusyTimeoutBoundsTheWaitForAnotherWriter) {
    KvSqlDB a, b;
    ASSERT_TRUE(a.Open(File("a.db").c_str()));
    CreateTable(a);
    ASSERT_TRUE(b.Open(File("a.db").c_str()));
    b.SetBusyTimeout(150);
    ASSERT_TRUE(a.BeginTransaction());
    ASSERT_EQ(a.Execute("insert into t (id) values (1);"), 1);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.Execute("insert into t (id) values (2);"), -1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(b.GetLastError(), KV_SQL_BUSY);
    EXPECT_GE(waited, std::chrono::milliseconds(100));  // a time-out never ends early; BUSY shows it ended
    // WAL: the reader still sees the last committed state meanwhile.
    EXPECT_EQ(b.ExecScalar("select count(*) from t;", -1), 0);

    ASSERT_TRUE(a.CommitTransaction());
    EXPECT_EQ(b.Execute("insert into t (id) values (2);"), 1);
}
