// KvPathCache: walking the stored tree, export to disk or another store,
// import from disk.
#include <sys/stat.h>

#include <cstring>
#include <utility>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"
#include "base/str/StrFunc.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvPathCache.h"

namespace {

// A stored name that can be used as one component inside the export
// directory (never "..", never a separator).
bool IsSafeComponent(const char* name) {
    return name && *name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && !std::strchr(name, '/') &&
           !std::strchr(name, '\\');
}

CString Join(const CString& dir, const char* name) {
    CString out = dir;
    if (!out.IsEmpty() && out[out.GetLength() - 1] != '/') out += "/";
    return out + name;
}

typedef std::vector<std::pair<int, CString>> Rows;

}  // namespace

// --- walking ------------------------------------------------------------------------

int KvPathCache::EnumHost(KvPathCacheHostFn fn, void* param) {
    Rows rows;
    {
        KvCriticalLock lock(m_lock);
        if (!IsOpen() || !fn) return 0;
        KvSqlQuery q = m_dbIndex.ExecQuery("select host_id, host_name from cache_host order by host_id");
        if (!q.IsValid()) return 0;
        for (; !q.IsEOF(); q.MoveNext()) rows.emplace_back(q.GetIntField(0, 0), q.GetTextField(1, ""));
    }
    for (auto& [id, name] : rows)
        if (!fn(id, name, param)) return 0;
    return 1;
}

int KvPathCache::EnumPath(int hostId, int parentId, KvPathCachePathFn fn, void* param) {
    Rows rows;
    {
        KvCriticalLock lock(m_lock);
        if (!IsOpen() || !fn) return 0;
        KvSqlBuffer sql;
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format(
            "select path_id, path_name from cache_path where host_id=%d and path_parent=%d order by path_name", hostId,
            parentId));
        if (!q.IsValid()) return 0;
        for (; !q.IsEOF(); q.MoveNext()) rows.emplace_back(q.GetIntField(0, 0), q.GetTextField(1, ""));
    }
    for (auto& [id, name] : rows)
        if (!fn(id, name, parentId, param)) return 0;
    return 1;
}

int KvPathCache::EnumFile(int pathId, KvPathCacheFileFn fn, void* param) {
    Rows rows;
    {
        KvCriticalLock lock(m_lock);
        if (!IsOpen() || !fn) return 0;
        KvSqlBuffer sql;
        KvSqlQuery q = m_dbIndex.ExecQuery(
            sql.Format("select file_id, file_name from cache_file where path_id=%d order by file_name", pathId));
        if (!q.IsValid()) return 0;
        for (; !q.IsEOF(); q.MoveNext()) rows.emplace_back(q.GetIntField(0, 0), q.GetTextField(1, ""));
    }
    for (auto& [id, name] : rows)
        if (!fn(id, name, param)) return 0;
    return 1;
}

// --- export ---------------------------------------------------------------------------

int KvPathCache::ExportFile(int fileId, const char* directory) {
    CString name;
    {
        KvCriticalLock lock(m_lock);
        KvSqlBuffer sql;
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select file_name from cache_file where file_id=%d", fileId));
        if (!q.IsValid() || q.IsEOF()) return 0;
        name = q.GetTextField(0, "");
    }
    if (name == "@") name = "index.htm";
    if (!IsSafeComponent(name)) return 1;  // a name that would leave the directory is skipped
    return SaveCacheToFile(fileId, Join(directory, name));
}

int KvPathCache::ExportFile(int fileId, KvPathCache* target) {
    if (!target || target == this) return 0;
    CString host, path;
    {
        KvCriticalLock lock(m_lock);
        KvSqlBuffer sql;
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select path_id, file_name from cache_file where file_id=%d", fileId));
        if (!q.IsValid() || q.IsEOF()) return 0;
        int pathId = q.GetIntField(0, 0);
        CString name = q.GetTextField(1, "");
        host = GetPathHost(pathId);
        path = GetKeyPath(pathId);
        if (name != "@") path += name;
    }
    KvHttpResponse response;
    return GetCache(fileId, &response) && target->AddCache(host, path, &response);
}

int KvPathCache::ExportPathTo(int pathId, const CString& directory, KvPathCache* target, std::set<int>& seen) {
    if (pathId <= 0 || !seen.insert(pathId).second) return 1;  // a damaged tree that loops: each directory once
    Rows files, children;
    {
        KvCriticalLock lock(m_lock);
        if (!IsOpen()) return 0;
        KvSqlBuffer sql;
        for (KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select file_id, file_name from cache_file where path_id=%d", pathId));
             !q.IsEOF(); q.MoveNext())
            files.emplace_back(q.GetIntField(0, 0), q.GetTextField(1, ""));
        for (KvSqlQuery q = m_dbIndex.ExecQuery(
                 sql.Format("select path_id, path_name from cache_path where path_parent=%d", pathId));
             !q.IsEOF(); q.MoveNext())
            children.emplace_back(q.GetIntField(0, 0), q.GetTextField(1, ""));
    }
    if (!target) ::mkdir(directory.c_str(), 0755);
    int ok = 1;
    for (auto& [id, name] : files) ok &= target ? ExportFile(id, target) : ExportFile(id, directory);
    for (auto& [id, name] : children) {
        if (target) {
            ok &= ExportPathTo(id, directory, target, seen);
        } else if (name == "@") {
            ok &= ExportPathTo(id, directory, nullptr, seen);
        } else if (IsSafeComponent(name)) {
            ok &= ExportPathTo(id, Join(directory, name), nullptr, seen);
        }
    }
    return ok;
}

int KvPathCache::ExportPath(int pathId, const char* directory) {
    std::set<int> seen;
    return ExportPathTo(pathId, directory, nullptr, seen);
}

int KvPathCache::ExportPath(int pathId, KvPathCache* target) {
    std::set<int> seen;
    return target && target != this ? ExportPathTo(pathId, CString(), target, seen) : 0;
}

namespace {

struct TopPaths {
    Rows rows;
    static int Add(int id, const char* name, int, void* param) {
        static_cast<TopPaths*>(param)->rows.emplace_back(id, name);
        return 1;
    }
};

}  // namespace

int KvPathCache::ExportHost(const char* host, const char* directory) {
    int hostId = FindHostId(host);
    if (!hostId) return 0;
    TopPaths top;
    if (!EnumPath(hostId, 0, &TopPaths::Add, &top)) return 0;
    CString dir = directory ? directory : "";
    ::mkdir(dir.c_str(), 0755);
    int ok = 1;
    std::set<int> seen;
    for (auto& [id, name] : top.rows) {
        if (name == "@") ok &= ExportPathTo(id, dir, nullptr, seen);
        else if (IsSafeComponent(name)) ok &= ExportPathTo(id, Join(dir, name), nullptr, seen);
    }
    return ok;
}

int KvPathCache::ExportHost(const char* host, KvPathCache* target) {
    if (!target || target == this) return 0;
    int hostId = FindHostId(host);
    if (!hostId) return 0;
    TopPaths top;
    if (!EnumPath(hostId, 0, &TopPaths::Add, &top)) return 0;
    int ok = 1;
    std::set<int> seen;
    for (auto& [id, name] : top.rows) ok &= ExportPathTo(id, CString(), target, seen);
    return ok;
}

// --- import ---------------------------------------------------------------------------

int KvPathCache::ImportFile(const char* host, const char* path, const char* file) {
    return AddCacheFromFile(host, path, file);
}

int KvPathCache::ImportPath(const char* host, const char* keyDir, const char* directory) {
    DirSet seen;
    return ImportTree(host, keyDir, directory, seen);
}

int KvPathCache::ImportTree(const char* host, const char* keyDir, const char* directory, DirSet& seen) {
    // Each directory once, however links lead back to it.
    struct stat st;
    if (::stat(directory ? directory : "", &st) != 0 || !S_ISDIR(st.st_mode)) return 0;
    if (!seen.emplace((unsigned long long)st.st_dev, (unsigned long long)st.st_ino).second) return 1;
    CString base = keyDir && *keyDir ? keyDir : "/";
    if (base[base.GetLength() - 1] != '/') base += "/";
    std::vector<std::string> files, dirs;
    KvListDirectory(directory, "*", false, files);
    KvListDirectory(directory, "*", true, dirs);
    int ok = 1;
    for (const std::string& name : files) {
        CString file = Join(directory, name.c_str());
        // Only plain files: reading a pipe or a device would never end.
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        ok &= ImportFile(host, base + name.c_str(), file);
        if (StrICompare(name.c_str(), "index.htm") == 0) ok &= ImportFile(host, base, file);  // also as "@"
    }
    for (const std::string& name : dirs)
        ok &= ImportTree(host, base + name.c_str() + "/", Join(directory, name.c_str()), seen);
    return ok;
}

int KvPathCache::ImportHost(const char* host, const char* directory) { return ImportPath(host, "/", directory); }
