// KvPathCache: the base of the path-structured cache stores KvInetCache and
// KvCacheDBEx. They keep answers as files in directory trees per host, in
// "<dir><name>.idx" (hosts, directories, files) and "<dir><name>.dat"
// (content), compress text answers, and offer import from and export to
// disk directories or other stores. They serve tools beside the proxy.
//
// Keys: a URL's path is split at "/": every segment followed by "/" is a
// directory, the last segment the file name; no directory becomes the one
// directory "@", an empty file name the file "@" ("/a/" is directory "a",
// file "@"). The path is first un-escaped once (KvCacheKey.h).
//
// Crash safety as in KvCacheDB: a file's id is committed first, then its
// content ("insert or replace"), then the index row that points to it;
// deleting goes the other way round. A directory chain is added in one
// transaction.
//
// Threads: one lock guards both connections; compressing and
// decompressing, serialising and parsing run outside it.
#pragma once

#include <atomic>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/containers/KvObject.h"
#include "base/platform/Collections.h"
#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"
#include "base/time/KvTime.h"
#include "ext/KvSqLite/KvSqLite.h"

class KvGenBuffer;
class KvHttpRequest;
class KvHttpResponse;

// Enumeration callbacks: 0 stops the walk.
typedef int (*KvPathCacheHostFn)(int hostId, const char* host, void* param);
typedef int (*KvPathCachePathFn)(int pathId, const char* name, int parentId, void* param);
typedef int (*KvPathCacheFileFn)(int fileId, const char* name, void* param);

class KvPathCache : public KvObject {
    DECLARE_DYNAMIC(KvPathCache)
public:
    KvPathCache();
    ~KvPathCache() override;
    KvPathCache(const KvPathCache&) = delete;
    KvPathCache& operator=(const KvPathCache&) = delete;

    // --- files and settings (as KvCacheDB) ---
    int Open(const char* directory, const char* name);
    void Close();
    BOOL IsOpen() const { return m_bOpen.load(); }
    const CString& GetName() const { return m_strName; }
    void SetExpiredDays(UINT days) { m_nExpiredDays.store(days); }
    UINT GetExpiredDays() const { return m_nExpiredDays.load(); }
    void EnableCacheDelete(BOOL flag) { m_bCacheDelete.store(flag != 0); }
    void SetReadOnly(BOOL flag);
    BOOL IsReadOnly() const { return m_bReadOnly.load(); }
    void SetVerbose(BOOL flag);
    void SetBusyTimeout(int ms);

    // --- splitting keys ---
    // The host as this store keys it (lower case; KvInetCache drops "www.").
    virtual CString MakeHostKey(const char* host) const;
    // Directory names and file name of a key path (already un-escaped).
    static void SplitPath(const char* path, std::vector<std::string>& dirs, std::string& file);

    // --- hosts, directories, files: ids, 0 when absent ---
    int FindHostId(const char* host);
    int FindOrCreateHost(const char* host);
    int FindPathId(int hostId, const std::vector<std::string>& dirs);
    int FindOrCreatePath(int hostId, const std::vector<std::string>& dirs);
    int CreatePathId(int hostId, int parentId, const char* name);
    // allowHtm: also try the name with "html", "shtml", "asp" or "php"
    // replaced by "htm" (names holding "?" excepted).
    int FindCacheId(int pathId, const char* fileName, BOOL allowHtm = FALSE);
    int FindCacheId(const char* host, const char* path, BOOL allowHtm = FALSE);

    // --- reading: 1 with the response filled ---
    int GetCache(const char* url, KvHttpResponse* response);
    int GetCache(const char* host, const char* path, KvHttpResponse* response);
    // A parsable "If-Modified-Since" not older than the stored time gets the
    // 304 answer; an unparsable one is a miss.
    int GetCache(KvHttpRequest* request, KvHttpResponse* response);
    // The answer as stored (no expiry test, no header rewriting).
    int GetCache(int fileId, KvHttpResponse* response);

    // --- storing and deleting: 1 on success ---
    int AddCache(const char* url, KvHttpResponse* response);
    int AddCache(const char* host, const char* path, KvHttpResponse* response);
    int UpdateCache(int fileId, KvHttpResponse* response);
    int AddCacheFromFile(const char* url, const char* file);
    int AddCacheFromFile(const char* host, const char* path, const char* file);
    int DeleteCache(const char* url);
    int DeleteCache(const char* host, const char* path);
    int DeleteCache(int fileId);
    int DeleteAllCacheByPath(int pathId);  // the directory and everything below it
    int DeleteAllCacheByHost(const char* host);
    BOOL IsExist(const char* url);
    BOOL IsExist(const char* host, const char* path);
    // The stored body into a file.
    int SaveCacheToFile(int fileId, const char* file);
    int SaveCacheToFile(const char* url, const char* file);
    int SaveCacheToFile(const char* host, const char* path, const char* file);

    // --- walking ---
    int EnumHost(KvPathCacheHostFn fn, void* param);
    int EnumPath(int hostId, int parentId, KvPathCachePathFn fn, void* param);  // parent 0: top level
    int EnumFile(int pathId, KvPathCacheFileFn fn, void* param);

    // --- export and import ---
    // Writes the stored bodies into a directory tree ("@" becomes
    // "index.htm"); names that could leave the directory are skipped.
    int ExportHost(const char* host, const char* directory);
    int ExportPath(int pathId, const char* directory);
    int ExportFile(int fileId, const char* directory);
    // Copies the stored answers into another store under the same keys.
    int ExportHost(const char* host, KvPathCache* target);
    int ExportPath(int pathId, KvPathCache* target);
    int ExportFile(int fileId, KvPathCache* target);
    // Stores every file below the directory as the host's files (a file
    // named "index.htm" also as "@"), descending into subdirectories.
    int ImportHost(const char* host, const char* directory);
    int ImportPath(const char* host, const char* keyDir, const char* directory);
    int ImportFile(const char* host, const char* path, const char* file);

    // The key path ("/a/b/") of a directory; empty when unknown.
    CString GetKeyPath(int pathId);
    // The host name of a directory.
    CString GetPathHost(int pathId);

protected:
    // The tables, indexes and counters of a new index (in a transaction).
    virtual int InitNewDatabase();
    // The statements that make cache_file (and what belongs with it).
    virtual int CreateFileTables();
    // Inserts the cache_file row of a new file.
    virtual int InsertFileRow(int pathId, int fileId, const char* name);
    // Removes rows that belong to a file beside cache_file (none here).
    virtual int DeleteFileExtras(int fileId);

    struct Stored {
        int fileId = 0;
        double modified = 0;
        double expired = 0;
        int zipped = 0;
    };
    int ReadStored(int fileId, Stored& row, KvGenBuffer* content);
    int ServeFile(const char* host, const char* path, const KvHttpRequest* request, KvHttpResponse* response);
    int StoreAnswer(int pathId, const char* fileName, KvHttpResponse& response);
    int DeleteFileLocked(int fileId);
    // The directory and every directory below it, each once, parents before
    // children (a damaged file may make the tree loop back on itself).
    bool CollectSubtree(int pathId, std::vector<int>& paths);
    int DeletePathLocked(int pathId);
    // `seen` holds the directories already exported, so a looping tree ends.
    int ExportPathTo(int pathId, const CString& directory, KvPathCache* target, std::set<int>& seen);
    // Directories (device, inode) already imported, so a link loop ends.
    typedef std::set<std::pair<unsigned long long, unsigned long long>> DirSet;
    int ImportTree(const char* host, const char* keyDir, const char* directory, DirSet& seen);
    void ReportError(const char* what, const KvSqlDB& db);

    std::atomic<UINT> m_nExpiredDays{7};
    std::atomic<bool> m_bCacheDelete{true};
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bReadOnly{false};
    CString m_strDirectory;
    KvSqlDBEx m_dbIndex;
    KvSqlDB m_dbContent;
    CString m_strName;
    KvCriticalObj m_lock;
    std::atomic<bool> m_bErrorReported{false};
};
