// KvCacheDB: flags, listings, moving a domain, and the free functions that
// open stores of the cache directory.
#include <memory>

#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheFiles.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/cache/KvCacheMgr.h"

namespace {

constexpr UINT kToolExpiredDays = 2640;

}  // namespace

int KvCacheDB::GetCacheFlag(int objId, int& flags) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select obj_flags from cache_object where obj_id=%d", objId));
    if (!q.IsValid() || q.IsEOF()) return 0;
    flags = q.GetIntField(0, 0);
    return 1;
}

int KvCacheDB::SetCacheFlag(int objId, int flags) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    KvSqlBuffer sql;
    return IsOpen() && m_dbIndex.Execute(sql.Format("update cache_object set obj_flags=%d where obj_id=%d;", flags,
                                                    objId)) >= 0;
}

int KvCacheDB::SetCacheStatus(int objId, int status) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    KvSqlBuffer sql;
    return IsOpen() && m_dbIndex.Execute(sql.Format("update cache_object set obj_status=%d where obj_id=%d;", status,
                                                    objId)) >= 0;
}

int KvCacheDB::GetCacheToAnalize(CUIntArray& ids, int max) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(
        sql.Format("select obj_id from cache_object where obj_status=0 order by obj_id limit %d", max));
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) ids.Add((UINT)q.GetIntField(0, 0));
    return q.HasError() ? 0 : 1;
}

int KvCacheDB::PopulateDomain(KvObjectArray* hosts) {
    KvCriticalLock lock(m_lock);
    if (!hosts || !IsOpen()) return 0;
    KvSqlQuery q = m_dbIndex.ExecQuery("select host_id, host_name from cache_host order by host_id");
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto item = std::make_unique<KvCacheDomainItem>();
        item->m_nHostId = q.GetIntField(0, 0);
        item->m_strHost = q.GetTextField(1, "");
        if (hosts->Add(item.get()) < 0) return 0;
        item.release();
    }
    return q.HasError() ? 0 : 1;
}

int KvCacheDB::PopulateDomain2(KvObjectArray* hosts) {
    KvCriticalLock lock(m_lock);
    if (!hosts || !IsOpen()) return 0;
    KvSqlQuery q = m_dbIndex.ExecQuery("select host_id, host_name from cache_host order by host_name");
    if (!q.IsValid()) return 0;
    KvSqlBuffer sql;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto item = std::make_unique<KvCacheDomainItem>();
        item->m_nHostId = q.GetIntField(0, 0);
        item->m_strHost = q.GetTextField(1, "");
        item->m_nObjectCount = m_dbIndex.ExecScalar(
            sql.Format("select count(obj_id) from cache_object where host_id=%d", item->m_nHostId), 0);
        if (hosts->Add(item.get()) < 0) return 0;
        item.release();
    }
    return q.HasError() ? 0 : 1;
}

int KvCacheDB::PopulateObject(int hostId, KvObjectArray* objects) {
    KvCriticalLock lock(m_lock);
    if (!objects || !IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(
        sql.Format("select obj_id, obj_path from cache_object where host_id=%d order by obj_path", hostId));
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto item = std::make_unique<KvCacheObjectItem>();
        item->m_nObjId = q.GetIntField(0, 0);
        item->m_strPath = q.GetTextField(1, "");
        if (objects->Add(item.get()) < 0) return 0;
        item.release();
    }
    return q.HasError() ? 0 : 1;
}

int KvCacheDB::PopulateObjectIds(int hostId, CUIntArray* ids) {
    KvCriticalLock lock(m_lock);
    if (!ids || !IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(
        sql.Format("select obj_id from cache_object where host_id=%d order by obj_path", hostId));
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) ids->Add((UINT)q.GetIntField(0, 0));
    return q.HasError() ? 0 : 1;
}

// Never called with m_lock held: reading takes the open lock, which must
// come first.
int KvCacheDB::MoveDomain(const char* host, KvCacheDB* target, KvCacheMoveCallback callback, void* param) {
    if (!target || target == this || !IsOpen() || !target->IsOpen()) return 0;
    int hostId = FindHostId(host);
    if (!hostId) return 1;  // nothing here to move
    KvObjectArray objects;
    if (!PopulateObject(hostId, &objects)) return 0;
    int targetHostId = target->FindOrCreateHost(host);
    if (!targetHostId) return 0;
    for (int i = 0; i < objects.GetSize(); ++i) {
        auto* item = static_cast<KvCacheObjectItem*>(objects.GetAt(i));
        if (callback && !callback(item->m_nObjId, item->m_strPath, param)) return 0;
        if (target->FindObjectId(targetHostId, item->m_strPath)) {
            DeleteCache(item->m_nObjId);
            continue;
        }
        KvHttpResponse response;
        if (GetCache(item->m_nObjId, &response) && target->AddCache(targetHostId, item->m_strPath, &response))
            DeleteCache(item->m_nObjId);
    }
    // The host goes only when nothing of it is left here (a read-only
    // source keeps everything: the move is then a copy).
    CUIntArray left;
    if (!m_bReadOnly.load() && PopulateObjectIds(hostId, &left) && left.GetSize() == 0) DeleteAllCacheByHost(hostId);
    return 1;
}

// --- free functions ----------------------------------------------------------------

namespace {

int OpenStore(KvCacheDB& db, const char* dir, const char* name, BOOL readOnly) {
    db.SetReadOnly(readOnly);
    db.SetExpiredDays(kToolExpiredDays);
    db.EnableCacheDelete(FALSE);
    return db.Open(dir, KvCacheResolveName(dir, name, ".cdx"));
}

}  // namespace

int OpenReadOnlyCache(KvCacheDB& db, const char* name) {
    return OpenStore(db, KvCacheGetDirectory(), name, TRUE);
}

// Through the manager's own store: a store opened aside for one deletion
// would empty the whole memory front when opened and closed, and make the
// store's files when they are missing.
int OpenAndDeleteCacheObject(const char* name, const char* url) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return KvCacheMgr::GetInstance()->DeleteFromStore(name, host, path);
}

int MoveCacheDomain(const char* host, const char* sourceFile, const char* targetFile, KvCacheMoveCallback callback,
                    void* param) {
    CString sourceDir, sourceName, targetDir, targetName;
    KvCacheSplitStorePath(sourceFile, sourceDir, sourceName);
    KvCacheSplitStorePath(targetFile, targetDir, targetName);
    KvCacheDB source, target;
    if (!OpenStore(source, sourceDir, sourceName, TRUE) || !OpenStore(target, targetDir, targetName, FALSE)) return 0;
    return source.MoveDomain(host, &target, callback, param);
}
