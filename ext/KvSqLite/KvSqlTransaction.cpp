// Transactions of KvSqlDB: the outermost level is a real transaction, inner
// levels are savepoints named after their depth.
#include <sqlite3.h>

#include <string>

#include "ext/KvSqLite/KvSqlDB.h"

namespace {

int ExecRaw(KvSqlConn& conn, const char* sql) {
    conn.Trace(sql);
    int rc = sqlite3_exec(conn.db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) conn.SetErrorFromDb(rc);
    return rc;
}

void SavepointSql(char* out, int size, const char* verb, int depth) {
    sqlite3_snprintf(size, out, "%s kv_tx_%d;", verb, depth);
}

}  // namespace

int KvSqlDB::BeginTransaction() {
    if (!IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is not open");
        return 0;
    }
    KvSqlConn& conn = *m_conn;
    bool outer = conn.txDepth == 0;
    bool engineIdle = sqlite3_get_autocommit(conn.db) != 0;
    int rc;
    if (outer && engineIdle) {
        // Take the write lock now (waiting up to the busy time-out) so that
        // no statement fails half-way for want of it. A read-only database
        // only reads, so a deferred transaction suits it.
        rc = ExecRaw(conn, m_bReadOnly ? "BEGIN DEFERRED;" : "BEGIN IMMEDIATE;");
    } else {
        char sql[64];
        SavepointSql(sql, sizeof sql, "SAVEPOINT", conn.txDepth + 1);
        rc = ExecRaw(conn, sql);
    }
    if (rc != SQLITE_OK) return 0;
    if (outer) conn.txOuterIsSavepoint = !engineIdle;
    conn.txDepth++;
    return 1;
}

int KvSqlDB::CommitTransaction() { return EndTransaction(true); }

int KvSqlDB::RollbackTransaction() { return EndTransaction(false); }

int KvSqlDB::EndTransaction(bool commit) {
    KvSqlConn& conn = *m_conn;
    if (conn.txDepth <= 0) {
        if (commit) conn.SetError(SQLITE_MISUSE, "no transaction is open");
        return commit ? 0 : 1;
    }
    if (!conn.db || sqlite3_get_autocommit(conn.db)) {
        // The engine rolled everything back after an error (or the file was
        // closed): nothing of this transaction remains.
        conn.txDepth = 0;
        if (commit) conn.SetError(SQLITE_ABORT, "the transaction was rolled back");
        return commit ? 0 : 1;
    }
    if (conn.txDepth > 1 || conn.txOuterIsSavepoint) {
        char sql[96];
        int ok = 1;
        if (commit) {
            SavepointSql(sql, sizeof sql, "RELEASE", conn.txDepth);
            ok = ExecRaw(conn, sql) == SQLITE_OK;
        }
        if (!commit || !ok) {
            SavepointSql(sql, sizeof sql, "ROLLBACK TO", conn.txDepth);
            sqlite3_exec(conn.db, sql, nullptr, nullptr, nullptr);
            SavepointSql(sql, sizeof sql, "RELEASE", conn.txDepth);
            sqlite3_exec(conn.db, sql, nullptr, nullptr, nullptr);
        }
        conn.txDepth--;
        return ok;
    }
    conn.txDepth = 0;
    if (!commit) {
        ExecRaw(conn, "ROLLBACK;");
        return 1;
    }
    if (ExecRaw(conn, "COMMIT;") == SQLITE_OK) return 1;
    // Keep the failure's text; the rollback only cleans up.
    int code = conn.lastError;
    std::string msg = conn.lastErrorMsg;
    sqlite3_exec(conn.db, "ROLLBACK;", nullptr, nullptr, nullptr);
    conn.SetError(code, msg.c_str());
    return 0;
}
