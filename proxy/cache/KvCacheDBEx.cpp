#include "proxy/cache/KvCacheDBEx.h"

IMPLEMENT_DYNCREATE(KvCacheDBEx, KvPathCache)

namespace {

const char kCreateFile[] =
    "CREATE TABLE cache_file(path_id integer not null, file_id integer not_null, file_name text not null collate "
    "nocase, file_url text not null collate nocase, file_status integer default 0, hits integer default 0, "
    "hists_base integer default 0, flags integer default 0, primary key (path_id, file_id), unique (file_id), "
    "unique (file_url) );";
const char kCreateFileAttr[] =
    "CREATE TABLE cache_file_attr(file_id integer not_null, file_title text collate nocase, file_desc text collate "
    "nocase, file_keywords text collate nocase, primary key (file_id) );";

}  // namespace

int KvCacheDBEx::CreateFileTables() {
    return m_dbIndex.Execute(kCreateFile) >= 0 && m_dbIndex.Execute(kCreateFileAttr) >= 0;
}

CString KvCacheDBEx::GetUrlPath(int pathId) {
    KvCriticalLock lock(m_lock);
    CString host = GetPathHost(pathId);
    CString path = GetKeyPath(pathId);  // "/a/b/", "/" for "@"
    if (host.IsEmpty() || path.IsEmpty()) return CString();
    CString url;
    url.Format("http://%s/%s", host.c_str(), path.c_str() + 1);
    return url;
}

int KvCacheDBEx::InsertFileRow(int pathId, int fileId, const char* name) {
    CString url = GetUrlPath(pathId);
    if (url.IsEmpty()) return 0;
    if (CString(name) != "@") url += name;
    KvSqlBuffer sql;
    return m_dbIndex.Execute(sql.Format("insert into cache_file (path_id, file_id, file_name, file_url) values (%d, "
                                        "%d, '%q', '%q');",
                                        pathId, fileId, name, url.c_str())) >= 0;
}

int KvCacheDBEx::DeleteFileExtras(int fileId) {
    KvSqlBuffer sql;
    return m_dbIndex.Execute(sql.Format("delete from cache_file_attr where file_id=%d;", fileId)) >= 0;
}

CString KvCacheDBEx::GetFileUrl(int fileId) {
    KvCriticalLock lock(m_lock);
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format("select file_url from cache_file where file_id=%d", fileId));
    return q.IsValid() ? q.GetStringField(0, "") : CString();
}

int KvCacheDBEx::GetFileAttr(int fileId, CString& title, CString& desc, CString& keywords) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(sql.Format(
        "select file_title, file_desc, file_keywords from cache_file_attr where file_id=%d", fileId));
    if (!q.IsValid() || q.IsEOF()) return 0;
    title = q.GetStringField(0, "");
    desc = q.GetStringField(1, "");
    keywords = q.GetStringField(2, "");
    return 1;
}

int KvCacheDBEx::SetFileAttr(int fileId, const char* title, const char* desc, const char* keywords) {
    if (IsReadOnly()) return 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlStatement st = m_dbIndex.CompileStatement(
        "insert or replace into cache_file_attr (file_id, file_title, file_desc, file_keywords) values (?, ?, ?, ?);");
    return st.Bind(1, fileId) && st.Bind(2, title) && st.Bind(3, desc) && st.Bind(4, keywords) && st.Execute() >= 0;
}

int KvCacheDBEx::SetFileStatus(int fileId, int status) {
    if (IsReadOnly()) return 0;
    KvCriticalLock lock(m_lock);
    KvSqlBuffer sql;
    return IsOpen() &&
           m_dbIndex.Execute(sql.Format("update cache_file set file_status=%d where file_id=%d;", status, fileId)) >= 0;
}

int KvCacheDBEx::GetFilesToAnalize(CUIntArray& ids, int max) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_dbIndex.ExecQuery(
        sql.Format("select file_id from cache_file where file_status=0 order by file_id limit %d", max));
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) ids.Add((UINT)q.GetIntField(0, 0));
    return q.HasError() ? 0 : 1;
}
