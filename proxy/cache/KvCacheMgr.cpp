#include "proxy/cache/KvCacheMgr.h"

#include <sys/stat.h>

#include "base/file/KvFileFunc.h"
#include "base/thread/KvCleanupMgr.h"
#include "base/time/KvElapsed.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheFiles.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/cache/KvCacheMemory.h"

IMPLEMENT_DYNAMIC(KvCacheMgr, KvObject)

KvCacheMgr* KvCacheMgr::_glbCacheMgr = nullptr;
KvCriticalObj KvCacheMgr::_csCacheMgr;
int KvCacheMgr::_nInstantCount = 0;

namespace {

constexpr UINT kPermanentDays = 3650;
constexpr DWORD kRetryOpenMs = 60 * 1000;  // a store that failed to open is tried again after this

std::atomic<KvCacheMgr*> g_instance{nullptr};  // lock-free read of _glbCacheMgr
// The application gives the configured days at start (SetCacheSettings);
// until then answers are kept as long as in the permanent store.
std::atomic<int> g_expiredDays{(int)kPermanentDays};

}  // namespace

KvCacheMgr::KvCacheMgr() {
    KvCriticalLock lock(_csCacheMgr);
    ++_nInstantCount;
}

KvCacheMgr::~KvCacheMgr() {
    m_mapCacheDB.RemoveAll(true);
    m_pcache.Close();
    m_vcache.Close();
    KvCriticalLock lock(_csCacheMgr);
    --_nInstantCount;
}

KvCacheMgr* KvCacheMgr::GetInstance() {
    if (KvCacheMgr* mgr = g_instance.load(std::memory_order_acquire)) return mgr;
    KvCriticalLock lock(_csCacheMgr);
    if (!_glbCacheMgr) {
        _glbCacheMgr = new KvCacheMgr;
        KvCleanupMgr::Register(&KvCacheMgr::DestroyInstance);
        g_instance.store(_glbCacheMgr, std::memory_order_release);
    }
    return _glbCacheMgr;
}

void KvCacheMgr::DestroyInstance() {
    KvCriticalLock lock(_csCacheMgr);
    g_instance.store(nullptr, std::memory_order_release);
    delete _glbCacheMgr;
    _glbCacheMgr = nullptr;
}

void KvCacheMgr::SetCacheSettings(const char* cacheDirectory, int expiredDays) {
    if (cacheDirectory && *cacheDirectory) KvCacheSetDirectory(cacheDirectory);
    g_expiredDays.store(expiredDays > 0 ? expiredDays : (int)kPermanentDays);
}

int KvCacheMgr::GetExpiredDays() { return g_expiredDays.load(); }

// --- stores ------------------------------------------------------------------

int KvCacheMgr::Initiate() {
    m_strDirectory = KvCacheGetDirectory();
    ::mkdir(m_strDirectory.c_str(), 0755);  // nothing happens when it exists
    m_fileNames = KvCacheListStores(m_strDirectory, ".cdx");
    for (const auto& [lower, onDisk] : m_fileNames) {
        if (lower != "vcache" && lower != "pcache") AddNewCacheDB(lower.c_str());
    }
    m_pcache.SetExpiredDays(kPermanentDays);
    m_pcache.EnableCacheDelete(FALSE);
    m_pcache.SetReadOnly(FALSE);
    m_vcache.SetExpiredDays((UINT)GetExpiredDays());
    m_vcache.EnableCacheDelete(TRUE);
    m_vcache.SetReadOnly(FALSE);
    m_bInitiated = 1;
    return 1;
}

int KvCacheMgr::AddNewCacheDB(const char* name) {
    CString key = KvCacheKeyHost(name);
    KvObject* existing = nullptr;
    if (m_mapCacheDB.Lookup(key, existing)) return 1;
    auto* db = new KvCacheDB;
    db->SetExpiredDays((UINT)GetExpiredDays());
    db->EnableCacheDelete(TRUE);
    db->SetReadOnly(FALSE);
    db->SetVerbose(FALSE);
    return m_mapCacheDB.SetAt(key, db) ? 1 : 0;
}

bool KvCacheMgr::EnsureOpen(KvCacheDB& db, const char* name) {
    if (db.IsOpen()) return true;
    std::lock_guard<std::mutex> lock(m_openMutex);
    if (db.IsOpen()) return true;
    auto failed = m_failedAt.find(name);
    if (failed != m_failedAt.end() && KvGetTickCount() - failed->second < kRetryOpenMs) return false;
    auto file = m_fileNames.find(name);
    const char* onDisk = file != m_fileNames.end() ? file->second.c_str() : name;
    if (db.Open(m_strDirectory, onDisk)) {
        m_failedAt.erase(name);
        return true;
    }
    m_failedAt[name] = KvGetTickCount();
    return false;
}

KvCacheDB* KvCacheMgr::GetCacheDB(const char* name) {
    std::call_once(m_scanOnce, [this] { Initiate(); });
    CString key = KvCacheKeyHost(name);
    KvCacheDB* db = nullptr;
    if (key == "vcache") {
        db = &m_vcache;
    } else if (key == "pcache") {
        // Only read, so never made: without its file there is nothing to try.
        if (m_fileNames.count("pcache")) db = &m_pcache;
    } else {
        KvObject* found = nullptr;
        if (m_mapCacheDB.Lookup(key, found)) db = static_cast<KvCacheDB*>(found);
    }
    return db && EnsureOpen(*db, key) ? db : nullptr;
}

int KvCacheMgr::_BreakUrlComponent(const char* url, CString& host, CString& path) {
    return KvCacheKeyFromUrl(url, host, path) ? 1 : 0;
}

// --- operations ----------------------------------------------------------------

int KvCacheMgr::GetCache(KvHttpRequest* request, KvHttpResponse* response) {
    CString host, path;
    if (!request || !_BreakUrlComponent(request->m_strURL, host, path)) return 0;
    return GetByKey(host, path, request, response);
}

int KvCacheMgr::GetCache(const char* host, const char* path, KvHttpRequest* request, KvHttpResponse* response,
                         KvCacheHit* hit) {
    CString keyHost, keyPath;
    KvCacheKeyFromParts(host, path, keyHost, keyPath);
    return GetByKey(keyHost, keyPath, request, response, hit);
}

std::string KvCacheMgr::ReadyKey(const char* host, const char* path) {
    CString keyHost, keyPath;
    KvCacheKeyFromParts(host, path, keyHost, keyPath);
    return KvCacheMemory::Key(KvCacheKeyHost(keyHost), keyPath);
}

int KvCacheMgr::GetByKey(const char* host, const char* path, KvHttpRequest* request, KvHttpResponse* response,
                         KvCacheHit* hit) {
    if (!request || !response) return 0;
    for (const char* name : {host, "pcache", "vcache"}) {
        KvCacheDB* db = GetCacheDB(name);
        if (db && db->GetCacheForRequest(host, path, request, response, hit)) return 1;
    }
    return 0;
}

int KvCacheMgr::AddByKey(const char* host, const char* path, KvHttpResponse* response) {
    if (!response) return 0;
    KvCacheDB* domain = GetCacheDB(host);
    if (domain && domain->AddCache(host, path, response)) return 1;
    KvCacheDB* general = GetCacheDB("vcache");
    return general ? general->AddCache(host, path, response) : 0;
}

int KvCacheMgr::AddCache(const char* host, const char* path, KvHttpResponse* response) {
    CString keyHost, keyPath;
    KvCacheKeyFromParts(host, path, keyHost, keyPath);
    return AddByKey(keyHost, keyPath, response);
}

int KvCacheMgr::AddCache(KvHttpRequest* request, KvHttpResponse* response) {
    CString host, path;
    if (!request || !_BreakUrlComponent(request->m_strURL, host, path)) return 0;
    return AddByKey(host, path, response);
}

int KvCacheMgr::DeleteByKey(const char* host, const char* path) {
    KvCacheDB* domain = GetCacheDB(host);
    if (domain && domain->DeleteCache(host, path)) return 1;
    KvCacheDB* general = GetCacheDB("vcache");
    if (general && general->DeleteCache(host, path)) return 1;
    KvCacheDB* permanent = GetCacheDB("pcache");
    return permanent ? permanent->DeleteCache(host, path) : 0;
}

int KvCacheMgr::DeleteCache(const char* host, const char* path) {
    CString keyHost, keyPath;
    KvCacheKeyFromParts(host, path, keyHost, keyPath);
    return DeleteByKey(keyHost, keyPath);
}

int KvCacheMgr::DeleteCache(KvHttpRequest* request) {
    CString host, path;
    if (!request || !_BreakUrlComponent(request->m_strURL, host, path)) return 0;
    return DeleteByKey(host, path);
}

// --- changes in one named store (the cache pages) ------------------------------------

template <typename Change>
int KvCacheMgr::ChangeInStore(const char* store, Change change) {
    if (!store || !*store) return 0;
    const CString dir = KvCacheGetDirectory();
    // A writable open would make the files: a store that is not there
    // stays absent.
    if (!IsFileExist(KvCacheFindFile(dir, CString(store) + ".cdx"))) return 0;
    if (KvCacheDB* db = GetCacheDB(KvCacheKeyHost(store))) return change(*db);
    // A store the manager does not serve from (made after the start).
    KvCacheDB db;
    db.SetExpiredDays((UINT)GetExpiredDays());
    db.EnableCacheDelete(FALSE);
    if (!db.Open(dir, KvCacheResolveName(dir, store, ".cdx"))) return 0;
    return change(db);
}

int KvCacheMgr::DeleteFromStore(const char* store, const char* host, const char* path) {
    if (!host || !*host || !path || !*path) return 0;
    return ChangeInStore(store, [&](KvCacheDB& db) { return db.DeleteCache(host, path); });
}

int KvCacheMgr::DeleteHostFromStore(const char* store, const char* host) {
    if (!host || !*host) return 0;
    return ChangeInStore(store, [&](KvCacheDB& db) { return db.DeleteAllCacheByHost(host); });
}
