#include "proxy/repo/KvSearchStore.h"

#include <sys/stat.h>

#include <memory>

#include "base/containers/KvObjectArray.h"
#include "base/time/KvTime.h"
#include "proxy/repo/KvSearchIdList.h"

namespace {

const char kCreateProfiles[] =
    "create table search_profile(se_id     int(3) not null,se_query  varchar(255),se_hits   int(3) not null "
    "default 0,se_count  int(3) not null default 0,se_list  text,last_search datetime not null default "
    "'1980-00-01 00:00:00',primary key (se_id),unique (se_query));";

bool IsEmptyText(const char* s) { return !s || !*s; }

}  // namespace

int KvSearchStore::OpenStore(const char* path) {
    if (!Open(path)) return 0;
    if (IsTableExist("search_profile")) return 1;
    KvSqlTransaction tx(*this);
    if (!tx.IsActive() || !InitNewDatabase() || !tx.Commit()) {
        Close();
        return 0;
    }
    return 1;
}

int KvSearchStore::InitNewDatabase() {
    if (!KvSqlDBEx::InitNewDatabase()) return 0;
    if (Execute(kCreateProfiles) < 0) return 0;
    return InitId("search_profile", 0);
}

int KvSearchStore::FindSearchProfile(const char* query) {
    KvSqlBuffer sql;
    return ExecScalar(sql.Format("select se_id from search_profile where se_query = '%q';", query), 0);
}

int KvSearchStore::AddNewSearchProfile(const char* query) {
    int id = GetNewId("search_profile");
    if (id <= 0) return 0;
    CString now = KvTime::GetCurTime().Format("%Y-%m-%d %H:%M:%S");
    KvSqlBuffer sql;
    sql.Format("insert into search_profile (se_id, se_query, se_hits, last_search) values (%d, '%q', 0, '%q');", id,
               query, now.c_str());
    return Execute(sql) < 0 ? 0 : id;
}

int KvSearchStore::AddNewSearchResults(int id, const CUIntArray& ids) {
    std::vector<int> kept;
    for (int i = 0; i < ids.GetSize() && (int)kept.size() < KV_SEARCH_MAX_RESULTS; ++i) kept.push_back((int)ids[i]);
    KvSqlStatement st = CompileStatement("update search_profile set se_count=?, se_list=? where se_id=?");
    CString list = KvFormatIdList(kept);
    if (!st.IsValid() || !st.Bind(1, (int)kept.size()) || !st.Bind(2, list.c_str()) || !st.Bind(3, id)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}

int KvSearchStore::FindOrCreateSearchProfile(const char* query, const char* condition) {
    if (IsEmptyText(query)) return 0;
    int id = FindSearchProfile(query);
    if (id > 0) return id;
    if (IsEmptyText(condition) || !HasContent()) return 0;
    KvSqlBuffer sql;
    // Only the first ids are kept, so the engine may stop there (it does
    // when an index gives the order).
    sql.Format("select %s from %s where (%s) order by %s limit %d;", m_target.idColumn, m_target.table, condition,
               m_target.idsOrder, KV_SEARCH_MAX_RESULTS);
    CUIntArray ids;
    KvSqlQuery q = m_pContentDB->ExecQuery(sql);
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF() && ids.GetSize() < KV_SEARCH_MAX_RESULTS; q.MoveNext()) ids.Add((UINT)q.GetIntField(0));
    if (q.HasError()) return 0;
    q.Finalize();
    KvSqlTransaction tx(*this);
    if (!tx.IsActive()) return 0;
    id = AddNewSearchProfile(query);
    if (id <= 0 || !AddNewSearchResults(id, ids) || !tx.Commit()) return 0;
    return id;
}

CString KvSearchStore::GetSearchResultIds(int id) {
    KvSqlBuffer sql;
    KvSqlQuery q = ExecQuery(sql.Format("select se_list from search_profile where se_id=%d", id));
    if (!q.IsValid() || q.IsEOF()) return CString();
    return KvFormatIdList(KvParseIdList(q.GetTextField(0)));
}

CString KvSearchStore::_GetIdCondition(int id, const char* filter) {
    CString ids = GetSearchResultIds(id);
    CString cond;
    if (IsEmptyText(filter)) {
        cond.Format("(%s in(%s))", m_target.idColumn, ids.c_str());
    } else {
        cond.Format("(%s) and (%s in(%s))", filter, m_target.idColumn, ids.c_str());
    }
    return cond;
}

int KvSearchStore::_GetSqlPopulateSearchResultCount(KvSqlBuffer& sql, int id) {
    sql.Format("select se_count from search_profile where se_id=%d", id);
    return 1;
}

int KvSearchStore::_GetSqlPopulateSearchResultCount(KvSqlBuffer& sql, int id, const char* filter) {
    sql.Format("select count(%s) from %s where (%s)", m_target.idColumn, m_target.table,
               _GetIdCondition(id, filter).c_str());
    return 1;
}

int KvSearchStore::_GetSqlPopulateSearchResult(KvSqlBuffer& sql, int id, const char* filter, int limit, int offset) {
    sql.Format("select %s from %s where (%s) order by %s  limit %d offset %d;", m_target.columns, m_target.table,
               _GetIdCondition(id, filter).c_str(), m_target.order, limit, offset);
    return 1;
}

int KvSearchStore::PopulateSearchResultCount(int id) {
    KvSqlBuffer sql;
    if (!_GetSqlPopulateSearchResultCount(sql, id)) return 0;
    return ExecScalar(sql, 0);
}

int KvSearchStore::PopulateSearchResultCount(int id, const char* filter) {
    KvSqlBuffer sql;
    if (!HasContent() || !_GetSqlPopulateSearchResultCount(sql, id, filter)) return 0;
    return m_pContentDB->ExecScalar(sql, 0);
}

int KvSearchStore::PopulateSearchResult(int id, const char* filter, int limit, int offset, KvObjectArray* array) {
    if (!array) return 0;
    array->RemoveAll();
    KvSqlBuffer sql;
    if (!HasContent() || !_GetSqlPopulateSearchResult(sql, id, filter, limit, offset)) return 0;
    return _ReadContentRows(sql, array);
}

int KvSearchStore::_ReadContentRows(const char* sql, KvObjectArray* array) {
    array->RemoveAll();
    if (!HasContent()) return 0;
    KvSqlQuery q = m_pContentDB->ExecQuery(sql);
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        std::unique_ptr<KvObject> record(_ReadRecord(q));
        if (!record || array->Add(record.get()) < 0) return 0;
        record.release();
    }
    return q.HasError() ? 0 : 1;
}

int KvSearchStore::ClearSearchProfiles() {
    return Execute("delete from search_profile;") < 0 ? 0 : 1;
}
