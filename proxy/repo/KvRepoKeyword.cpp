#include "proxy/repo/KvRepoKeyword.h"

#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRows.h"

IMPLEMENT_DYNCREATE(KvRepoKeyword, KvRepoBase)

namespace {

const char* const kSchema[] = {
    "create table kwdlist (  kwd char(64) not null default '',  hits int(3) not null default '0',  last_updated "
    "datetime not null default '1980-01-01 00:00:00',  primary key  (kwd));",
    "create table kwddefault (  kwd char(64) not null default '' collate nocase,  links text,  last_updated "
    "datetime not null default '1980-01-01 00:00:00',  primary key  (kwd));",
    "create table kwdrelated (  kwd char(64) not null default '' collate nocase,  kwdrel char(64) not null "
    "default '' collate nocase,  last_updated datetime not null default '1980-01-01 00:00:00',  primary key  "
    "(kwd,kwdrel));",
    "create table kwdcache (  kwd char(64) not null default '' collate nocase,  se  char(16) not null default '' "
    "collate nocase,  cache text,  last_updated datetime not null default '1980-01-01 00:00:00',  primary key  "
    "(kwd, se));",
};

double Now() { return KvRepoDayNumber(KvTime::GetCurTime()); }

}  // namespace

int KvRepoKeyword::_DoInitNewRepository() { return _ExecuteAll(kSchema, (int)(sizeof kSchema / sizeof *kSchema)); }

int KvRepoKeyword::_IsRepositoryPresent() { return m_pDB && m_pDB->IsTableExist("kwdcache"); }

bool KvRepoKeyword::Exists(const char* sql) {
    if (!_CanRead()) return false;
    KvSqlQuery q = m_pDB->ExecQuery(sql);
    return q.IsValid() && !q.IsEOF();
}

int KvRepoKeyword::Run(const char* sql) {
    if (!_CanWrite()) return 0;
    return m_pDB->Execute(sql) < 0 ? 0 : 1;
}

BOOL KvRepoKeyword::IsKeywordExist(const char* keyword) {
    KvSqlBuffer sql;
    return Exists(sql.Format("select hits from kwdlist where kwd='%q'", keyword));
}

BOOL KvRepoKeyword::IsKeywordDefaultExist(const char* keyword) {
    KvSqlBuffer sql;
    return Exists(sql.Format("select kwd from kwddefault where kwd='%q'", keyword));
}

BOOL KvRepoKeyword::IsKeywordCacheExist(const char* keyword, const char* service) {
    KvSqlBuffer sql;
    return Exists(sql.Format("select kwd from kwdcache where kwd='%q' and se='%q'", keyword, service));
}

int KvRepoKeyword::GetKeywordHits(const char* keyword) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select hits from kwdlist where kwd='%q'", keyword), 0);
}

int KvRepoKeyword::IncHits(const char* keyword) {
    KvSqlBuffer sql;
    if (IsKeywordExist(keyword)) {
        return Run(sql.Format("update kwdlist set hits=hits+1, last_updated=%f where kwd='%q'", Now(), keyword));
    }
    return Run(sql.Format("insert into kwdlist (kwd, hits, last_updated) values ('%q', 1, %f)", keyword, Now()));
}

int KvRepoKeyword::SetRelatedKeyword(const char* keyword, const char* related) {
    KvSqlBuffer sql;
    return Run(sql.Format("insert into kwdrelated (kwd, kwdrel, last_updated) values ('%q', '%q', %f);", keyword,
                          related, Now()));
}

int KvRepoKeyword::SetKeywordDefaultLinks(const char* keyword, const char* links) {
    KvSqlBuffer sql;
    if (IsKeywordDefaultExist(keyword)) {
        return Run(sql.Format("update kwddefault set links='%q', last_updated=%f where kwd='%q'", links, Now(),
                              keyword));
    }
    return Run(sql.Format("insert into kwddefault (kwd, links, last_updated) values ('%q', '%q', %f)", keyword, links,
                          Now()));
}

int KvRepoKeyword::SetKeywordCache(const char* keyword, const char* service, const char* text) {
    KvSqlBuffer sql;
    if (IsKeywordCacheExist(keyword, service)) {
        return Run(sql.Format("update kwdcache set cache='%q', last_updated=%f where kwd='%q' and se='%q'", text,
                              Now(), keyword, service));
    }
    return Run(sql.Format("insert into kwdcache (kwd, se, last_updated, cache) values ('%q', '%q', %f, '%q')",
                          keyword, service, Now(), text));
}

int KvRepoKeyword::GetKeywordCache(const char* keyword, const char* service, CString& text, KvTime& updated) {
    text.Empty();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(
        sql.Format("select cache, last_updated from kwdcache where kwd='%q' and se='%q'", keyword, service));
    if (!q.IsValid() || q.IsEOF()) return 0;
    text = q.GetStringField(0);
    updated = KvRepoTimeFromDayNumber(q.GetFloatField(1));
    return 1;
}

int KvRepoKeyword::DeleteKeywordCache(const char* keyword, const char* service) {
    KvSqlBuffer sql;
    return Run(sql.Format("delete from kwdcache where kwd='%q' and se='%q'", keyword, service));
}
