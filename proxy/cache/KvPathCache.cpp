// KvPathCache: files, settings, hosts and the directory tree.
#include "proxy/cache/KvPathCache.h"

#include <cstring>

#include "base/file/KvFileFunc.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheFiles.h"
#include "proxy/cache/KvCacheKey.h"

IMPLEMENT_DYNAMIC(KvPathCache, KvObject)

namespace {

const char kCreateHost[] =
    "CREATE TABLE cache_host(host_id integer not null, host_name text not null collate nocase, auth_level integer "
    "default 0, hits integer default 0, hists_base integer default 0, flags integer default 0, primary key "
    "(host_id), unique (host_name) );";
const char kCreatePath[] =
    "CREATE TABLE cache_path(host_id integer not null, path_id integer not_null, path_name text not null collate "
    "nocase, path_parent integer not null, flags integer default 0, primary key (host_id, path_id), unique "
    "(path_id) );";
const char kCreateFile[] =
    "CREATE TABLE cache_file(path_id integer not null, file_id integer not_null, file_name text not null collate "
    "nocase, hits integer default 0, hists_base integer default 0, flags integer default 0, primary key (path_id, "
    "file_id), unique (file_id) );";
const char kCreateIndexes[] =
    "CREATE INDEX cache_path_idx on cache_path (host_id, path_name, path_parent);"
    "CREATE INDEX cache_file_idx on cache_file (path_id, file_name);";
const char kCreateContent[] =
    "CREATE TABLE cache_content(file_id integer not null, file_modified numeric not null, file_expired numeric not "
    "null, file_zipped integer, file_data blob, primary key (file_id) );";

}  // namespace

KvPathCache::KvPathCache() = default;

KvPathCache::~KvPathCache() { Close(); }

void KvPathCache::SetReadOnly(BOOL flag) {
    KvCriticalLock lock(m_lock);
    m_bReadOnly.store(flag != 0);
    m_dbIndex.SetReadOnly(flag);
    m_dbContent.SetReadOnly(flag);
}

void KvPathCache::SetVerbose(BOOL flag) {
    KvCriticalLock lock(m_lock);
    m_dbIndex.SetVerbose(flag);
    m_dbContent.SetVerbose(flag);
}

void KvPathCache::SetBusyTimeout(int ms) {
    KvCriticalLock lock(m_lock);
    m_dbIndex.SetBusyTimeout(ms);
    m_dbContent.SetBusyTimeout(ms);
}

int KvPathCache::Open(const char* directory, const char* name) {
    KvCriticalLock lock(m_lock);
    Close();
    m_strDirectory = KvCacheDirWithSlash(directory);
    m_strName = name ? name : "";
    if (m_strName.IsEmpty()) return 0;
    // A file whose name differs only in letter case is this store's file.
    CString index = KvCacheFindFile(m_strDirectory, m_strName + ".idx");
    CString content = KvCacheFindFile(m_strDirectory, m_strName + ".dat");
    const bool existed = IsFileExist(index);
    if (m_bReadOnly.load() && !existed) return 0;
    if (!m_dbIndex.Open(index)) {
        ReportError("opening the index", m_dbIndex);
        return 0;
    }
    if (!m_dbContent.Open(content)) {
        ReportError("opening the content", m_dbContent);
        m_dbIndex.Close();
        return 0;
    }
    // A file that exists but never got its tables counts as new.
    const bool indexReady = existed && m_dbIndex.IsTableExist("cache_file");
    const bool contentReady = m_dbContent.IsTableExist("cache_content");
    bool ok = indexReady && contentReady;
    if (m_bReadOnly.load()) {
        // nothing may be made
    } else if (!indexReady) {
        // Ids restart with a new index: old content goes first.
        ok = m_dbContent.Execute(contentReady ? "delete from cache_content;" : kCreateContent) >= 0;
        KvSqlTransaction tx(m_dbIndex);
        ok = ok && tx.IsActive() && InitNewDatabase() && tx.Commit();
        if (!ok) ReportError("making the index", m_dbIndex);
    } else if (!contentReady) {
        ok = m_dbContent.Execute(kCreateContent) >= 0;  // the content file was lost: start it again
    }
    if (!ok) {
        m_dbIndex.Close();
        m_dbContent.Close();
        return 0;
    }
    m_bOpen.store(true);
    return 1;
}

void KvPathCache::Close() {
    KvCriticalLock lock(m_lock);
    m_bOpen.store(false);
    m_dbIndex.Close();
    m_dbContent.Close();
}

int KvPathCache::InitNewDatabase() {
    if (!m_dbIndex.InitNewDatabase()) return 0;
    if (m_dbIndex.Execute(kCreateHost) < 0 || m_dbIndex.Execute(kCreatePath) < 0 || !CreateFileTables() ||
        m_dbIndex.Execute(kCreateIndexes) < 0)
        return 0;
    return m_dbIndex.InitId("cache_host", 0) && m_dbIndex.InitId("cache_path", 0) && m_dbIndex.InitId("cache_file", 0);
}

int KvPathCache::CreateFileTables() { return m_dbIndex.Execute(kCreateFile) >= 0; }

int KvPathCache::InsertFileRow(int pathId, int fileId, const char* name) {
    KvSqlBuffer sql;
    return m_dbIndex.Execute(sql.Format("insert into cache_file (path_id, file_id, file_name) values (%d, %d, '%q');",
                                        pathId, fileId, name)) >= 0;
}

int KvPathCache::DeleteFileExtras(int) { return 1; }

void KvPathCache::ReportError(const char* what, const KvSqlDB& db) {
    if (m_bErrorReported.exchange(true)) return;
    KvCacheLog("Cache store %s%s: %s failed: %s (error %d); its failures are misses, further ones not logged",
               m_strDirectory.c_str(), m_strName.c_str(), what, db.GetLastErrorMsg().c_str(), db.GetLastError());
}

// --- keys --------------------------------------------------------------------------

CString KvPathCache::MakeHostKey(const char* host) const { return KvCacheKeyHost(host); }

void KvPathCache::SplitPath(const char* path, std::vector<std::string>& dirs, std::string& file) {
    dirs.clear();
    file.clear();
    const char* p = path ? path : "";
    if (*p == '/') ++p;
    while (const char* slash = std::strchr(p, '/')) {
        dirs.emplace_back(p, (size_t)(slash - p));
        p = slash + 1;
    }
    file = p;
    if (dirs.empty()) dirs.emplace_back("@");
    if (file.empty()) file = "@";
}

// --- hosts, directories, files -------------------------------------------------------

int KvPathCache::FindHostId(const char* host) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    CString key = MakeHostKey(host);
    return m_dbIndex.ExecScalar(sql.Format("select host_id from cache_host where host_name='%q'", key.c_str()), 0);
}

int KvPathCache::FindOrCreateHost(const char* host) {
    KvCriticalLock lock(m_lock);
    int hostId = FindHostId(host);
    if (hostId || !IsOpen() || m_bReadOnly.load() || !host || !*host) return hostId;
    CString key = MakeHostKey(host);
    KvSqlBuffer sql, values;
    KvSqlTransaction tx(m_dbIndex);
    hostId = tx.IsActive() ? m_dbIndex.GetNewId("cache_host") : 0;
    if (hostId && m_dbIndex.Execute(sql.FmtInsert("cache_host", "host_name, host_id",
                                                  values.Format("'%q', %d", key.c_str(), hostId))) >= 0 &&
        tx.Commit())
        return hostId;
    ReportError("adding a host", m_dbIndex);
    return 0;
}

int KvPathCache::CreatePathId(int hostId, int parentId, const char* name) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || m_bReadOnly.load()) return 0;
    int pathId = m_dbIndex.GetNewId("cache_path");
    KvSqlBuffer sql;
    if (!pathId || m_dbIndex.Execute(sql.Format("insert into cache_path (host_id, path_id, path_name, path_parent) "
                                                "values (%d, %d, '%q', %d);",
                                                hostId, pathId, name, parentId)) < 0) {
        ReportError("adding a directory", m_dbIndex);
        return 0;
    }
    return pathId;
}

int KvPathCache::FindPathId(int hostId, const std::vector<std::string>& dirs) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || dirs.empty()) return 0;
    KvSqlBuffer sql;
    int parent = 0;
    for (const std::string& name : dirs) {
        parent = m_dbIndex.ExecScalar(sql.Format("select path_id from cache_path where host_id=%d and path_parent=%d "
                                                 "and path_name='%q'",
                                                 hostId, parent, name.c_str()),
                                      0);
        if (!parent) return 0;
    }
    return parent;
}

int KvPathCache::FindOrCreatePath(int hostId, const std::vector<std::string>& dirs) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || dirs.empty()) return 0;
    KvSqlBuffer sql;
    KvSqlTransaction tx(m_dbIndex);  // the whole chain, or nothing
    if (!tx.IsActive()) return 0;
    int parent = 0;
    for (const std::string& name : dirs) {
        int pathId = m_dbIndex.ExecScalar(sql.Format("select path_id from cache_path where host_id=%d and "
                                                     "path_parent=%d and path_name='%q'",
                                                     hostId, parent, name.c_str()),
                                          0);
        if (!pathId) pathId = CreatePathId(hostId, parent, name.c_str());
        if (!pathId) return 0;
        parent = pathId;
    }
    return tx.Commit() ? parent : 0;
}

int KvPathCache::FindCacheId(int pathId, const char* fileName, BOOL allowHtm) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || pathId <= 0 || !fileName) return 0;
    KvSqlBuffer sql;
    int fileId = m_dbIndex.ExecScalar(
        sql.Format("select file_id from cache_file where path_id=%d and file_name='%q'", pathId, fileName), 0);
    if (fileId || !allowHtm || std::strchr(fileName, '?')) return fileId;
    const char* dot = std::strrchr(fileName, '.');
    if (!dot) return 0;
    CString ext(dot + 1);
    ext.MakeLower();
    if (ext != "html" && ext != "shtml" && ext != "asp" && ext != "php") return 0;
    CString htm = CString(fileName).Left((int)(dot - fileName)) + ".htm";
    return m_dbIndex.ExecScalar(
        sql.Format("select file_id from cache_file where path_id=%d and file_name='%q'", pathId, htm.c_str()), 0);
}

int KvPathCache::FindCacheId(const char* host, const char* path, BOOL allowHtm) {
    KvCriticalLock lock(m_lock);
    std::vector<std::string> dirs;
    std::string file;
    SplitPath(path, dirs, file);
    int hostId = FindHostId(host);
    int pathId = hostId ? FindPathId(hostId, dirs) : 0;
    return pathId ? FindCacheId(pathId, file.c_str(), allowHtm) : 0;
}

CString KvPathCache::GetKeyPath(int pathId) {
    KvCriticalLock lock(m_lock);
    CString path("/");
    KvSqlBuffer sql;
    for (int depth = 0; pathId > 0 && depth < 1000; ++depth) {
        KvSqlQuery q = m_dbIndex.ExecQuery(
            sql.Format("select path_name, path_parent from cache_path where path_id=%d", pathId));
        if (!q.IsValid() || q.IsEOF()) return CString();
        CString name = q.GetTextField(0, "");
        if (name != "@") path = CString("/") + name + path;
        pathId = q.GetIntField(1, 0);
    }
    return path;
}

CString KvPathCache::GetPathHost(int pathId) {
    KvCriticalLock lock(m_lock);
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format(
        "select h.host_name from cache_host h, cache_path p where p.path_id=%d and h.host_id=p.host_id", pathId));
    return q.IsValid() ? q.GetStringField(0, "") : CString();
}
