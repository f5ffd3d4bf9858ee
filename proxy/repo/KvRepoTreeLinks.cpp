// The shared tree: adding, changing and deleting links and memberships.
#include <memory>

#include "base/containers/KvObjectArray.h"
#include "base/thread/KvSystemLock.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "ext/KvSqLite/KvSqlStatement.h"
#include "inet/html/KvSimpleLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"
#include "proxy/repo/KvRepoSql.h"
#include "proxy/repo/KvRepoTree.h"

namespace {

// Links are stored unchecked: their check date is the earliest one.
KvTime NeverChecked() { return KvTime(1980, 1, 1); }

// The bulk inserts read an id counter once: they hold the repository's
// system lock, and one transaction makes the batch land whole.
class BulkWrite {
public:
    BulkWrite(unsigned lock, KvSqlDB& db) : m_nLock(lock) {
        SystemLock(m_nLock);
        m_pTx = std::make_unique<KvSqlTransaction>(db);
    }
    ~BulkWrite() {
        m_pTx.reset();
        SystemUnlock(m_nLock);
    }
    BulkWrite(const BulkWrite&) = delete;
    BulkWrite& operator=(const BulkWrite&) = delete;
    bool IsActive() const { return m_pTx->IsActive(); }
    int Commit() { return m_pTx->Commit(); }

private:
    unsigned m_nLock;
    std::unique_ptr<KvSqlTransaction> m_pTx;
};

}  // namespace

int KvRepoTree::FindItemId(const char* url) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select item_id from link_item where item_url='%q';", url), 0);
}

int KvRepoTree::GetItem(int id, KvLinkItem* item) {
    if (!_CanRead() || !item) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from link_item where item_id=%d;", KV_LINK_COLUMNS, id));
    return ReadLinkRow(q, item) ? 1 : 0;
}

int KvRepoTree::GetItem(const char* url, KvLinkItem* item) {
    if (!_CanRead() || !item) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from link_item where item_url='%q';", KV_LINK_COLUMNS, url));
    return ReadLinkRow(q, item) ? 1 : 0;
}

int KvRepoTree::InsertLinkRow(KvLinkItem* item, const KvTime& uploadOn) {
    item->m_timeUploadOn = uploadOn;
    item->m_timeChecked = NeverChecked();
    KvSqlBuffer sql;
    return m_pDB->Execute(FormatLinkInsert(sql, *item)) >= 0 ? 1 : 0;
}

int KvRepoTree::AddNewItem(KvLinkItem* item) {
    if (!_CanWrite() || !item) return 0;
    int id = m_pDB->GetNewId("link_item");
    if (id < 1) return 0;
    item->m_nID = id;
    return InsertLinkRow(item, KvTime::GetCurTime());
}

int KvRepoTree::AddNewItem(int folder, KvLinkItem* item) {
    if (!_CanWrite() || !item) return 0;
    KvSqlTransaction tx(*m_pDB);
    if (!tx.IsActive()) return 0;
    int stored = FindItemId(item->m_strUrl);
    if (stored > 0) {
        item->m_nID = stored;
    } else if (!AddNewItem(item)) {
        return 0;
    }
    return AddNewMember(folder, item->m_nID) && tx.Commit();
}

int KvRepoTree::AddNewItem(int folder, const char* url, const char* title, const char* description) {
    std::unique_ptr<KvLinkItem> item(_NewItemRecord());
    if (!item) return 0;
    item->Set(url, title, description);
    return AddNewItem(folder, item.get());
}

int KvRepoTree::AddNewItems(int folder, KvObjectArray* items) {
    if (!_CanWrite() || !items) return 0;
    BulkWrite batch(m_layout.bulkLock, *m_pDB);
    if (!batch.IsActive()) return 0;
    int id = m_pDB->GetId("link_item");
    KvTime now = KvTime::GetCurTime();
    for (int i = 0; i < items->GetSize(); i++) {
        auto* item = dynamic_cast<KvLinkItem*>(items->GetAt(i));
        if (!item) continue;
        int stored = FindItemId(item->m_strUrl);
        if (stored <= 0) {
            item->m_nID = ++id;
            // A row that fails is skipped (its id stays used) and gets no
            // membership, which would point at nothing.
            if (!InsertLinkRow(item, m_layout.bulkKeepsUploadDate ? item->m_timeUploadOn : now)) continue;
            stored = id;
        }
        item->m_nID = stored;
        (void)AddNewMember(folder, stored);
    }
    return m_pDB->SetId("link_item", id) && batch.Commit();
}

int KvRepoTree::AddNewSimpleItems(int folder, KvObjectArray* links) {
    if (!_CanWrite() || !links) return 0;
    BulkWrite batch(m_layout.bulkLock, *m_pDB);
    if (!batch.IsActive()) return 0;
    int id = m_pDB->GetId("link_item");
    KvTime now = KvTime::GetCurTime();
    std::unique_ptr<KvLinkItem> item(_NewItemRecord());
    if (!item) return 0;
    for (int i = 0; i < links->GetSize(); i++) {
        auto* link = dynamic_cast<KvSimpleLinkItem*>(links->GetAt(i));
        if (!link) continue;
        int stored = FindItemId(link->m_strUrl);
        if (stored <= 0) {
            item->Set(link->m_strUrl, link->m_strTitle, link->m_strDescription);
            item->m_nID = ++id;
            if (!InsertLinkRow(item.get(), now)) continue;
            stored = id;
        }
        (void)AddNewMember(folder, stored);
    }
    return m_pDB->SetId("link_item", id) && batch.Commit();
}

int KvRepoTree::ImportItems(KvObjectArray* items) {
    if (!_CanWrite() || !items) return -1;
    BulkWrite batch(m_layout.bulkLock, *m_pDB);
    if (!batch.IsActive()) return -1;
    KvSqlStatement find = m_pDB->CompileStatement("select item_id from link_item where item_url=?;");
    KvSqlStatement insert = m_pDB->CompileStatement(
        "insert into link_item (item_id, item_url, item_showas, item_title, item_desc, item_keywords, item_note, "
        "item_show, item_active, item_great, item_rank, item_hits, item_afd, item_flags, upload_by, upload_on, "
        "item_checked) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);");
    KvSqlStatement member =
        m_pDB->CompileStatement("insert or ignore into link_member (folder_id, item_id) values (?, ?);");
    if (!find.IsValid() || !insert.IsValid() || !member.IsValid()) return -1;
    int id = m_pDB->GetId("link_item");
    const int first = id;
    const double now = KvRepoDayNumber(KvTime::GetCurTime()), never = KvRepoDayNumber(NeverChecked());
    for (int i = 0; i < items->GetSize(); i++) {
        auto* item = dynamic_cast<KvLinkItem*>(items->GetAt(i));
        if (!item) continue;
        find.Bind(1, item->m_strUrl.c_str());
        int stored = 0;
        {
            KvSqlQuery q = find.ExecQuery();
            if (!q.IsValid()) return -1;
            if (!q.IsEOF()) stored = q.GetIntField(0);
        }
        if (stored <= 0) {
            stored = ++id;
            const double uploaded = item->m_timeUploadOn.IsEmpty() ? now : KvRepoDayNumber(item->m_timeUploadOn);
            insert.Bind(1, stored);
            insert.Bind(2, item->m_strUrl.c_str());
            insert.Bind(3, item->m_strShowAs.c_str());
            insert.Bind(4, item->m_strTitle.c_str());
            insert.Bind(5, item->m_strDesc.c_str());
            insert.Bind(6, item->m_strKeywords.c_str());
            insert.Bind(7, item->m_strNote.c_str());
            const int numbers[] = {item->m_bShow, item->m_bActive, item->m_bGreat, item->m_nRank,
                                   item->m_nHits, item->m_nAfd, item->m_nFlags};
            for (int k = 0; k < 7; ++k) insert.Bind(8 + k, numbers[k]);
            insert.Bind(15, item->m_strUploadBy.c_str());
            insert.Bind(16, uploaded);
            insert.Bind(17, never);
            if (insert.Execute() < 0) return -1;
        }
        item->m_nID = stored;
        member.Bind(1, item->m_nFolder);
        member.Bind(2, stored);
        if (member.Execute() < 0) return -1;
    }
    return m_pDB->SetId("link_item", id) && batch.Commit() ? id - first : -1;
}

int KvRepoTree::UpdateItem(KvLinkItem* item) {
    if (!_CanWrite() || !item) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(FormatLinkUpdate(sql, *item)) >= 0 ? 1 : 0;
}

int KvRepoTree::DeleteItem(int id) {
    if (!_CanWrite()) return 0;
    KvSqlTransaction tx(*m_pDB);
    KvSqlBuffer sql;
    return tx.IsActive() && DeleteAllMemberByItem(id) &&
           m_pDB->Execute(sql.Format("delete from link_item where item_id=%d;", id)) >= 0 && tx.Commit();
}

int KvRepoTree::DeleteItemMember(int folder, int id) {
    if (!_CanWrite()) return 0;
    KvSqlTransaction tx(*m_pDB);
    if (!tx.IsActive()) return 0;
    // Only the folder's own membership goes: the link of another folder
    // (its last one or not) stays whole.
    if (!IsMember(folder, id)) return 1;
    int done = GetCountainerCount(id) == 1 ? DeleteItem(id) : DeleteMember(folder, id);
    return done && tx.Commit();
}

int KvRepoTree::DeleteAllItemByFolder(int folder) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("delete from link_member where folder_id=%d;", folder)) >= 0;
}

int KvRepoTree::DeleteAllItemByFolder(const char* path) {
    if (!_CanWrite()) return 0;
    int folder = FindFolderId(path);
    return folder < 0 ? 1 : DeleteAllItemByFolder(folder);
}

int KvRepoTree::AddNewMember(int folder, int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    if (m_pDB->Execute(sql.Format("insert into link_member (folder_id, item_id) values (%d, %d);", folder, id)) >= 0) {
        return 1;
    }
    return m_pDB->IsConstraintError() ? 1 : 0;
}

int KvRepoTree::DeleteMember(int folder, int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("delete from link_member where folder_id=%d and item_id=%d;", folder, id)) >= 0;
}

bool KvRepoTree::IsMember(int folder, int id) {
    if (!_CanRead()) return false;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(
               sql.Format("select count(*) from link_member where folder_id=%d and item_id=%d", folder, id), 0) > 0;
}

int KvRepoTree::DeleteAllMemberByItem(int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("delete from link_member where item_id=%d;", id)) >= 0;
}

int KvRepoTree::GetCountainerCount(int id) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select count(folder_id) from link_member where item_id=%d", id), 0);
}

int KvRepoTree::GetItemFlags(int id) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select item_flags from link_item where item_id=%d", id), 0);
}

int KvRepoTree::SetItemFlags(int id, int flags) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update link_item set item_flags=%d where item_id=%d;", flags, id)) >= 0;
}

int KvRepoTree::IncrementItemHits(int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update link_item set item_hits=item_hits+1 where item_id=%d;", id)) >= 0;
}
