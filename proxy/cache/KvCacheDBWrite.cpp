// KvCacheDB: storing and deleting. The order of the writes to the two
// files is what keeps every crash point safe (see KvCacheDB.h).
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/platform/FileIo.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheKey.h"

namespace {

// An answer in its encoded stored form, made before any lock is taken.
struct Encoded {
    KvGenBuffer blob;
    KvTime modified;
    uint32_t checksum = 0;
    bool ok = false;
    KvCacheBlob AsBlob() const {
        return {reinterpret_cast<const unsigned char*>(blob.GetData()), (int)blob.GetCount(), checksum};
    }
};

void EncodeAnswer(KvHttpResponse& response, Encoded& out) {
    if (response.m_bufBody.GetStoredCount() > (size_t)INT_MAX / 2) return;
    if (!KvCacheSerializeEncoded(response, out.blob) || out.blob.GetCount() > (size_t)INT_MAX) return;
    out.modified = KvCacheModifiedTime(response);
    out.checksum = KvCacheChecksum(out.blob.GetData(), out.blob.GetCount());
    out.ok = true;
}

// When a copy is stored, rounded up to the next second: a browser's copy
// served within the same second as an older object stays older than this.
CString StoredNow() {
    KvTime now = KvCacheNow();
    now += 1.0 / (24 * 60 * 60);
    return KvCacheFormatTime(now);
}

}  // namespace

// --- hosts and objects (writer connection, m_lock held by the caller or here)

int KvCacheDB::FindHostId(const char* host) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    CString key = KvCacheKeyHost(host);
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select host_id from cache_host where host_name='%q'", key.c_str()));
    if (!q.IsValid()) ReportError("finding a host", m_dbIndex);
    return q.IsValid() ? q.GetIntField(0, 0) : 0;
}

int KvCacheDB::FindOrCreateHost(const char* host) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || !host || !*host) return 0;
    int hostId = FindHostId(host);
    if (hostId || m_bReadOnly.load()) return hostId;
    CString key = KvCacheKeyHost(host);
    KvSqlBuffer values, sql;
    {
        KvSqlTransaction tx(m_dbIndex);
        hostId = tx.IsActive() ? m_dbIndex.GetNewId("cache_host") : 0;
        if (hostId) {
            values.Format("'%q', %d", key.c_str(), hostId);
            if (m_dbIndex.Execute(sql.FmtInsert("cache_host", "host_name, host_id", values)) < 0 || !tx.Commit())
                hostId = 0;
        }
    }
    if (!hostId) {
        // Another connection may have made it meanwhile.
        hostId = FindHostId(host);
        if (!hostId) ReportError("adding a host", m_dbIndex);
    }
    return hostId;
}

int KvCacheDB::FindObjectLocked(int hostId, const char* path, bool exact) {
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format(
        "select obj_id, obj_path from cache_object where host_id=%d and obj_path='%q'", hostId, path ? path : ""));
    if (!q.IsValid()) {
        ReportError("finding an object", m_dbIndex);
        return 0;
    }
    if (q.IsEOF()) return 0;
    if (exact && std::strcmp(q.GetTextField(1, ""), path ? path : "") != 0) return -q.GetIntField(0, 0);
    return q.GetIntField(0, 0);
}

int KvCacheDB::FindObjectId(int hostId, const char* path) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || hostId <= 0) return 0;
    return FindObjectLocked(hostId, path, false);
}

int KvCacheDB::FindObjectId(const char* host, const char* path) {
    KvCriticalLock lock(m_lock);
    int hostId = FindHostId(host);
    return hostId ? FindObjectId(hostId, path) : 0;
}

int KvCacheDB::FindObjectId(const char* url) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return FindObjectId(host, path);
}

BOOL KvCacheDB::IsExist(const char* url) { return FindObjectId(url) != 0; }

BOOL KvCacheDB::IsExist(const char* host, const char* path) { return FindObjectId(host, path) != 0; }

// --- storing -------------------------------------------------------------------

int KvCacheDB::WriteContent(int objId, const KvCacheBlob& blob) {
    // "insert or replace": a content row left by an earlier failure (or an
    // index row whose content was lost) never turns a store into a no-op.
    // The blob is bound without a copy: a large answer is not held twice.
    KvSqlStatement st = m_dbContent.CompileStatement(
        "insert or replace into cache_content (obj_id, obj_data, obj_crc) values (?, ?, ?);");
    if (!st.Bind(1, objId) || !st.BindBorrowed(2, blob.data, blob.length) || !st.BindInt64(3, blob.checksum) ||
        st.Execute() < 0) {
        ReportError("writing content", m_dbContent);
        return 0;
    }
    return 1;
}

int KvCacheDB::InsertObject(int hostId, const char* path, const CString& modified, const CString& expired,
                            const KvCacheBlob& blob) {
    // The id is committed on its own first, so it is never handed out again.
    int objId = m_dbIndex.GetNewId("cache_object");
    if (!objId) {
        ReportError("taking an object id", m_dbIndex);
        return 0;
    }
    if (!WriteContent(objId, blob)) return 0;
    KvSqlBuffer sql;
    if (m_dbIndex.Execute(sql.Format("insert into cache_object (host_id, obj_id, obj_path, obj_modified, obj_expired, "
                                     "obj_stored) values (%d, %d, '%q', '%q', '%q', '%q');",
                                     hostId, objId, path, modified.c_str(), expired.c_str(), StoredNow().c_str())) < 0) {
        ReportError("adding an object", m_dbIndex);
        if (m_dbContent.Execute(sql.Format("delete from cache_content where obj_id=%d;", objId)) < 0) {
            ReportError("removing the content of an object not added", m_dbContent);
        }
        return 0;
    }
    return 1;
}

int KvCacheDB::ReplaceObject(int objId, const CString& modified, const CString& expired, const KvCacheBlob& blob) {
    if (!WriteContent(objId, blob)) return 0;
    KvSqlBuffer sql;
    if (m_dbIndex.Execute(sql.Format("update cache_object set obj_modified='%q', obj_expired='%q', obj_stored='%q' "
                                     "where obj_id=%d;",
                                     modified.c_str(), expired.c_str(), StoredNow().c_str(), objId)) < 0) {
        ReportError("updating an object", m_dbIndex);
        return 0;
    }
    return 1;
}

int KvCacheDB::StoreEncoded(int hostId, const char* path, const KvTime& modified, const KvTime& expired,
                            const KvCacheBlob& blob) {
    CString modifiedText = KvCacheFormatTime(modified), expiredText = KvCacheFormatTime(expired);
    int objId = FindObjectLocked(hostId, path, true);
    if (objId > 0) return ReplaceObject(objId, modifiedText, expiredText, blob);
    // A path differing only in letter case holds the row: it goes first,
    // so its content is never served for this path.
    if (objId < 0) NoteAllChanged();  // the other spelling's key is not at hand
    if (objId < 0 && !DeleteObjectLocked(-objId, nullptr)) return 0;
    return InsertObject(hostId, path, modifiedText, expiredText, blob);
}

int KvCacheDB::AddCache(int hostId, const char* path, KvHttpResponse* response) {
    if (m_bReadOnly.load() || !response || hostId <= 0 || !path || !*path) return 0;
    Encoded enc;
    EncodeAnswer(*response, enc);
    if (!enc.ok) return 0;
    KvTime expired = KvCacheNow();
    expired += (double)m_nExpiredDays.load();
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    const int stored = StoreEncoded(hostId, path, enc.modified, expired, enc.AsBlob());
    NoteAllChanged();  // the host's name is not at hand
    return stored;
}

int KvCacheDB::AddCache(const char* host, const char* path, KvHttpResponse* response) {
    if (m_bReadOnly.load() || !response || !host || !*host || !path || !*path) return 0;
    Encoded enc;
    EncodeAnswer(*response, enc);
    if (!enc.ok) return 0;
    KvTime expired = KvCacheNow();
    expired += (double)m_nExpiredDays.load();
    KvCriticalLock lock(m_lock);
    int hostId = FindOrCreateHost(host);
    if (!hostId) return 0;
    const int stored = StoreEncoded(hostId, path, enc.modified, expired, enc.AsBlob());
    NoteChanged(KvCacheKeyHost(host), path);
    return stored;
}

int KvCacheDB::AddCache(const char* url, KvHttpResponse* response) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return AddCache(host, path, response);
}

int KvCacheDB::UpdateCache(int objId, KvHttpResponse* response) {
    if (m_bReadOnly.load() || !response || objId <= 0) return 0;
    Encoded enc;
    EncodeAnswer(*response, enc);
    if (!enc.ok) return 0;
    KvTime expired = KvCacheNow();
    expired += (double)m_nExpiredDays.load();
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    if (m_dbIndex.ExecScalar(sql.Format("select count(*) from cache_object where obj_id=%d", objId), 0) != 1) return 0;
    const int stored = ReplaceObject(objId, KvCacheFormatTime(enc.modified), KvCacheFormatTime(expired), enc.AsBlob());
    NoteAllChanged();
    return stored;
}

int KvCacheDB::AddFromFileKey(const char* host, const char* path, const char* file) {
    KvHttpResponse response;
    if (!response.CreateFromLocalFile(file)) return 0;
    return AddCache(host, path, &response);
}

int KvCacheDB::AddCacheFromFile(const char* url, const char* file) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return AddFromFileKey(host, path, file);
}

int KvCacheDB::AddCacheFromFile(const char* host, const char* path, const char* file) {
    return AddFromFileKey(host, path, file);
}

int KvCacheDB::AddCacheFromFile(int hostId, const char* path, const char* file) {
    KvHttpResponse response;
    if (!response.CreateFromLocalFile(file)) return 0;
    return AddCache(hostId, path, &response);
}

// --- deleting ------------------------------------------------------------------

int KvCacheDB::DeleteObjectLocked(int objId, const char* onlyIfExpired) {
    KvSqlBuffer sql;
    if (onlyIfExpired)
        sql.Format("delete from cache_object where obj_id=%d and obj_expired='%q';", objId, onlyIfExpired);
    else
        sql.Format("delete from cache_object where obj_id=%d;", objId);
    int removed = m_dbIndex.Execute(sql);
    if (removed < 0) {
        ReportError("deleting an object", m_dbIndex);
        return 0;
    }
    // Stored again since it was found expired: the new content stays.
    if (onlyIfExpired && removed == 0) return 1;
    // The index row is gone first: a crash here leaves only an unused row.
    if (m_dbContent.Execute(sql.Format("delete from cache_content where obj_id=%d;", objId)) < 0) {
        ReportError("deleting content", m_dbContent);
        return 0;
    }
    return 1;
}

int KvCacheDB::DeleteCache(int objId) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    const int deleted = objId > 0 ? DeleteObjectLocked(objId, nullptr) : 1;
    NoteAllChanged();
    return deleted;
}

int KvCacheDB::DeletePathLocked(int hostId, const char* path) {
    if (hostId <= 0) return 1;
    int objId = FindObjectLocked(hostId, path, false);
    return objId ? DeleteObjectLocked(objId, nullptr) : 1;
}

int KvCacheDB::DeleteCache(int hostId, const char* path) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    const int deleted = DeletePathLocked(hostId, path);
    NoteAllChanged();  // the host's name is not at hand
    return deleted;
}

int KvCacheDB::DeleteCache(const char* host, const char* path) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    int hostId = FindHostId(host);
    const int deleted = hostId ? DeletePathLocked(hostId, path) : 1;
    NoteChanged(KvCacheKeyHost(host), path);
    return deleted;
}

int KvCacheDB::DeleteCache(const char* url) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return DeleteCache(host, path);
}

int KvCacheDB::DeleteAllCacheByHost(int hostId) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    CUIntArray ids;
    if (!PopulateObjectIds(hostId, &ids)) return 0;
    KvSqlBuffer sql;
    {
        // The index rows go first, in one step.
        KvSqlTransaction tx(m_dbIndex);
        if (!tx.IsActive() || m_dbIndex.Execute(sql.Format("delete from cache_object where host_id=%d;", hostId)) < 0 ||
            m_dbIndex.Execute(sql.Format("delete from cache_host where host_id=%d;", hostId)) < 0 || !tx.Commit()) {
            ReportError("deleting a host", m_dbIndex);
            return 0;
        }
    }
    NoteAllChanged();
    KvSqlTransaction tx(m_dbContent);
    if (!tx.IsActive()) return 0;
    KvSqlStatement st = m_dbContent.CompileStatement("delete from cache_content where obj_id=?;");
    for (int i = 0; i < ids.GetSize(); ++i) {
        if (!st.Bind(1, ids[i]) || st.Execute() < 0) {
            ReportError("deleting content", m_dbContent);
            return 0;
        }
    }
    return tx.Commit();
}

int KvCacheDB::DeleteAllCacheByHost(const char* host) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    int hostId = FindHostId(host);
    return hostId ? DeleteAllCacheByHost(hostId) : 1;
}

// --- the stored body into a file -------------------------------------------------

int KvCacheDB::SaveBodyToFile(KvHttpResponse& response, const char* file) {
    if (!file || !*file) return 0;
    return KvWriteFileAtomic(file, response.m_bufBody.GetData(), response.m_bufBody.GetCount()) ? 1 : 0;
}

int KvCacheDB::SaveCacheToFile(int objId, const char* file) {
    KvHttpResponse response;
    return GetCache(objId, &response) ? SaveBodyToFile(response, file) : 0;
}

int KvCacheDB::SaveCacheToFile(int hostId, const char* path, const char* file) {
    int objId = FindObjectId(hostId, path);
    return objId ? SaveCacheToFile(objId, file) : 0;
}

int KvCacheDB::SaveCacheToFile(const char* host, const char* path, const char* file) {
    int objId = FindObjectId(host, path);
    return objId ? SaveCacheToFile(objId, file) : 0;
}

int KvCacheDB::SaveCacheToFile(const char* url, const char* file) {
    int objId = FindObjectId(url);
    return objId ? SaveCacheToFile(objId, file) : 0;
}
