// The site database: advertising blocks.
#include <random>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "proxy/web/KvWebDB.h"

namespace {

void ReadAdvText(KvSqlQuery& q, KvAdvText* adv) {
    adv->m_strKey = q.GetStringField(0);
    adv->m_strTitle = q.GetStringField(1);
    adv->m_strText = q.GetStringField(2);
    adv->m_bActive = q.GetIntField(3);
    adv->m_nHits = q.GetIntField(4);
}

void ReadAdvRandom(KvSqlQuery& q, KvAdvRandom* adv) {
    adv->m_nID = q.GetIntField(0);
    adv->m_strKey = q.GetStringField(1);
    adv->m_strTitle = q.GetStringField(2);
    adv->m_strText = q.GetStringField(3);
    adv->m_bActive = q.GetIntField(4);
    adv->m_nHits = q.GetIntField(5);
}

// 0..count-1, each with the same chance.
int DrawOffset(int count) {
    thread_local std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<int>(0, count - 1)(engine);
}

}  // namespace

// --- one text per key -------------------------------------------------------------

int KvWebDB::PopulateAdvText(KvObjectArray& out) {
    if (!IsOpen()) return 0;
    KvSqlQuery q = ExecQuery("select adv_key, adv_title, adv_text, adv_active, adv_hits from advtext order by adv_key;");
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto* adv = new KvAdvText;
        ReadAdvText(q, adv);
        if (out.Add(adv) < 0) {
            delete adv;
            return 0;
        }
    }
    return 1;
}

int KvWebDB::GetAdvText(const char* key, KvAdvText* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = ExecQuery(sql.Format(
        "select adv_key, adv_title, adv_text, adv_active, adv_hits from advtext where adv_key='%q';", key));
    if (!q.IsValid() || q.IsEOF()) return 0;
    ReadAdvText(q, adv);
    return 1;
}

int KvWebDB::AddAdvText(KvAdvText* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    sql.Format("insert into advtext (adv_key, adv_title, adv_text, adv_active, adv_hits) values ('%q', '%q', '%q', "
               "%d, %d);",
               adv->m_strKey.c_str(), adv->m_strTitle.c_str(), adv->m_strText.c_str(), adv->m_bActive, adv->m_nHits);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::UpdateAdvText(const char* oldKey, KvAdvText* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    sql.Format("update advtext set adv_key='%q', adv_title='%q', adv_text='%q', adv_active=%d where adv_key='%q';",
               adv->m_strKey.c_str(), adv->m_strTitle.c_str(), adv->m_strText.c_str(), adv->m_bActive, oldKey);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::DeleteAdvText(const char* key) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("delete from advtext where adv_key='%q';", key)) < 0 ? 0 : 1;
}

int KvWebDB::ResetHitsAdvText() {
    if (!IsOpen()) return 0;
    return Execute("update advtext set adv_hits=0;") < 0 ? 0 : 1;
}

// --- several texts per key ----------------------------------------------------------

int KvWebDB::PopulateAdvRandom(KvObjectArray& out) {
    if (!IsOpen()) return 0;
    KvSqlQuery q = ExecQuery(
        "select adv_id, adv_key, adv_title, adv_text, adv_active, adv_hits from advrnd order by adv_key, adv_id;");
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        auto* adv = new KvAdvRandom;
        ReadAdvRandom(q, adv);
        if (out.Add(adv) < 0) {
            delete adv;
            return 0;
        }
    }
    return 1;
}

int KvWebDB::QueryAdvRandom(const char* sql, KvAdvRandom* adv) {
    KvSqlQuery q = ExecQuery(sql);
    if (!q.IsValid() || q.IsEOF()) return 0;
    ReadAdvRandom(q, adv);
    return 1;
}

int KvWebDB::GetAdvRandom(const char* key, KvAdvRandom* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    int count = ExecScalar(sql.Format("select count(adv_id) from advrnd where adv_key='%q'", key), 0);
    if (count <= 0) return 0;
    return QueryAdvRandom(sql.Format("select adv_id, adv_key, adv_title, adv_text, adv_active, adv_hits from advrnd "
                                     "where adv_key='%q' limit 1 offset %d;",
                                     key, DrawOffset(count)),
                          adv);
}

int KvWebDB::GetAdvRandom(int id, KvAdvRandom* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    return QueryAdvRandom(
        sql.Format("select adv_id, adv_key, adv_title, adv_text, adv_active, adv_hits from advrnd where adv_id=%d;", id),
        adv);
}

int KvWebDB::AddAdvRandom(KvAdvRandom* adv) {
    if (!IsOpen() || !adv) return 0;
    int id = GetNewId("advrnd");
    if (id <= 0) return 0;
    adv->m_nID = id;
    KvSqlBuffer sql;
    sql.Format("insert into advrnd (adv_id, adv_key, adv_title, adv_text, adv_active, adv_hits) values (%d, '%q', "
               "'%q', '%q', %d, %d);",
               adv->m_nID, adv->m_strKey.c_str(), adv->m_strTitle.c_str(), adv->m_strText.c_str(), adv->m_bActive,
               adv->m_nHits);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::UpdateAdvRandom(KvAdvRandom* adv) {
    if (!IsOpen() || !adv) return 0;
    KvSqlBuffer sql;
    sql.Format("update advrnd set adv_key='%q', adv_title='%q', adv_text='%q', adv_active=%d where adv_id=%d;",
               adv->m_strKey.c_str(), adv->m_strTitle.c_str(), adv->m_strText.c_str(), adv->m_bActive, adv->m_nID);
    return Execute(sql) < 0 ? 0 : 1;
}

int KvWebDB::DeleteAdvRandom(int id) {
    if (!IsOpen()) return 0;
    KvSqlBuffer sql;
    return Execute(sql.Format("delete from advrnd where adv_id=%d;", id)) < 0 ? 0 : 1;
}

int KvWebDB::ResetHitsAdvRandom() {
    if (!IsOpen()) return 0;
    return Execute("update advrnd set adv_hits=0;") < 0 ? 0 : 1;
}
