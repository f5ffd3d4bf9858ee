// KvSqlDB: one SQL database file and the one connection open on it.
//
// The engine underneath is SQLite. Every file opened writable is put in
// write-ahead-log mode, with synchronous=NORMAL (a crash may lose the last
// commits but never corrupts the file) and a busy time-out (5 s unless
// set), so a reader and a writer in other connections or processes do not
// fail each other at once.
//
// Threads: a KvSqlDB, and every query and statement made from it, is used by
// one thread at a time; the owner (a cache store, a web object, a
// repository) serialises all use under its own lock. The connection is
// opened with SQLITE_OPEN_FULLMUTEX so that the engine's own structures stay
// sound even if an owner slips, but this class keeps no lock of its own:
// its error state and transaction depth rely on the owner's lock.
//
// Errors are values: Open answers 0, Execute -1, ExecQuery an invalid query,
// CompileStatement an invalid statement. The code and text of the last
// failure stay available (GetLastError, GetLastErrorMsg) until the next
// failure or a successful Open. Codes are the engine's primary result codes:
// 19 (KV_SQL_CONSTRAINT) means a unique or primary key refused the row, which
// callers inserting a row that may already exist treat as success.
//
// SQL text: values from outside are never pasted into statements. Format
// them with KvSqlBuffer ("%q" inside '...', "%Q" for a quoted literal or
// NULL) or bind them to "?" placeholders of a KvSqlStatement.
//
// Several statements that must land together run in a transaction
// (BeginTransaction/CommitTransaction, or the KvSqlTransaction guard).
#pragma once

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "ext/KvSqLite/KvSqlBlob.h"
#include "ext/KvSqLite/KvSqlConn.h"
#include "ext/KvSqLite/KvSqlQuery.h"
#include "ext/KvSqLite/KvSqlStatement.h"

// Primary result codes callers test.
constexpr int KV_SQL_OK = 0;
constexpr int KV_SQL_ERROR = 1;
constexpr int KV_SQL_BUSY = 5;
constexpr int KV_SQL_READONLY = 8;
constexpr int KV_SQL_CORRUPT = 11;
constexpr int KV_SQL_CONSTRAINT = 19;
constexpr int KV_SQL_MISUSE = 21;
constexpr int KV_SQL_NOTADB = 26;

constexpr int KV_SQL_DEFAULT_BUSY_TIMEOUT = 5000;

class KvSqlDB {
public:
    KvSqlDB();
    virtual ~KvSqlDB();
    KvSqlDB(const KvSqlDB&) = delete;
    KvSqlDB& operator=(const KvSqlDB&) = delete;

    // Opens the file, creating an empty database when it does not exist
    // (callers test for the file first and create their tables after).
    // Closes what was open before. "\" in the path counts as "/"; the name
    // ":memory:" opens a private in-memory database. Returns 0, with the
    // error text set, when the file cannot be opened or is not a database
    // (a damaged or foreign file is refused here, never crashes later).
    [[nodiscard]] int Open(const char* path);
    // Closes the file; an open transaction is rolled back. Queries and
    // statements still alive fail from now on. Safe to call when closed.
    void Close();
    BOOL IsOpen() const { return m_conn && m_conn->IsOpen(); }
    const CString& GetPath() const { return m_strPath; }

    // Runs one or more ';'-separated statements: the rows they changed, or
    // -1 on failure (statements before the failing one stay applied unless
    // a transaction is open and rolled back).
    [[nodiscard]] int Execute(const char* sql);
    // Runs the first statement of `sql` and positions on its first row.
    KvSqlQuery ExecQuery(const char* sql);
    // The first column of the first row as int; `def` when there is no row,
    // the value is NULL or the query fails.
    int ExecScalar(const char* sql, int def = 0);
    // Compiles a statement with "?" placeholders; invalid on failure.
    KvSqlStatement CompileStatement(const char* sql);
    // The blob of one row (by row id) to read in pieces; not open on failure.
    KvSqlBlob OpenBlob(const char* table, const char* column, long long rowId);

    // How long a call waits for a file locked by another connection.
    void SetBusyTimeout(int ms);
    int GetBusyTimeout() const { return m_nBusyTimeout; }
    // Read-only refuses every write (KV_SQL_READONLY) from now on; it may be
    // set before or after Open and holds across re-opening.
    void SetReadOnly(BOOL flag);
    BOOL IsReadOnly() const { return m_bReadOnly; }
    // Verbose writes every executed statement and every failure to the log
    // sink.
    void SetVerbose(BOOL flag);
    BOOL IsVerbose() const { return m_bVerbose; }

    int GetLastError() const;
    CString GetLastErrorMsg() const;
    BOOL IsConstraintError() const { return GetLastError() == KV_SQL_CONSTRAINT; }

    // Row id of the last successful insert on this connection.
    long long GetLastInsertRowId() const;
    BOOL IsTableExist(const char* table);

    // Transactions nest: the outermost Begin starts a write transaction at
    // once (BEGIN IMMEDIATE, so it waits for other writers up front instead
    // of failing half-way); inner ones are savepoints. Each Begin that
    // succeeded must be matched by exactly one Commit or Rollback. A failed
    // Commit rolls the outermost transaction back and answers 0. If the
    // engine already rolled the transaction back after an error, Commit
    // answers 0 and Rollback 1.
    int BeginTransaction();
    int CommitTransaction();
    int RollbackTransaction();
    int GetTransactionDepth() const { return m_conn ? m_conn->txDepth : 0; }

    // Where verbose lines go (one call per line, no line end). Null restores
    // stderr. Process-wide; set it once at start-up.
    static void SetLogSink(void (*sink)(const char* line));

protected:
    // Never null: after a failed Open it holds no handle, only the error.
    KvSqlConnPtr m_conn;

private:
    int RunStatements(const char* sql);
    bool ApplyPragmas();
    int EndTransaction(bool commit);

    CString m_strPath;
    int m_nBusyTimeout = KV_SQL_DEFAULT_BUSY_TIMEOUT;
    BOOL m_bReadOnly = FALSE;
    BOOL m_bVerbose = FALSE;
};

// Scoped transaction: begins in the constructor, rolls back in the
// destructor unless Commit succeeded.
//
//     KvSqlTransaction tx(db);
//     if (!tx.IsActive()) return 0;
//     if (db.Execute(a) < 0 || db.Execute(b) < 0) return 0;   // rolled back
//     return tx.Commit();
class KvSqlTransaction {
public:
    explicit KvSqlTransaction(KvSqlDB& db) : m_db(db), m_bActive(db.BeginTransaction() != 0) {}
    ~KvSqlTransaction() { Rollback(); }
    KvSqlTransaction(const KvSqlTransaction&) = delete;
    KvSqlTransaction& operator=(const KvSqlTransaction&) = delete;

    BOOL IsActive() const { return m_bActive; }
    // 1 when everything since the constructor is kept.
    int Commit() {
        if (!m_bActive) return 0;
        m_bActive = false;
        return m_db.CommitTransaction();
    }
    void Rollback() {
        if (!m_bActive) return;
        m_bActive = false;
        m_db.RollbackTransaction();
    }

private:
    KvSqlDB& m_db;
    bool m_bActive;
};
