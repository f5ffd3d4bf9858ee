// KvCacheMgr: the one entry point through which the proxy reads, stores and
// deletes cached answers.
//
// The cache is spread over object stores (KvCacheDB) in the cache directory
// (KvCacheFiles.h): one store per domain for which a "<host>.cdx" file
// exists when the cache is first used (names matched without letter case),
// the general store "vcache" that receives everything else, and the
// permanent store "pcache" that is only read and never expires anything.
// A lookup tries the host's domain store, then pcache, then vcache.
//
// Keys come from KvCacheKey.h: a request's URI gives host (with ":port"
// when the URI names one) and path. AddCache(host, path) and
// DeleteCache(host, path) take the request's host and its path as
// received (its escapes put in their normal form here); a caller whose
// request names a port other than 80 passes "host:port". The proxy keys
// by the host it connects to and the path it sends upstream.
//
// Threads: every operation may be called from any number of request threads
// at once. The directory is scanned once and each store opened once,
// whichever threads arrive first; a store that cannot be opened is reported
// once in the log and skipped (reads miss, adds fall through to vcache, or
// fail when vcache itself is unusable); it is tried again a minute later.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "base/containers/KvMap.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"
#include "proxy/cache/KvCacheDB.h"

class KvHttpRequest;
class KvHttpResponse;

class KvCacheMgr : public KvObject {
    DECLARE_DYNAMIC(KvCacheMgr)
public:
    KvCacheMgr();
    ~KvCacheMgr() override;
    KvCacheMgr(const KvCacheMgr&) = delete;
    KvCacheMgr& operator=(const KvCacheMgr&) = delete;

    // The process-wide manager, made on first use (its destruction is
    // registered with KvCleanupMgr).
    static KvCacheMgr* GetInstance();
    static void DestroyInstance();
    // Where the stores live and how long new answers are kept; set by the
    // application at start, before the first cache call (a later change
    // reaches only stores opened afterwards).
    static void SetCacheSettings(const char* cacheDirectory, int expiredDays);
    static int GetExpiredDays();

    // 1 when the response was filled from a store.
    int GetCache(KvHttpRequest* request, KvHttpResponse* response);
    // The same for a host (with ":port" when not 80) and a path as
    // received; the request gives the conditional headers.
    int GetCache(const char* host, const char* path, KvHttpRequest* request, KvHttpResponse* response,
                 KvCacheHit* hit = nullptr);
    // The key of the memory front (KvCacheMemory) for a host and path as
    // received, the same key the stores note their changes under.
    static std::string ReadyKey(const char* host, const char* path);
    // 1 when stored (domain store, else vcache).
    int AddCache(const char* host, const char* path, KvHttpResponse* response);
    int AddCache(KvHttpRequest* request, KvHttpResponse* response);
    // 1 when the object is gone (also when it was never stored).
    int DeleteCache(const char* host, const char* path);
    int DeleteCache(KvHttpRequest* request);
    // Deletes from the one store named (any store of the cache directory,
    // matched without letter case) the object of a stored host and path,
    // or every object of a host. The manager's own open store does it when
    // it has one, so the memory front drops the object at once. 0 when the
    // store does not exist (nothing is made) or the deletion failed.
    int DeleteFromStore(const char* store, const char* host, const char* path);
    int DeleteHostFromStore(const char* store, const char* host);

protected:
    int Initiate();
    int AddNewCacheDB(const char* name);
    // The store of that name opened (opening it on first use), or null.
    KvCacheDB* GetCacheDB(const char* name);
    int _BreakUrlComponent(const char* url, CString& host, CString& path);
    int GetByKey(const char* host, const char* path, KvHttpRequest* request, KvHttpResponse* response,
                 KvCacheHit* hit = nullptr);

    int AddByKey(const char* host, const char* path, KvHttpResponse* response);
    int DeleteByKey(const char* host, const char* path);
    // Opens the store once; false (reported once) when it cannot be opened.
    bool EnsureOpen(KvCacheDB& db, const char* name);
    KvCacheDB* FindDomainStore(const char* host);
    // Runs `change` on the named store: the manager's when it has that
    // store open or can open it, else a store opened for this change only;
    // never on a store whose files do not exist.
    template <typename Change>
    int ChangeInStore(const char* store, Change change);

    KvMapStringToObject m_mapCacheDB{10};  // lower-cased name -> owned KvCacheDB
    int m_bInitiated = 0;
    KvCacheDB m_vcache;
    KvCacheDB m_pcache;

    static KvCacheMgr* _glbCacheMgr;
    static KvCriticalObj _csCacheMgr;
    static int _nInstantCount;

private:
    std::once_flag m_scanOnce;
    std::mutex m_openMutex;                       // opening stores
    std::map<std::string, DWORD> m_failedAt;      // store -> tick of its failed open (under m_openMutex)
    std::map<std::string, std::string> m_fileNames;  // lower-cased store name -> name on disk
    CString m_strDirectory;
};
