// KvCacheDB: the object store of the proxy's web cache: whole HTTP answers
// keyed by host and path, one row per URL, in two SQL files beside each
// other: "<dir><name>.cdx" (index: hosts and objects) and "<dir><name>.cdt"
// (content: the stored answers).
//
// Keys: operations taking a URL derive the key with KvCacheKeyFromUrl;
// operations taking (host, path) expect a key (KvCacheKey.h).
// Paths are matched exactly, letter case included: "/A" and "/a" are two
// objects. (Stores of earlier versions are brought up to date when opened
// writable; see UpgradeTables.)
//
// Integrity: each stored form carries a CRC-32 of its bytes; one that does
// not match when read is a miss, logged and dropped.
//
// Crash safety. The two files are written in an order that keeps every
// crash point safe: a new object takes its id from the index counter
// (committed first, so an id is never handed out twice), then its content
// row is written ("insert or replace"), and only then the index row that
// points to it. A delete removes the index row first, then the content.
// A kill at any moment therefore leaves at worst a content row no index row
// points to, never an index row that points to another URL's content; each
// file is itself always whole (write-ahead log, synchronous=NORMAL). A
// stored answer carries its own length and is checked when read back, so a
// truncated answer is never served. When the ".cdx" file is new (or was
// never completed) the content table is emptied before the index is made,
// because ids restart with a new index.
//
// Threads. Any number of threads may call any operation. Writers (adding,
// deleting, the flag and status setters, listings) hold the store's lock
// only around their database calls: answers are serialised and encoded
// before it is taken. Readers never take that lock: each read borrows a
// connection pair of its own from a small pool (write-ahead logging lets
// them read while a writer commits), and decoding and parsing happen after
// the connection is given back. Open and Close wait for the readers in
// flight.
//
// Failures are values: 0 (or 0 as id) for failure, a miss, or a refused
// write on a read-only store. A damaged or unreadable file is reported once
// in the diagnostic log; every later failure of that store is silent.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstddef>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "base/containers/KvObject.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"
#include "base/time/KvTime.h"
#include "ext/KvSqLite/KvSqLite.h"

class KvGenBuffer;
class KvHttpRequest;
class KvHttpResponse;
class KvCacheReader;
class KvCacheBodyStream;

// What a served answer brings besides the response (GetCacheForRequest).
struct KvCacheHit {
    KvCacheHit();
    ~KvCacheHit();
    KvCacheHit(KvCacheHit&&) noexcept;
    KvCacheHit& operator=(KvCacheHit&&) noexcept;
    // In: a stored form of this many bytes or more is not read whole: its
    // body comes as `stream`, the response holding only the head.
    size_t streamFrom = SIZE_MAX;
    // Out: the store drops the object once `expired` has passed.
    bool expires = false;
    KvTime expired;
    std::unique_ptr<KvCacheBodyStream> stream;
};

// One host of a store, as listed by PopulateDomain / PopulateDomain2.
class KvCacheDomainItem : public KvObject {
    DECLARE_DYNCREATE(KvCacheDomainItem)
public:
    int m_nHostId = 0;
    CString m_strHost;
    int m_nObjectCount = 0;  // filled by PopulateDomain2 only
};

// One object of a host, as listed by PopulateObject.
class KvCacheObjectItem : public KvObject {
    DECLARE_DYNCREATE(KvCacheObjectItem)
public:
    int m_nObjId = 0;
    CString m_strPath;
};

// One object found by SearchObjects.
struct KvCacheFound {
    int objId = 0;
    CString host;
    CString path;
};

// A stored form ready to be written: its bytes and their checksum.
struct KvCacheBlob {
    const unsigned char* data = nullptr;
    int length = 0;
    uint32_t checksum = 0;
};

// Called for each object MoveDomain moves; 0 stops the move.
typedef int (*KvCacheMoveCallback)(int objId, const char* path, void* param);

class KvCacheDB : public KvObject {
    DECLARE_DYNAMIC(KvCacheDB)
public:
    KvCacheDB();
    ~KvCacheDB() override;
    KvCacheDB(const KvCacheDB&) = delete;
    KvCacheDB& operator=(const KvCacheDB&) = delete;

    // --- files ---
    // Opens "<directory><name>.cdx" and ".cdt" (a final "/" is added to the
    // directory when missing; a file whose name differs only in letter case
    // is the same file). A read-only store fails when the index file does
    // not exist, and creates nothing. Tables are made when the index is new.
    // 1 on success.
    int Open(const char* directory, const char* name);
    void Close();
    BOOL IsOpen() const { return m_bOpen.load(std::memory_order_acquire); }
    const CString& GetName() const { return m_strName; }
    const CString& GetDirectory() const { return m_strDirectory; }
    // The files as found on disk by the last Open.
    CString GetIndexPath() const { return m_strIndexPath; }
    CString GetContentPath() const { return m_strContentPath; }

    // --- settings (any time) ---
    void SetExpiredDays(UINT days) { m_nExpiredDays.store(days); }
    UINT GetExpiredDays() const { return m_nExpiredDays.load(); }
    void EnableCacheDelete(BOOL flag) { m_bCacheDelete.store(flag != 0); }
    BOOL IsCacheDelete() const { return m_bCacheDelete.load(); }
    void SetReadOnly(BOOL flag);
    BOOL IsReadOnly() const { return m_bReadOnly.load(); }
    void SetVerbose(BOOL flag);
    void SetBusyTimeout(int ms);

    // --- reading: 1 with the response filled, 0 for a miss ---
    // The served answer: expired objects are a miss (and deleted when cache
    // delete is on), headers rewritten for the browser (KvCacheServeHeaders).
    int GetCache(const char* url, KvHttpResponse* response);
    int GetCache(const char* host, const char* path, KvHttpResponse* response);
    int GetCache(int hostId, const char* path, KvHttpResponse* response);
    // The request's URI. A valid "If-Modified-Since" no earlier than the
    // time the copy was stored gets the 304 answer; any other (or none) the
    // full answer.
    int GetCache(KvHttpRequest* request, KvHttpResponse* response);
    // The same for a key already derived (what the cache manager calls).
    int GetCacheForRequest(const char* host, const char* path, const KvHttpRequest* request,
                           KvHttpResponse* response, KvCacheHit* hit = nullptr);
    // The answer exactly as stored (no expiry test, no header rewriting).
    int GetCache(int objId, KvHttpResponse* response);

    // --- storing: 1 on success ---
    int AddCache(const char* url, KvHttpResponse* response);
    int AddCache(const char* host, const char* path, KvHttpResponse* response);
    int AddCache(int hostId, const char* path, KvHttpResponse* response);
    int UpdateCache(int objId, KvHttpResponse* response);
    int AddCacheFromFile(const char* url, const char* file);
    int AddCacheFromFile(const char* host, const char* path, const char* file);
    int AddCacheFromFile(int hostId, const char* path, const char* file);

    // --- deleting: 1 on success, also when nothing was stored ---
    int DeleteCache(const char* url);
    int DeleteCache(const char* host, const char* path);
    int DeleteCache(int hostId, const char* path);
    int DeleteCache(int objId);
    int DeleteAllCacheByHost(const char* host);
    int DeleteAllCacheByHost(int hostId);

    // --- look-ups: ids, 0 when absent ---
    BOOL IsExist(const char* url);
    BOOL IsExist(const char* host, const char* path);
    int FindHostId(const char* host);
    int FindOrCreateHost(const char* host);
    int FindObjectId(const char* url);
    int FindObjectId(const char* host, const char* path);
    int FindObjectId(int hostId, const char* path);

    // --- the stored body into a file: 1 on success ---
    int SaveCacheToFile(const char* url, const char* file);
    int SaveCacheToFile(const char* host, const char* path, const char* file);
    int SaveCacheToFile(int hostId, const char* path, const char* file);
    int SaveCacheToFile(int objId, const char* file);

    // --- flags and analysis state ---
    int GetCacheFlag(int objId, int& flags);
    int SetCacheFlag(int objId, int flags);
    int SetCacheStatus(int objId, int status);
    // Ids of objects not analysed yet (status 0), by id, at most max.
    int GetCacheToAnalize(CUIntArray& ids, int max);

    // --- listings (the arrays own the items added) ---
    int PopulateDomain(KvObjectArray* hosts);   // KvCacheDomainItem by host id
    int PopulateDomain2(KvObjectArray* hosts);  // by host name, with object counts
    int PopulateObject(int hostId, KvObjectArray* objects);  // KvCacheObjectItem by path
    int PopulateObjectIds(int hostId, CUIntArray* ids);      // by path
    // The number of objects stored; -1 when it cannot be read.
    int CountObjects();
    // The host's name; empty when the store has no such host.
    CString GetHostName(int hostId);
    // Objects whose address ("http://" host path) holds `text`, letter case
    // of ASCII ignored, ordered by host and path: up to `limit` of them
    // from the `offset`-th into `found`, and the number of all matches into
    // `total`. 1 on success.
    int SearchObjects(const char* text, int offset, int limit, std::vector<KvCacheFound>& found, int& total);

    // Moves every object of the host into the target store (objects the
    // target already holds are only deleted here). 1 when all moved.
    int MoveDomain(const char* host, KvCacheDB* target, KvCacheMoveCallback callback, void* param);

protected:
    // Makes the tables and counters of a new index (inside a transaction).
    virtual int InitNewDatabase();

private:
    friend class KvCacheReaderLease;

    // An object found for reading.
    struct Found {
        int objId = 0;
        KvTime modified;
        KvTime expired;
        bool notModified = false;  // the browser's copy is current: no content read
        bool damaged = false;      // the stored form failed its checksum
    };
    enum class Lookup { kByHost, kByHostId, kById };

    int OpenFiles(bool indexExisted);
    bool PrepareNewIndex();
    // Brings the tables of an earlier version up to date.
    bool UpgradeTables();
    int ServeObject(Lookup how, const char* host, int id, const char* path, const KvHttpRequest* request,
                    KvHttpResponse* response, bool rewrite, KvCacheHit* hit = nullptr);
    // Finds the object and reads its content into `content` (when given),
    // unless the object was stored no later than `notModifiedSince`; a
    // large one as the hit's stream when the hit asks for that.
    int ReadObject(Lookup how, const char* host, int id, const char* path, Found& found, KvHttpResponse* content,
                   const KvTime* notModifiedSince = nullptr, KvCacheHit* hit = nullptr);
    // Tells the memory front of the cache that the key changed.
    static void NoteChanged(const char* host, const char* path);
    static void NoteAllChanged();
    int DeletePathLocked(int hostId, const char* path);
    int StoreEncoded(int hostId, const char* path, const KvTime& modified, const KvTime& expired, const KvCacheBlob& blob);
    int InsertObject(int hostId, const char* path, const CString& modified, const CString& expired, const KvCacheBlob& blob);
    int ReplaceObject(int objId, const CString& modified, const CString& expired, const KvCacheBlob& blob);
    int WriteContent(int objId, const KvCacheBlob& blob);
    int DeleteObjectLocked(int objId, const char* onlyIfExpired);
    int FindObjectLocked(int hostId, const char* path, bool exact);
    int AddFromFileKey(const char* host, const char* path, const char* file);
    int SaveBodyToFile(KvHttpResponse& response, const char* file);
    // Logs the first failure of this store (later ones stay silent).
    void ReportError(const char* what, const KvSqlDB& db);

    // Reader connections.
    KvCacheReader* AcquireReader();
    void ReleaseReader(KvCacheReader* reader);
    void DropReaders();

    std::atomic<UINT> m_nExpiredDays{7};
    std::atomic<bool> m_bCacheDelete{true};
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bReadOnly{false};
    CString m_strDirectory;  // ends in "/"
    KvSqlDBEx m_dbIndex;     // the writer's connections
    KvSqlDB m_dbContent;
    CString m_strName;
    CString m_strIndexPath;    // set by Open (under both locks)
    CString m_strContentPath;
    KvCriticalObj m_lock;    // the writer connections and their statements

    // Open and Close take this exclusively; readers share it while they
    // read. Lock order: m_openLock before m_lock, never the other way.
    std::shared_mutex m_openLock;
    std::mutex m_poolLock;
    std::condition_variable m_poolFree;
    std::vector<std::unique_ptr<KvCacheReader>> m_readers;  // every reader made
    std::vector<KvCacheReader*> m_freeReaders;
    std::atomic<bool> m_bVerbose{false};
    std::atomic<int> m_nBusyTimeout{KV_SQL_DEFAULT_BUSY_TIMEOUT};
    std::atomic<bool> m_bErrorReported{false};
    // The tables hold storing times and checksums (not so in a read-only
    // store of an earlier version).
    std::atomic<bool> m_bChecked{true};
};

// Opens the store "<cache directory><name>" read-only, objects kept for
// 2640 days and never deleted on reading. 1 on success.
int OpenReadOnlyCache(KvCacheDB& db, const char* name);
// Deletes the URL's object from that store through the cache manager (only
// the URL's key leaves the memory front); 0 when the store does not exist.
int OpenAndDeleteCacheObject(const char* name, const char* url);
// Moves a host's objects from one store file to another (each named by its
// ".cdx" or ".cdt" path, or by directory and base name).
int MoveCacheDomain(const char* host, const char* sourceFile, const char* targetFile, KvCacheMoveCallback callback,
                    void* param);
