#include "proxy/repo/KvRepoKavori.h"

#include "ext/KvSqLite/KvSqlDBEx.h"
#include "ext/KvSqLite/KvSqlStatement.h"
#include "proxy/repo/KvRepoRows.h"

IMPLEMENT_DYNCREATE(KvRepoKavori, KvRepoBase)

namespace {

const char* const kSchema[] = {
    "create table advitem (adv_id integer primary key autoincrement, adv_url text not null, adv_showas text "
    "not null default '', adv_title text not null default '', adv_desc text not null default '', adv_note text "
    "not null default '', adv_shown integer not null default 0, adv_active integer not null default 1, adv_great "
    "integer not null default 0, adv_hits integer not null default 0, adv_flags integer not null default 0, "
    "adv_uploadby text not null default '', adv_uploadon real not null default 0);",
};

const char kColumns[] =
    "adv_id, adv_url, adv_showas, adv_title, adv_desc, adv_note, adv_shown, adv_active, adv_great, adv_hits, "
    "adv_flags, adv_uploadby, adv_uploadon";

void ReadRow(const KvSqlQuery& q, KvAdvItem& item) {
    item.m_nID = q.GetIntField(0);
    item.m_strUrl = q.GetStringField(1);
    item.m_strShowAs = q.GetStringField(2);
    item.m_strTitle = q.GetStringField(3);
    item.m_strDesc = q.GetStringField(4);
    item.m_strNote = q.GetStringField(5);
    item.m_nShown = q.GetIntField(6);
    item.m_bActive = q.GetIntField(7);
    item.m_bGreat = q.GetIntField(8);
    item.m_nHits = q.GetIntField(9);
    item.m_nFlags = q.GetIntField(10);
    item.m_strUploadBy = q.GetStringField(11);
    item.m_timeUploadOn = KvRepoTimeFromDayNumber(q.GetFloatField(12));
}

// Binds the fields from the URL on, from `first` on.
bool BindFields(KvSqlStatement& st, const KvAdvItem& item, int first) {
    return st.Bind(first, item.m_strUrl.c_str()) && st.Bind(first + 1, item.m_strShowAs.c_str()) &&
           st.Bind(first + 2, item.m_strTitle.c_str()) && st.Bind(first + 3, item.m_strDesc.c_str()) &&
           st.Bind(first + 4, item.m_strNote.c_str()) && st.Bind(first + 5, item.m_nShown) &&
           st.Bind(first + 6, item.m_bActive) && st.Bind(first + 7, item.m_bGreat) &&
           st.Bind(first + 8, item.m_nHits) && st.Bind(first + 9, item.m_nFlags) &&
           st.Bind(first + 10, item.m_strUploadBy.c_str()) &&
           st.Bind(first + 11, KvRepoDayNumber(item.m_timeUploadOn));
}

}  // namespace

int KvRepoKavori::_DoInitNewRepository() { return _ExecuteAll(kSchema, (int)(sizeof kSchema / sizeof *kSchema)); }

int KvRepoKavori::_IsRepositoryPresent() { return m_pDB && m_pDB->IsTableExist("advitem"); }

int KvRepoKavori::GetAdvItems(KvObjectArray& items) {
    if (!_CanRead()) return -1;
    KvSqlQuery q = m_pDB->ExecQuery(CString("select ") + kColumns + " from advitem order by adv_id");
    if (!q.IsValid()) return -1;
    int count = 0;
    for (; !q.IsEOF(); q.MoveNext(), ++count) {
        auto* item = new KvAdvItem();
        ReadRow(q, *item);
        items.Add(item);
    }
    return count;
}

int KvRepoKavori::GetAdvItem(int id, KvAdvItem* item) {
    if (!_CanRead() || !item) return 0;
    KvSqlStatement st = m_pDB->CompileStatement(CString("select ") + kColumns + " from advitem where adv_id = ?");
    if (!st.IsValid() || !st.Bind(1, id)) return 0;
    KvSqlQuery q = st.ExecQuery();
    if (!q.IsValid() || q.IsEOF()) return 0;
    ReadRow(q, *item);
    return 1;
}

int KvRepoKavori::AddAdvItem(KvAdvItem* item) {
    if (!_CanWrite() || !item) return 0;
    KvSqlStatement st = m_pDB->CompileStatement(
        "insert into advitem (adv_url, adv_showas, adv_title, adv_desc, adv_note, adv_shown, adv_active, "
        "adv_great, adv_hits, adv_flags, adv_uploadby, adv_uploadon) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    if (!st.IsValid() || !BindFields(st, *item, 1) || st.Execute() < 0) return 0;
    item->m_nID = (int)m_pDB->GetLastInsertRowId();
    return item->m_nID;
}

int KvRepoKavori::UpdateAdvItem(const KvAdvItem& item) {
    if (!_CanWrite()) return 0;
    KvSqlStatement st = m_pDB->CompileStatement(
        "update advitem set adv_url = ?, adv_showas = ?, adv_title = ?, adv_desc = ?, adv_note = ?, adv_shown = ?, "
        "adv_active = ?, adv_great = ?, adv_hits = ?, adv_flags = ?, adv_uploadby = ?, adv_uploadon = ? "
        "where adv_id = ?");
    if (!st.IsValid() || !BindFields(st, item, 1) || !st.Bind(13, item.m_nID)) return 0;
    return st.Execute() > 0 ? 1 : 0;
}

int KvRepoKavori::DeleteAdvItem(int id) {
    if (!_CanWrite()) return 0;
    KvSqlStatement st = m_pDB->CompileStatement("delete from advitem where adv_id = ?");
    if (!st.IsValid() || !st.Bind(1, id)) return 0;
    return st.Execute() > 0 ? 1 : 0;
}

int KvRepoKavori::CountAdvHit(int id) {
    if (!_CanWrite()) return 0;
    KvSqlStatement st = m_pDB->CompileStatement("update advitem set adv_hits = adv_hits + 1 where adv_id = ?");
    if (!st.IsValid() || !st.Bind(1, id)) return 0;
    return st.Execute() > 0 ? 1 : 0;
}
