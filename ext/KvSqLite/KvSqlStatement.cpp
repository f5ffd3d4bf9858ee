#include "ext/KvSqLite/KvSqlStatement.h"

#include <sqlite3.h>

#include <utility>

KvSqlStatement::KvSqlStatement(KvSqlConnPtr conn, sqlite3_stmt* stmt)
    : m_conn(std::move(conn)), m_stmt(stmt) {}

KvSqlStatement::KvSqlStatement(KvSqlStatement&& other) noexcept
    : m_conn(std::move(other.m_conn)), m_stmt(std::exchange(other.m_stmt, nullptr)) {}

KvSqlStatement& KvSqlStatement::operator=(KvSqlStatement&& other) noexcept {
    if (this != &other) {
        Finalize();
        m_conn = std::move(other.m_conn);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

KvSqlStatement::~KvSqlStatement() { Finalize(); }

void KvSqlStatement::Finalize() {
    if (m_stmt) sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_conn.reset();
}

int KvSqlStatement::GetParamCount() const { return m_stmt ? sqlite3_bind_parameter_count(m_stmt) : 0; }

bool KvSqlStatement::Usable() {
    if (!m_stmt) return false;
    if (!m_conn->IsOpen()) {
        m_conn->SetError(SQLITE_MISUSE, "database is closed");
        return false;
    }
    return true;
}

bool KvSqlStatement::CheckBind(int index, int rc) {
    if (rc == SQLITE_OK) return true;
    if (rc == SQLITE_RANGE) {
        char msg[64];
        sqlite3_snprintf(sizeof msg, msg, "bind index %d out of range", index);
        m_conn->SetError(rc, msg);
    } else {
        m_conn->SetErrorFromDb(rc);
    }
    return false;
}

BOOL KvSqlStatement::Bind(int index, int value) {
    return Usable() && CheckBind(index, sqlite3_bind_int(m_stmt, index, value));
}

BOOL KvSqlStatement::BindInt64(int index, long long value) {
    return Usable() && CheckBind(index, sqlite3_bind_int64(m_stmt, index, value));
}

BOOL KvSqlStatement::Bind(int index, double value) {
    return Usable() && CheckBind(index, sqlite3_bind_double(m_stmt, index, value));
}

BOOL KvSqlStatement::Bind(int index, const char* text) {
    return Usable() && CheckBind(index, sqlite3_bind_text(m_stmt, index, text ? text : "", -1, SQLITE_TRANSIENT));
}

BOOL KvSqlStatement::BindBlob(int index, const unsigned char* bytes, int length, bool copy) {
    if (!Usable()) return FALSE;
    if (length < 0 || (!bytes && length > 0)) {
        m_conn->SetError(SQLITE_MISUSE, "invalid blob length");
        return FALSE;
    }
    // A zero-length blob is still a blob (not NULL): sqlite needs a pointer.
    static const unsigned char kEmpty = 0;
    return CheckBind(index, sqlite3_bind_blob(m_stmt, index, bytes ? bytes : &kEmpty, length,
                                              copy ? SQLITE_TRANSIENT : SQLITE_STATIC));
}

BOOL KvSqlStatement::Bind(int index, const unsigned char* bytes, int length) {
    return BindBlob(index, bytes, length, true);
}

BOOL KvSqlStatement::BindBorrowed(int index, const unsigned char* bytes, int length) {
    return BindBlob(index, bytes, length, false);
}

BOOL KvSqlStatement::Bind(int index, const char* bytes, int length) {
    return Bind(index, reinterpret_cast<const unsigned char*>(bytes), length);
}

BOOL KvSqlStatement::BindNull(int index) {
    return Usable() && CheckBind(index, sqlite3_bind_null(m_stmt, index));
}

int KvSqlStatement::Execute() {
    if (!Usable()) return -1;
    m_conn->Trace(sqlite3_sql(m_stmt));
    sqlite3* db = m_conn->db;
    sqlite3_int64 before = sqlite3_total_changes64(db);
    int rc;
    do {
        rc = sqlite3_step(m_stmt);
    } while (rc == SQLITE_ROW);
    if (rc != SQLITE_DONE) {
        // sqlite3_reset gives the precise code of the failed step.
        m_conn->SetErrorFromDb(sqlite3_reset(m_stmt));
        return -1;
    }
    sqlite3_reset(m_stmt);
    return (int)(sqlite3_total_changes64(db) - before);
}

KvSqlQuery KvSqlStatement::ExecQuery() {
    if (!Usable()) return KvSqlQuery();
    m_conn->Trace(sqlite3_sql(m_stmt));
    sqlite3_reset(m_stmt);
    return KvSqlQuery(m_conn, m_stmt, false);
}

BOOL KvSqlStatement::Reset() {
    if (!Usable()) return FALSE;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    return TRUE;
}
