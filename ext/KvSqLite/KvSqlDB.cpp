#include "ext/KvSqLite/KvSqlDB.h"

#include <sqlite3.h>

#include <cstring>
#include <string>

#include "base/platform/FileIo.h"

void KvSqlSetLogSink(void (*sink)(const char* line));

KvSqlDB::KvSqlDB() : m_conn(std::make_shared<KvSqlConn>()) {}

KvSqlDB::~KvSqlDB() { Close(); }

void KvSqlDB::SetLogSink(void (*sink)(const char* line)) { KvSqlSetLogSink(sink); }

int KvSqlDB::Open(const char* path) {
    Close();
    m_conn = std::make_shared<KvSqlConn>();
    m_conn->verbose = m_bVerbose != 0;
    if (!path || !*path) {
        m_conn->SetError(SQLITE_MISUSE, "no database file named");
        return 0;
    }
    m_strPath = path;
    std::string file = std::strcmp(path, ":memory:") == 0 ? std::string(path) : KvNativePath(path);
    // A read-only database never creates its file.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | (m_bReadOnly ? 0 : SQLITE_OPEN_CREATE);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = path;
        msg += ": ";
        msg += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        m_conn->SetError(rc & 0xFF, msg.c_str());
        sqlite3_close_v2(db);
        return 0;
    }
    m_conn->db = db;
    sqlite3_extended_result_codes(db, 0);
    sqlite3_busy_timeout(db, m_nBusyTimeout);
    if (!ApplyPragmas()) {
        // Keep the reason: Close would not touch it, the handle goes.
        sqlite3_close_v2(db);
        m_conn->db = nullptr;
        return 0;
    }
    if (m_conn->verbose) m_conn->Log("SQL open", m_strPath);
    return 1;
}

bool KvSqlDB::ApplyPragmas() {
    sqlite3* db = m_conn->db;
    // Reading the schema is the first read of the file: a foreign or damaged
    // file fails here ("file is not a database") rather than on later use.
    int rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = m_strPath.str() + ": " + sqlite3_errmsg(db);
        m_conn->SetError(rc & 0xFF, msg.c_str());
        return false;
    }
    // WAL lets readers work while a writer commits. Switching writes the
    // file's header, so a read-only database keeps the mode it has; on a
    // read-only medium the switch fails and the file keeps its mode too.
    if (!m_bReadOnly) sqlite3_exec(db, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (m_bReadOnly) {
        rc = sqlite3_exec(db, "PRAGMA query_only=1;", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            m_conn->SetErrorFromDb(rc);
            return false;
        }
    }
    return true;
}

void KvSqlDB::Close() {
    sqlite3* db = m_conn->db;
    if (!db) return;
    // Queries still alive hold read locks and an open transaction the
    // write lock; release both now, not when the last statement dies.
    for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st)) {
        sqlite3_reset(st);
    }
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK;", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    m_conn->db = nullptr;
    m_conn->txDepth = 0;
    m_conn->sysTablesReady = false;
}

int KvSqlDB::RunStatements(const char* sql) {
    sqlite3* db = m_conn->db;
    sqlite3_int64 before = sqlite3_total_changes64(db);
    const char* tail = sql;
    while (tail && *tail) {
        sqlite3_stmt* st = nullptr;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v2(db, tail, -1, &st, &next);
        if (rc != SQLITE_OK) {
            m_conn->SetErrorFromDb(rc);
            return -1;
        }
        if (st) {
            do {
                rc = sqlite3_step(st);
            } while (rc == SQLITE_ROW);
            sqlite3_finalize(st);
            if (rc != SQLITE_DONE) {
                m_conn->SetErrorFromDb(rc);
                return -1;
            }
        }
        if (!next || next == tail) break;
        tail = next;
    }
    return (int)(sqlite3_total_changes64(db) - before);
}

int KvSqlDB::Execute(const char* sql) {
    if (!IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is not open");
        return -1;
    }
    m_conn->Trace(sql);
    return RunStatements(sql ? sql : "");
}

KvSqlQuery KvSqlDB::ExecQuery(const char* sql) {
    if (!IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is not open");
        return KvSqlQuery();
    }
    m_conn->Trace(sql);
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(m_conn->db, sql ? sql : "", -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        m_conn->SetErrorFromDb(rc);
        return KvSqlQuery();
    }
    if (!st) {
        m_conn->SetError(SQLITE_MISUSE, "no statement to run");
        return KvSqlQuery();
    }
    return KvSqlQuery(m_conn, st, true);
}

int KvSqlDB::ExecScalar(const char* sql, int def) {
    KvSqlQuery q = ExecQuery(sql);
    if (!q.IsValid()) return def;
    return q.GetIntField(0, def);
}

KvSqlStatement KvSqlDB::CompileStatement(const char* sql) {
    if (!IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is not open");
        return KvSqlStatement();
    }
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(m_conn->db, sql ? sql : "", -1, &st, nullptr);
    if (rc != SQLITE_OK) {
        m_conn->SetErrorFromDb(rc);
        return KvSqlStatement();
    }
    if (!st) {
        m_conn->SetError(SQLITE_MISUSE, "no statement to compile");
        return KvSqlStatement();
    }
    return KvSqlStatement(m_conn, st);
}

KvSqlBlob KvSqlDB::OpenBlob(const char* table, const char* column, long long rowId) {
    if (!IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is not open");
        return KvSqlBlob();
    }
    sqlite3_blob* blob = nullptr;
    const int rc = sqlite3_blob_open(m_conn->db, "main", table, column, rowId, 0, &blob);
    if (rc != SQLITE_OK) {
        m_conn->SetErrorFromDb(rc);
        if (blob) sqlite3_blob_close(blob);
        return KvSqlBlob();
    }
    return KvSqlBlob(m_conn, blob);
}

void KvSqlDB::SetBusyTimeout(int ms) {
    m_nBusyTimeout = ms < 0 ? 0 : ms;
    if (IsOpen()) sqlite3_busy_timeout(m_conn->db, m_nBusyTimeout);
}

void KvSqlDB::SetReadOnly(BOOL flag) {
    m_bReadOnly = flag ? TRUE : FALSE;
    if (IsOpen()) {
        sqlite3_exec(m_conn->db, m_bReadOnly ? "PRAGMA query_only=1;" : "PRAGMA query_only=0;", nullptr, nullptr,
                     nullptr);
    }
}

void KvSqlDB::SetVerbose(BOOL flag) {
    m_bVerbose = flag ? TRUE : FALSE;
    m_conn->verbose = m_bVerbose != 0;
}

int KvSqlDB::GetLastError() const { return m_conn->lastError; }

CString KvSqlDB::GetLastErrorMsg() const { return CString(m_conn->lastErrorMsg); }

long long KvSqlDB::GetLastInsertRowId() const { return IsOpen() ? sqlite3_last_insert_rowid(m_conn->db) : 0; }

BOOL KvSqlDB::IsTableExist(const char* table) {
    KvSqlStatement st = CompileStatement("SELECT 1 FROM sqlite_master WHERE type='table' AND name=? COLLATE NOCASE;");
    if (!st.IsValid() || !st.Bind(1, table)) return FALSE;
    KvSqlQuery q = st.ExecQuery();
    return q.IsValid() && !q.IsEOF();
}
