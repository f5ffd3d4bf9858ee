#include "ext/KvSqLite/KvSqlQuery.h"

#include <sqlite3.h>

#include <utility>

KvSqlQuery::KvSqlQuery(KvSqlConnPtr conn, sqlite3_stmt* stmt, bool owned)
    : m_conn(std::move(conn)), m_stmt(stmt), m_bOwned(owned) {
    m_bEOF = false;
    Step();
}

KvSqlQuery::KvSqlQuery(KvSqlQuery&& other) noexcept
    : m_conn(std::move(other.m_conn)),
      m_stmt(std::exchange(other.m_stmt, nullptr)),
      m_bOwned(other.m_bOwned),
      m_bEOF(std::exchange(other.m_bEOF, true)),
      m_bError(std::exchange(other.m_bError, false)) {}

KvSqlQuery& KvSqlQuery::operator=(KvSqlQuery&& other) noexcept {
    if (this != &other) {
        Finalize();
        m_conn = std::move(other.m_conn);
        m_stmt = std::exchange(other.m_stmt, nullptr);
        m_bOwned = other.m_bOwned;
        m_bEOF = std::exchange(other.m_bEOF, true);
        m_bError = std::exchange(other.m_bError, false);
    }
    return *this;
}

KvSqlQuery::~KvSqlQuery() { Finalize(); }

void KvSqlQuery::Finalize() {
    if (m_stmt) {
        if (m_bOwned) {
            sqlite3_finalize(m_stmt);
        } else if (m_conn && m_conn->IsOpen()) {
            sqlite3_reset(m_stmt);
        }
        m_stmt = nullptr;
    }
    m_conn.reset();
    m_bEOF = true;
}

void KvSqlQuery::Step() {
    if (!m_stmt || m_bEOF) return;
    if (!m_conn || !m_conn->IsOpen()) {
        if (m_conn) m_conn->SetError(SQLITE_MISUSE, "database is closed");
        m_bEOF = true;
        m_bError = true;
        return;
    }
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return;
    m_bEOF = true;
    if (rc != SQLITE_DONE) {
        m_bError = true;
        m_conn->SetErrorFromDb(rc);
    }
}

BOOL KvSqlQuery::MoveNext() {
    Step();
    return !m_bEOF;
}

bool KvSqlQuery::HasRow(int col) const {
    return m_stmt && !m_bEOF && col >= 0 && col < sqlite3_column_count(m_stmt);
}

int KvSqlQuery::GetNumFields() const { return m_stmt ? sqlite3_column_count(m_stmt) : 0; }

const char* KvSqlQuery::GetFieldName(int col) const {
    if (!m_stmt || col < 0 || col >= sqlite3_column_count(m_stmt)) return "";
    const char* name = sqlite3_column_name(m_stmt, col);
    return name ? name : "";
}

BOOL KvSqlQuery::IsFieldNull(int col) const {
    return !HasRow(col) || sqlite3_column_type(m_stmt, col) == SQLITE_NULL;
}

int KvSqlQuery::GetIntField(int col, int def) const {
    if (IsFieldNull(col)) return def;
    return sqlite3_column_int(m_stmt, col);
}

long long KvSqlQuery::GetInt64Field(int col, long long def) const {
    if (IsFieldNull(col)) return def;
    return sqlite3_column_int64(m_stmt, col);
}

double KvSqlQuery::GetFloatField(int col, double def) const {
    if (IsFieldNull(col)) return def;
    return sqlite3_column_double(m_stmt, col);
}

const char* KvSqlQuery::GetTextField(int col, const char* def) const {
    if (IsFieldNull(col)) return def ? def : "";
    const unsigned char* text = sqlite3_column_text(m_stmt, col);
    return text ? reinterpret_cast<const char*>(text) : (def ? def : "");
}

CString KvSqlQuery::GetStringField(int col, const char* def) const {
    if (IsFieldNull(col)) return CString(def);
    const unsigned char* text = sqlite3_column_text(m_stmt, col);
    if (!text) return CString(def);
    // The value may hold zero bytes (a blob read as text): keep them all.
    int length = sqlite3_column_bytes(m_stmt, col);
    return CString(std::string(reinterpret_cast<const char*>(text), (size_t)length));
}

const unsigned char* KvSqlQuery::GetBlobField(int col, int& length) const {
    length = 0;
    if (IsFieldNull(col)) return nullptr;
    const void* blob = sqlite3_column_blob(m_stmt, col);
    length = sqlite3_column_bytes(m_stmt, col);
    if (!blob) length = 0;
    return static_cast<const unsigned char*>(blob);
}
