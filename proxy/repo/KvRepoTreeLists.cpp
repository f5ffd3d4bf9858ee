// The shared tree: listing, counting and querying links, and writing a
// folder's links as HTML.
#include <memory>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvLinkFormat.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"
#include "proxy/repo/KvRepoTree.h"

namespace {

const char kAllItems[] = "item_id > 0";

const char* OrAll(const char* filter) { return KvRepoIsBlank(filter) ? kAllItems : filter; }

}  // namespace

int KvRepoTree::ReadItems(KvSqlQuery& q, int folder, KvObjectArray* items) {
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        KvLinkItem* item = _NewItemRecord();
        if (!item || !ReadLinkRow(q, item)) {
            delete item;
            return 0;
        }
        item->m_nFolder = folder;
        if (items->Add(item) < 0) {
            delete item;
            return 0;
        }
    }
    return q.HasError() ? 0 : 1;
}

bool KvRepoTree::FolderItemCondition(int folder, const char* filter, CString& condition, bool& empty) {
    std::vector<int> members;
    KvSqlBuffer sql;
    if (!_GetIds(sql.Format("select item_id from link_member where folder_id=%d", folder), members)) return false;
    empty = members.empty();
    CString list = KvRepoIdList(members);
    if (KvRepoIsBlank(filter)) {
        condition.Format("(item_id in(%s))", list.c_str());
    } else {
        condition.Format("(%s) and (item_id in(%s))", filter, list.c_str());
    }
    return true;
}

int KvRepoTree::PopulateItem(int folder, KvObjectArray* items) {
    if (!items) return 0;
    items->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format(
        "select %s from link_item INNER JOIN link_member ON link_item.item_id=link_member.item_id where "
        "link_member.folder_id=%d order by %s;",
        KV_LINK_JOIN_COLUMNS, folder, m_layout.linkOrder));
    return ReadItems(q, folder, items);
}

int KvRepoTree::PopulateItem(int folder, const char* filter, int limit, int offset, KvObjectArray* items) {
    if (!items) return 0;
    items->RemoveAll();
    CString condition;
    bool empty = false;
    if (!_CanRead() || !FolderItemCondition(folder, filter, condition, empty)) return 0;
    if (empty) return 1;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from link_item where (%s) order by %s  limit %d offset %d;",
                                               KV_LINK_COLUMNS, condition.c_str(), m_layout.linkOrder, limit, offset));
    return ReadItems(q, folder, items);
}

int KvRepoTree::PopulateItemCount(int folder) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select count(item_id) from link_member where folder_id=%d", folder), 0);
}

int KvRepoTree::PopulateItemCount(int folder, const char* filter) {
    if (KvRepoIsBlank(filter)) return PopulateItemCount(folder);
    CString condition;
    bool empty = false;
    if (!_CanRead() || !FolderItemCondition(folder, filter, condition, empty) || empty) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select count(item_id) from link_item where (%s)", condition.c_str()), 0);
}

int KvRepoTree::QueryItem(const char* filter, int limit, int offset, KvObjectArray* items) {
    if (!items) return 0;
    items->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from link_item where (%s) order by %s limit %d offset %d;",
                                               KV_LINK_COLUMNS, OrAll(filter), m_layout.linkOrder, limit, offset));
    return ReadItems(q, 0, items);
}

int KvRepoTree::QueryItemCount(const char* filter) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select count(item_id) from link_item where (%s);", OrAll(filter)), 0);
}

int KvRepoTree::QueryItemIds(const char* filter, CUIntArray* ids) {
    if (!ids) return 0;
    ids->RemoveAll();
    if (!_CanRead()) return 0;
    std::vector<int> found;
    KvSqlBuffer sql;
    if (!_GetIds(sql.Format("select item_id from link_item where (%s) order by %s;", OrAll(filter),
                            m_layout.linkIdsOrder),
                 found)) {
        return 0;
    }
    for (int id : found) ids->Add((UINT)id);
    return 1;
}

int KvRepoTree::EnumItem(int folder, KvItemEnumProc fn, void* context) {
    KvObjectArray items;
    if (!fn || !PopulateItem(folder, &items)) return 0;
    for (int i = 0; i < items.GetSize(); i++) {
        if (!fn(static_cast<KvLinkItem*>(items.GetAt(i)), context)) return 0;
    }
    return 1;
}

int KvRepoTree::GenerateLinks(int folder, KvGenBuffer* buffer, KvLinkFormat* format) {
    KvObjectArray items;
    if (!buffer || !PopulateItem(folder, &items)) return 0;
    if (items.IsEmpty()) return 1;
    KvLinkFormat plain;
    if (!format) format = &plain;
    int ok = format->Begin(buffer);
    for (int i = 0; ok && i < items.GetSize(); i++) ok = format->Format(buffer, static_cast<KvLinkItem*>(items.GetAt(i)));
    return format->End(buffer) && ok ? 1 : 0;
}

int KvRepoTree::GenerateLinks(const char* path, KvGenBuffer* buffer, KvLinkFormat* format) {
    int folder = FindFolderId(path);
    return folder >= 0 ? GenerateLinks(folder, buffer, format) : 0;
}
