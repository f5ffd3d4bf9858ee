#include "ext/KvSqLite/KvSqlBlob.h"

#include <sqlite3.h>

#include <climits>
#include <utility>

KvSqlBlob::KvSqlBlob(KvSqlConnPtr conn, sqlite3_blob* blob) : m_conn(std::move(conn)), m_blob(blob) {}

KvSqlBlob::KvSqlBlob(KvSqlBlob&& other) noexcept : m_conn(std::move(other.m_conn)), m_blob(other.m_blob) {
    other.m_blob = nullptr;
}

KvSqlBlob& KvSqlBlob::operator=(KvSqlBlob&& other) noexcept {
    if (this != &other) {
        Close();
        m_conn = std::move(other.m_conn);
        m_blob = other.m_blob;
        other.m_blob = nullptr;
    }
    return *this;
}

KvSqlBlob::~KvSqlBlob() { Close(); }

size_t KvSqlBlob::Size() const { return m_blob ? (size_t)sqlite3_blob_bytes(m_blob) : 0; }

bool KvSqlBlob::Read(size_t offset, void* out, size_t length) {
    if (!m_blob || !m_conn || !m_conn->IsOpen()) return false;
    if (length > (size_t)INT_MAX || offset > (size_t)INT_MAX || offset + length > Size()) return false;
    const int rc = sqlite3_blob_read(m_blob, out, (int)length, (int)offset);
    if (rc != SQLITE_OK) m_conn->SetErrorFromDb(rc);
    return rc == SQLITE_OK;
}

void KvSqlBlob::Close() {
    // Safe after the database's Close too: the engine frees the closed
    // connection when its last handle goes.
    if (m_blob) sqlite3_blob_close(m_blob);
    m_blob = nullptr;
    m_conn.reset();
}
