#include "proxy/cache/KvCacheReader.h"

#include <cstdint>
#include <string>

#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"

int KvCacheReader::Open(const char* indexPath, const char* contentPath, int busyTimeout, bool verbose, bool checked) {
    for (KvSqlDB* db : {&m_index, &m_content}) {
        db->SetReadOnly(TRUE);
        db->SetBusyTimeout(busyTimeout);
        db->SetVerbose(verbose);
    }
    m_pFailed = &m_index;
    if (!m_index.Open(indexPath)) return 0;
    const std::string columns = checked ? "o.obj_id, o.obj_path, o.obj_modified, o.obj_expired, o.obj_stored"
                                        : "o.obj_id, o.obj_path, o.obj_modified, o.obj_expired, ''";
    m_stByHost = m_index.CompileStatement(("select " + columns +
                                           " from cache_host h, cache_object o "
                                           "where h.host_name=? and o.host_id=h.host_id and o.obj_path=?;").c_str());
    m_stByHostId =
        m_index.CompileStatement(("select " + columns + " from cache_object o where o.host_id=? and o.obj_path=?;").c_str());
    m_stById = m_index.CompileStatement(("select " + columns + " from cache_object o where o.obj_id=?;").c_str());
    if (!m_stByHost.IsValid() || !m_stByHostId.IsValid() || !m_stById.IsValid()) return 0;
    m_pFailed = &m_content;
    if (!m_content.Open(contentPath)) return 0;
    // The length of a blob is known without reading it: a stored form long
    // enough to be streamed is not loaded here. Its checksum is not read
    // either: it lies behind the blob in the row, and reaching it walks the
    // blob's whole chain of pages.
    m_stContent = m_content.CompileStatement(
        checked ? "select case when length(obj_data) < ?2 then obj_data end, "
                  "case when length(obj_data) < ?2 then obj_crc end, length(obj_data) "
                  "from cache_content where obj_id=?1;"
                : "select case when length(obj_data) < ?2 then obj_data end, null, length(obj_data) "
                  "from cache_content where obj_id=?1;");
    return m_stContent.IsValid() ? 1 : 0;
}

int KvCacheReader::ReadRow(KvSqlStatement& st, KvCacheObjectRow& row) {
    m_pFailed = &m_index;
    KvSqlQuery q = st.ExecQuery();
    if (!q.IsValid()) return -1;
    if (q.IsEOF()) return 0;
    row.objId = q.GetIntField(0, 0);
    row.path = q.GetTextField(1, "");
    row.modified = q.GetTextField(2, "");
    row.expired = q.GetTextField(3, "");
    row.stored = q.GetTextField(4, "");
    return row.objId > 0 ? 1 : 0;
}

int KvCacheReader::FindByHost(const char* host, const char* path, KvCacheObjectRow& row) {
    if (!m_stByHost.Bind(1, host) || !m_stByHost.Bind(2, path)) return -1;
    return ReadRow(m_stByHost, row);
}

int KvCacheReader::FindByHostId(int hostId, const char* path, KvCacheObjectRow& row) {
    if (!m_stByHostId.Bind(1, hostId) || !m_stByHostId.Bind(2, path)) return -1;
    return ReadRow(m_stByHostId, row);
}

int KvCacheReader::FindById(int objId, KvCacheObjectRow& row) {
    if (!m_stById.Bind(1, objId)) return -1;
    return ReadRow(m_stById, row);
}

int KvCacheReader::ReadContent(int objId, KvHttpResponse& out, size_t streamFrom) {
    m_pFailed = &m_content;
    const long long from = streamFrom > (size_t)INT64_MAX ? INT64_MAX : (long long)streamFrom;
    if (!m_stContent.Bind(1, objId) || !m_stContent.BindInt64(2, from)) return -1;
    KvSqlQuery q = m_stContent.ExecQuery();
    if (!q.IsValid()) return -1;
    if (q.IsEOF()) return 0;
    if (q.IsFieldNull(0) && q.GetInt64Field(2, 0) >= from) return kStream;
    int length = 0;
    const unsigned char* data = q.GetBlobField(0, length);
    if (!data || length <= 0) return 0;
    // A checksum is kept since this version: bytes changed on the disk are
    // never served.
    if (!q.IsFieldNull(1) && (uint32_t)q.GetInt64Field(1, 0) != KvCacheChecksum(data, (size_t)length)) {
        out.Reset();
        return kDamaged;
    }
    return KvCacheRestoreEncoded(data, (size_t)length, out) ? 1 : 0;
}
