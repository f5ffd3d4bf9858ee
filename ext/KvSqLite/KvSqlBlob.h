// KvSqlBlob: a blob value read in pieces where it lies in the file, so a
// large value never has to be held whole in memory.
//
// Made by KvSqlDB::OpenBlob and returned by value (movable, not copyable).
// While it is open the connection keeps the read snapshot it was opened in:
// every piece comes from the same version of the row. A change to the row
// made through the same connection ends the handle (Read fails).
//
// Threads: as KvSqlQuery, it belongs to whoever uses its database; it must
// be closed (or destroyed) before the database is.
#pragma once

#include <cstddef>

#include "ext/KvSqLite/KvSqlConn.h"

struct sqlite3_blob;

class KvSqlBlob {
public:
    KvSqlBlob() = default;
    KvSqlBlob(KvSqlConnPtr conn, sqlite3_blob* blob);
    KvSqlBlob(KvSqlBlob&& other) noexcept;
    KvSqlBlob& operator=(KvSqlBlob&& other) noexcept;
    KvSqlBlob(const KvSqlBlob&) = delete;
    KvSqlBlob& operator=(const KvSqlBlob&) = delete;
    ~KvSqlBlob();

    bool IsOpen() const { return m_blob != nullptr; }
    // The value's length in bytes (0 when not open).
    size_t Size() const;
    // `length` bytes from `offset` into out; false past the end or when the
    // engine fails (the error is left in the database).
    bool Read(size_t offset, void* out, size_t length);
    void Close();

private:
    KvSqlConnPtr m_conn;
    sqlite3_blob* m_blob = nullptr;
};
