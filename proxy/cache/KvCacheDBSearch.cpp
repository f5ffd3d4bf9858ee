// KvCacheDB: counting objects, naming a host and searching stored
// addresses, for the pages that browse the cache.
#include <string>

#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheKey.h"

namespace {

// The LIKE pattern "%text%" with the pattern's own wildcards and the escape
// character taken literally (the statement says "escape '\'").
std::string ContainsPattern(const char* text) {
    std::string pattern = "%";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '%' || *p == '_' || *p == '\\') pattern += '\\';
        pattern += *p;
    }
    return pattern + "%";
}

// The text as typed, or as the stores keep a path ("a b" is kept as
// "a%20b").
const char kMatchFrom[] =
    " from cache_object o join cache_host h on h.host_id=o.host_id"
    " where ('http://' || h.host_name || o.obj_path) like ?1 escape '\\'"
    " or ('http://' || h.host_name || o.obj_path) like ?2 escape '\\'";

}  // namespace

int KvCacheDB::CountObjects() {
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return -1;
    return m_dbIndex.ExecScalar("select count(*) from cache_object", -1);
}

CString KvCacheDB::GetHostName(int hostId) {
    KvCriticalLock lock(m_lock);
    if (!IsOpen() || hostId <= 0) return CString();
    KvSqlStatement st = m_dbIndex.CompileStatement("select host_name from cache_host where host_id=?");
    if (!st.Bind(1, hostId)) return CString();
    KvSqlQuery q = st.ExecQuery();
    if (!q.IsValid() || q.IsEOF()) return CString();
    return q.GetTextField(0, "");
}

int KvCacheDB::SearchObjects(const char* text, int offset, int limit, std::vector<KvCacheFound>& found, int& total) {
    total = 0;
    KvCriticalLock lock(m_lock);
    if (!IsOpen()) return 0;
    const std::string pattern = ContainsPattern(text);
    const std::string keyed = ContainsPattern(KvCacheKeyPath(text ? text : ""));
    KvSqlStatement count = m_dbIndex.CompileStatement((std::string("select count(*)") + kMatchFrom).c_str());
    if (!count.Bind(1, pattern.c_str()) || !count.Bind(2, keyed.c_str())) return 0;
    {
        KvSqlQuery q = count.ExecQuery();
        if (!q.IsValid() || q.IsEOF()) return 0;
        total = q.GetIntField(0, 0);
    }
    if (limit <= 0 || offset < 0 || offset >= total) return 1;
    KvSqlStatement rows = m_dbIndex.CompileStatement(
        (std::string("select o.obj_id, h.host_name, o.obj_path") + kMatchFrom +
         " order by h.host_name, o.obj_path limit ?3 offset ?4")
            .c_str());
    if (!rows.Bind(1, pattern.c_str()) || !rows.Bind(2, keyed.c_str()) || !rows.Bind(3, limit) ||
        !rows.Bind(4, offset))
        return 0;
    KvSqlQuery q = rows.ExecQuery();
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        KvCacheFound item;
        item.objId = q.GetIntField(0, 0);
        item.host = q.GetTextField(1, "");
        item.path = q.GetTextField(2, "");
        found.push_back(std::move(item));
    }
    return q.HasError() ? 0 : 1;
}
