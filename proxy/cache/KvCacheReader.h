// KvCacheReader: one pair of read-only connections on a KvCacheDB's files,
// with the statements of the read path compiled once. Internal to the
// object store: a reader belongs to the thread that borrowed it from the
// store's pool until it is given back.
#pragma once

#include <cstdint>
#include <string>

#include "base/containers/KvGenBuffer.h"
#include "base/platform/CString.h"
#include "ext/KvSqLite/KvSqLite.h"

class KvHttpResponse;

struct KvCacheObjectRow {
    int objId = 0;
    CString path;
    CString modified;
    CString expired;
    CString stored;  // empty for an object of an earlier version
};

class KvCacheReader {
public:
    // Opens both files read-only; `checked`: the tables hold storing times
    // and checksums. 1 on success.
    int Open(const char* indexPath, const char* contentPath, int busyTimeout, bool verbose, bool checked);

    // 1 found, 0 absent, -1 on a database failure. The object's path is
    // returned as stored (the index compares paths without letter case).
    int FindByHost(const char* host, const char* path, KvCacheObjectRow& row);
    int FindByHostId(int hostId, const char* path, KvCacheObjectRow& row);
    int FindById(int objId, KvCacheObjectRow& row);
    // The stored answer, decoded from its blob form straight into out
    // (KvCacheRestoreEncoded): 1 read, 0 absent or not a valid stored
    // answer (out reset), -1 on a database failure, kDamaged when the
    // stored form does not match its checksum (out reset).
    // A stored form of `streamFrom` bytes or more is not read: kStream
    // tells the caller to stream it (KvCacheBodyStream).
    static constexpr int kDamaged = -2;
    static constexpr int kStream = 2;
    int ReadContent(int objId, KvHttpResponse& out, size_t streamFrom = SIZE_MAX);

    // The connection whose failure was last seen, for the error report.
    const KvSqlDB& GetFailedDb() const { return *m_pFailed; }

private:
    int ReadRow(KvSqlStatement& st, KvCacheObjectRow& row);

    KvSqlDB m_index;
    KvSqlDB m_content;
    KvSqlStatement m_stByHost;
    KvSqlStatement m_stByHostId;
    KvSqlStatement m_stById;
    KvSqlStatement m_stContent;
    const KvSqlDB* m_pFailed = &m_index;
};
