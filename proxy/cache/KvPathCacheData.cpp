// KvPathCache: storing, serving and deleting files.
#include <climits>
#include <cstring>
#include <set>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "base/platform/FileIo.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/web/KvMime.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/cache/KvMemGzip.h"
#include "proxy/cache/KvPathCache.h"

namespace {

// An answer ready for the content table, made before the lock is taken.
struct Prepared {
    KvGenBuffer blob;
    double modified = 0;
    int zipped = 0;
    bool ok = false;
};

void PrepareAnswer(KvHttpResponse& response, Prepared& out) {
    KvGenBuffer data(4096);
    if (!KvCacheSerialize(response, data) || data.GetCount() > (size_t)INT_MAX / 2) return;
    out.modified = KvCacheModifiedTime(response).GetDayNumber();
    KvMemGzip gz;
    const char* bytes = data.GetData();
    size_t length = data.GetCount();
    if (IsMimeText(response.GetHeaderValue("Content-Type")) && gz.Compress(bytes, (UINT)length)) {
        bytes = reinterpret_cast<const char*>(gz.GetData());
        length = gz.GetLength();
        out.zipped = 1;
    }
    out.blob.SetAllocSize(length + length / 64 + 16);
    out.ok = KvCacheEncodeBlob(bytes, length, out.blob) && out.blob.GetCount() <= (size_t)INT_MAX;
}

double Now() { return KvCacheNow().GetDayNumber(); }

}  // namespace

// --- storing -----------------------------------------------------------------------

int KvPathCache::StoreAnswer(int pathId, const char* fileName, KvHttpResponse& response) {
    Prepared prep;
    PrepareAnswer(response, prep);
    if (!prep.ok) return 0;
    const double expired = Now() + (double)m_nExpiredDays.load();
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || m_bReadOnly.load()) return 0;
    int fileId = FindCacheId(pathId, fileName, FALSE);
    const bool isNew = fileId == 0;
    // A new file's id is committed on its own first, so it is never reused.
    if (isNew && !(fileId = m_dbIndex.GetNewId("cache_file"))) {
        ReportError("taking a file id", m_dbIndex);
        return 0;
    }
    // "insert or replace": the content row is right whatever an earlier
    // failure left behind.
    KvSqlStatement st = m_dbContent.CompileStatement(
        "insert or replace into cache_content (file_id, file_modified, file_expired, file_zipped, file_data) "
        "values (?, ?, ?, ?, ?);");
    if (!st.Bind(1, fileId) || !st.Bind(2, prep.modified) || !st.Bind(3, expired) || !st.Bind(4, prep.zipped) ||
        !st.Bind(5, reinterpret_cast<const unsigned char*>(prep.blob.GetData()), (int)prep.blob.GetCount()) ||
        st.Execute() < 0) {
        ReportError("writing content", m_dbContent);
        return 0;
    }
    if (isNew && !InsertFileRow(pathId, fileId, fileName)) {
        ReportError("adding a file", m_dbIndex);
        KvSqlBuffer sql;
        if (m_dbContent.Execute(sql.Format("delete from cache_content where file_id=%d;", fileId)) < 0) {
            ReportError("removing the content of a file not added", m_dbContent);
        }
        return 0;
    }
    return 1;
}

int KvPathCache::AddCache(const char* host, const char* path, KvHttpResponse* response) {
    if (!response || m_bReadOnly.load() || !host || !*host) return 0;
    std::vector<std::string> dirs;
    std::string file;
    SplitPath(path, dirs, file);
    int pathId = 0;
    {
        KvCriticalLock lock(m_lock);
        int hostId = FindOrCreateHost(host);
        pathId = hostId ? FindOrCreatePath(hostId, dirs) : 0;
    }
    return pathId ? StoreAnswer(pathId, file.c_str(), *response) : 0;
}

int KvPathCache::AddCache(const char* url, KvHttpResponse* response) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) ? AddCache(host, path, response) : 0;
}

int KvPathCache::UpdateCache(int fileId, KvHttpResponse* response) {
    if (!response || m_bReadOnly.load()) return 0;
    int pathId = 0;
    CString name;
    {
        KvCriticalLock lock(m_lock);
        KvSqlBuffer sql;
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select path_id, file_name from cache_file where file_id=%d", fileId));
        if (!q.IsValid() || q.IsEOF()) return 0;
        pathId = q.GetIntField(0, 0);
        name = q.GetTextField(1, "");
    }
    return StoreAnswer(pathId, name, *response);
}

int KvPathCache::AddCacheFromFile(const char* host, const char* path, const char* file) {
    KvHttpResponse response;
    return response.CreateFromLocalFile(file) ? AddCache(host, path, &response) : 0;
}

int KvPathCache::AddCacheFromFile(const char* url, const char* file) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) ? AddCacheFromFile(host, path, file) : 0;
}

// --- reading -----------------------------------------------------------------------

int KvPathCache::ReadStored(int fileId, Stored& row, KvGenBuffer* content) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || fileId <= 0) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbContent.ExecQuery(
        sql.Format("select file_modified, file_expired, file_zipped%s from cache_content where file_id=%d",
                   content ? ", file_data" : "", fileId));
    if (!q.IsValid()) {
        ReportError("reading", m_dbContent);
        return 0;
    }
    if (q.IsEOF()) return 0;
    row.fileId = fileId;
    row.modified = q.GetFloatField(0, 0);
    row.expired = q.GetFloatField(1, 0);
    row.zipped = q.GetIntField(2, 0);
    if (!content) return 1;
    int length = 0;
    const unsigned char* data = q.GetBlobField(3, length);
    if (!data || length <= 0) return 0;
    content->SetAllocSize((size_t)length);
    return KvCacheDecodeBlob(data, (size_t)length, *content) ? 1 : 0;
}

namespace {

// The stored answer into the response, inflated first when it was zipped.
int RestoreStored(KvGenBuffer& content, int zipped, KvHttpResponse& response) {
    if (!zipped) return KvCacheRestore(content, response);
    KvMemGzip gz;  // bounded: a damaged or hostile blob cannot exhaust memory
    if (!gz.Decompress(content.GetData(), (UINT)content.GetCount())) return 0;
    return KvCacheRestore(gz.GetData(), gz.GetLength(), response);
}

}  // namespace

int KvPathCache::ServeFile(const char* host, const char* path, const KvHttpRequest* request,
                           KvHttpResponse* response) {
    if (!response) return 0;
    int fileId = FindCacheId(host, path, TRUE);
    Stored row;
    if (!fileId || !ReadStored(fileId, row, nullptr)) return 0;
    if (Now() - row.expired > 1e-10 && m_bCacheDelete.load()) {
        if (!m_bReadOnly.load()) DeleteCache(fileId);
        return 0;
    }
    KvTime modified(row.modified);
    const char* since = request ? request->GetHeaderValue("If-Modified-Since") : nullptr;
    if (since && *since) {
        SYSTEMTIME st{};
        if (!GetRFCTime(since, &st) || !KvTime(st).IsValid()) return 0;
        // Not changed since the browser's copy: 304.
        if (KvTime(st).GetDayNumber() + 1e-9 >= row.modified) {
            response->Reset();
            return response->NotModifiedResponse(modified);
        }
    }
    KvGenBuffer content;
    if (!ReadStored(fileId, row, &content) || !RestoreStored(content, row.zipped, *response)) return 0;
    if (!KvCacheServeHeadersPath(*response, modified, m_strName)) {
        response->Reset();
        return 0;
    }
    return 1;
}

int KvPathCache::GetCache(const char* host, const char* path, KvHttpResponse* response) {
    return ServeFile(host, path, nullptr, response);
}

int KvPathCache::GetCache(const char* url, KvHttpResponse* response) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) ? ServeFile(host, path, nullptr, response) : 0;
}

int KvPathCache::GetCache(KvHttpRequest* request, KvHttpResponse* response) {
    CString host, path;
    if (!request || !KvCacheKeyFromUrl(request->m_strURL, host, path)) return 0;
    return ServeFile(host, path, request, response);
}

int KvPathCache::GetCache(int fileId, KvHttpResponse* response) {
    if (!response) return 0;
    Stored row;
    KvGenBuffer content;
    return ReadStored(fileId, row, &content) && RestoreStored(content, row.zipped, *response);
}

int KvPathCache::SaveCacheToFile(const char* host, const char* path, const char* file) {
    int fileId = FindCacheId(host, path, FALSE);
    return fileId ? SaveCacheToFile(fileId, file) : 0;
}

int KvPathCache::SaveCacheToFile(const char* url, const char* file) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) ? SaveCacheToFile(host, path, file) : 0;
}

BOOL KvPathCache::IsExist(const char* host, const char* path) { return FindCacheId(host, path, FALSE) != 0; }

BOOL KvPathCache::IsExist(const char* url) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) && IsExist(host, path);
}

int KvPathCache::SaveCacheToFile(int fileId, const char* file) {
    KvHttpResponse response;
    if (!file || !*file || !GetCache(fileId, &response)) return 0;
    return KvWriteFileAtomic(file, response.m_bufBody.GetData(), response.m_bufBody.GetCount()) ? 1 : 0;
}

// --- deleting: the index rows first, the content after ------------------------------

int KvPathCache::DeleteFileLocked(int fileId) {
    KvSqlBuffer sql;
    {
        // The file's index rows (and its attributes) go together.
        KvSqlTransaction tx(m_dbIndex);
        if (!tx.IsActive() || m_dbIndex.Execute(sql.Format("delete from cache_file where file_id=%d;", fileId)) < 0 ||
            !DeleteFileExtras(fileId) || !tx.Commit()) {
            ReportError("deleting a file", m_dbIndex);
            return 0;
        }
    }
    if (m_dbContent.Execute(sql.Format("delete from cache_content where file_id=%d;", fileId)) < 0) {
        ReportError("deleting content", m_dbContent);
        return 0;
    }
    return 1;
}

int KvPathCache::DeleteCache(int fileId) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    return IsOpen() ? DeleteFileLocked(fileId) : 0;
}

int KvPathCache::DeleteCache(const char* host, const char* path) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    int fileId = FindCacheId(host, path, FALSE);
    return fileId ? DeleteFileLocked(fileId) : 1;
}

int KvPathCache::DeleteCache(const char* url) {
    CString host, path;
    return KvCacheKeyFromUrl(url, host, path) ? DeleteCache(host, path) : 0;
}

bool KvPathCache::CollectSubtree(int pathId, std::vector<int>& paths) {
    paths.clear();
    if (pathId <= 0) return true;
    std::set<int> seen{pathId};
    paths.push_back(pathId);
    KvSqlBuffer sql;
    for (size_t i = 0; i < paths.size(); ++i) {
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select path_id from cache_path where path_parent=%d", paths[i]));
        if (!q.IsValid()) return false;
        for (; !q.IsEOF(); q.MoveNext()) {
            int child = q.GetIntField(0, 0);
            if (child > 0 && seen.insert(child).second) paths.push_back(child);
        }
        if (q.HasError()) return false;
    }
    return true;
}

int KvPathCache::DeletePathLocked(int pathId) {
    std::vector<int> paths;
    if (!CollectSubtree(pathId, paths)) {
        ReportError("listing directories", m_dbIndex);
        return 0;
    }
    KvSqlBuffer sql;
    // Deepest first: a directory row goes only after everything below it.
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
        CUIntArray files;
        KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select file_id from cache_file where path_id=%d", *it));
        if (!q.IsValid()) return 0;
        for (; !q.IsEOF(); q.MoveNext()) files.Add((UINT)q.GetIntField(0, 0));
        q.Finalize();
        for (int i = 0; i < files.GetSize(); ++i)
            if (!DeleteFileLocked((int)files[i])) return 0;
        if (m_dbIndex.Execute(sql.Format("delete from cache_path where path_id=%d;", *it)) < 0) return 0;
    }
    return 1;
}

int KvPathCache::DeleteAllCacheByPath(int pathId) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    return IsOpen() ? DeletePathLocked(pathId) : 0;
}

int KvPathCache::DeleteAllCacheByHost(const char* host) {
    if (m_bReadOnly.load()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    int hostId = FindHostId(host);
    if (!hostId) return 1;
    KvSqlBuffer sql;
    CUIntArray top;
    for (KvSqlQuery q = m_dbIndex.ExecQuery(
             sql.Format("select path_id from cache_path where host_id=%d and path_parent=0", hostId));
         !q.IsEOF(); q.MoveNext())
        top.Add((UINT)q.GetIntField(0, 0));
    for (int i = 0; i < top.GetSize(); ++i)
        if (!DeletePathLocked((int)top[i])) return 0;
    return m_dbIndex.Execute(sql.Format("delete from cache_host where host_id=%d;", hostId)) >= 0;
}
