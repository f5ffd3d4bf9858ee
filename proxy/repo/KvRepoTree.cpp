// The shared tree: construction, paths, the schema check and the helpers
// the repositories build on.
#include "proxy/repo/KvRepoTree.h"

#include <cctype>
#include <iterator>
#include <string>

#include "base/platform/Collections.h"
#include "base/str/StrFunc.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoRows.h"
#include "proxy/repo/KvRepoSql.h"
#include "base/containers/KvObjectArray.h"

IMPLEMENT_DYNAMIC(KvRepoTree, KvRepoBase)

namespace {

// Lookups of a link's folders (deleting a link, counting its folders) would
// otherwise read the whole membership table. Every file gets them ("if not
// exists", so older files too).
const char* const kSpeedIndexes[] = {
    "create index if not exists link_member_item_idx on link_member (item_id);",
};

// The link and search profile tables; every %s is the repository's empty
// date.
const char kLinkItemTable[] =
    "CREATE TABLE link_item(item_id int(3) not null, item_url varchar(255) not null collate nocase, item_showas "
    "varchar(255) collate nocase, item_title varchar(255) collate nocase, item_desc text collate nocase, "
    "item_keywords text collate nocase, item_note varchar(255) collate nocase,item_show int(3) default "
    "0,item_active int(3) default 0,item_great int(3) default 0,item_rank int(3) default 0, item_hits int(3) default "
    "0, item_afd int(3) default 0,item_flags int(3) default 0,item_checked datetime not null default '%s "
    "00:00:00',upload_by varchar(20) not null default 'admin',upload_on datetime not null default '%s "
    "00:00:00',update_on datetime not null default '%s 00:00:00',primary key (item_id), unique (item_url));";
const char kSearchProfileTable[] =
    "create table search_profile(se_id     int(3) not null,se_query  varchar(255) collate nocase,se_hits   int(3) "
    "not null default 0,last_search datetime not null default '%s 00:00:00',primary key (se_id),unique "
    "(se_query));";

// What every tree has besides its folder and link tables: memberships,
// search results, the folder name index and the top folder.
const char* const kSharedSchema[] = {
    "CREATE TABLE link_member(folder_id int(3) not null, item_id int(3) not null, update_on datetime not null "
    "default '1980-00-01 00:00:00',primary key (folder_id, item_id));",
    "create table search_result(se_id    int(3) not null,item_id  int(3) not null,primary key (se_id, item_id));",
    "create index web_folder_idx3 on web_folder (folder_name, folder_parent);",
    "insert into web_folder (folder_id, folder_parent, folder_name, folder_label, folder_title, folder_content, "
    "folder_robots, upload_by) values (0, -1, 'Top', 'Top', 'Top', "
    "'<h1>{page_title}</h1>\n{subfolder_list3}\n{link_list}\n{link_form}\n{subfolder_add_form}', 'index, follow', "
    "'admin'); ",
};

}  // namespace

KvRepoTree::KvRepoTree(const KvRepoTreeLayout& layout)
    : m_layout(layout), m_pFolderClass(RUNTIME_CLASS(KvWebFolder)), m_pItemClass(RUNTIME_CLASS(KvLinkItem)) {}

int KvRepoTree::_IsRepositoryPresent() { return m_pDB->IsTableExist("web_folder") ? 1 : 0; }

int KvRepoTree::_DoCheckRepository() {
    if (!m_pDB->IsTableExist("link_item") || !m_pDB->IsTableExist("link_member")) return 0;
    // Files made before the indexes existed get them now; a read-only or
    // busy file is still usable without them.
    if (!m_bReadOnly) (void)_ExecuteAll(kSpeedIndexes, (int)std::size(kSpeedIndexes));
    return 1;
}

int KvRepoTree::_CreateTreeSchema(const char* const* own, int count, const char* emptyDate) {
    const CString linkItem = StrFormat(kLinkItemTable, emptyDate, emptyDate, emptyDate);
    const CString searchProfile = StrFormat(kSearchProfileTable, emptyDate);
    const char* const linkTables[] = {linkItem.c_str(), searchProfile.c_str()};
    return _ExecuteAll(own, count) && _ExecuteAll(linkTables, (int)std::size(linkTables)) &&
           _ExecuteAll(kSharedSchema, (int)std::size(kSharedSchema)) &&
           _ExecuteAll(kSpeedIndexes, (int)std::size(kSpeedIndexes)) && m_pDB->InitId("web_folder", 0) &&
           m_pDB->InitId("link_item", 0);
}

// --- paths ----------------------------------------------------------------------------

int KvRepoTree::_BreakFolderPathComponent(const char* path, CStringArray& parts) {
    parts.RemoveAll();
    const char* p = path ? path : "";
    if (*p == '/') p++;
    if (!*p) {
        parts.Add("@");
        return 1;
    }
    while (*p) {
        const char* end = p;
        while (*end && *end != '/') end++;
        parts.Add(CString(p, (int)(end - p)));
        p = *end ? end + 1 : end;
    }
    return 1;
}

int KvRepoTree::FindFolderId(const char* path) {
    CStringArray parts;
    _BreakFolderPathComponent(path, parts);
    if (parts.GetSize() == 0 || parts.GetSize() > KV_REPO_MAX_DEPTH) return -1;
    int id = 0;
    for (int i = 0; i < parts.GetSize() && id >= 0; i++) id = FindFolderId(id, parts[i]);
    return id;
}

int KvRepoTree::FindFolderId(int parent, const char* name) {
    if (!_CanRead()) return -1;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(
        sql.Format("select folder_id from web_folder where folder_parent=%d and folder_name='%q';", parent, name), -1);
}

int KvRepoTree::FindFolderParentId(int id) {
    if (!_CanRead()) return -1;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select folder_parent from web_folder where folder_id=%d", id), -1);
}

int KvRepoTree::GetFolderPath(int id, CString& path) {
    std::vector<CString> names;  // from the folder up
    for (int depth = 0; id != 0; depth++) {
        CString name;
        int parent = -1;
        if (depth >= KV_REPO_MAX_DEPTH || !GetFolderNameAndParent(id, name, parent)) return 0;
        names.push_back(name);
        id = parent;
    }
    std::string text = "/";
    for (auto it = names.rbegin(); it != names.rend(); ++it) text.append(it->str()).append("/");
    path = text.c_str();
    return 1;
}

bool KvRepoTree::_IsMoveAllowed(int id, int newParent) {
    int cur = newParent;
    for (int depth = 0; depth <= KV_REPO_MAX_DEPTH; depth++) {
        if (cur == id) return false;
        if (cur == 0) return true;
        cur = FindFolderParentId(cur);
        if (cur < 0) return false;  // missing folder or broken chain
    }
    return false;
}

// --- helpers --------------------------------------------------------------------------

KvWebFolder* KvRepoTree::_NewFolderRecord() const {
    CObject* obj = m_pFolderClass ? m_pFolderClass->CreateObject() : nullptr;
    auto* folder = dynamic_cast<KvWebFolder*>(obj);
    if (!folder) delete obj;
    return folder;
}

KvLinkItem* KvRepoTree::_NewItemRecord() const {
    CObject* obj = m_pItemClass ? m_pItemClass->CreateObject() : nullptr;
    auto* item = dynamic_cast<KvLinkItem*>(obj);
    if (!item) delete obj;
    return item;
}

bool KvRepoTree::_ReadFolder(const KvSqlQuery& q, KvWebFolder* folder) { return ReadFolderRow(q, folder); }

const char* KvRepoTree::_GetSqlInsertFolder(KvSqlBuffer& sql, const KvWebFolder& folder) {
    return FormatFolderInsert(sql, folder);
}

const char* KvRepoTree::_GetSqlUpdateFolder(KvSqlBuffer& sql, const KvWebFolder& folder) {
    return FormatFolderUpdate(sql, folder);
}

int KvRepoTree::_ReadFolders(KvSqlQuery& q, KvObjectArray* folders) {
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        KvWebFolder* folder = _NewFolderRecord();
        if (!folder || !_ReadFolder(q, folder)) {
            delete folder;
            return 0;
        }
        if (folders->Add(folder) < 0) {
            delete folder;
            return 0;
        }
    }
    return q.HasError() ? 0 : 1;
}

bool KvRepoTree::_GetIds(const char* sql, std::vector<int>& ids) {
    ids.clear();
    KvSqlQuery q = m_pDB->ExecQuery(sql);
    if (!q.IsValid()) return false;
    for (; !q.IsEOF(); q.MoveNext()) ids.push_back(q.GetIntField(0));
    return !q.HasError();
}

CString KvRepoIdList(const std::vector<int>& ids) {
    CString list;
    for (int id : ids) {
        if (!list.IsEmpty()) list += ", ";
        list.AppendFormat("%d", id);
    }
    return list;
}

bool KvRepoIsBlank(const char* condition) {
    for (const char* p = condition; p && *p; p++) {
        if (!isspace((unsigned char)*p)) return false;
    }
    return true;
}
