// The shared tree: adding, reading, changing, moving and deleting folders.
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "base/thread/KvSystemLock.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoTree.h"

namespace {

const char kRobots[] = "index, follow";
const char kAdmin[] = "admin";

}  // namespace

// --- adding ---------------------------------------------------------------------------

int KvRepoTree::AddNewFolder(const char* path) {
    if (!_CanWrite()) return -1;
    CStringArray parts;
    _BreakFolderPathComponent(path, parts);
    if (parts.GetSize() == 0 || parts.GetSize() > KV_REPO_MAX_DEPTH) return -1;
    KvSqlTransaction tx(*m_pDB);
    if (!tx.IsActive()) return -1;
    int id = 0;
    for (int i = 0; i < parts.GetSize(); i++) {
        id = FindOrAddNewFolder(id, parts[i]);
        if (id < 0) return -1;
    }
    return tx.Commit() ? id : -1;
}

int KvRepoTree::InsertFolder(int parent, const char* name) {
    int id = m_pDB->GetNewId("web_folder");
    if (id <= 0) return -1;
    KvSqlBuffer sql;
    if (m_pDB->Execute(sql.Format("insert into web_folder (folder_id, folder_name, folder_title, folder_label, "
                                  "folder_parent, folder_robots, upload_by) values (%d, '%q', '%q', '%q', %d, '%q', "
                                  "'%q');",
                                  id, name, name, name, parent, kRobots, kAdmin)) < 0) {
        return -1;
    }
    return _DoFolderAdded(id, name) ? id : -1;
}

int KvRepoTree::AddNewFolder(int parent, const char* name) {
    if (!_CanWrite() || !name) return -1;
    KvSqlTransaction tx(*m_pDB);
    if (!tx.IsActive()) return -1;
    int id = InsertFolder(parent, name);
    return id > 0 && tx.Commit() ? id : -1;
}

int KvRepoTree::AddNewFolder(int parent, KvWebFolder* folder) {
    if (!_CanWrite() || !folder) return 0;
    folder->m_nParent = parent;
    KvSqlTransaction tx(*m_pDB);
    folder->m_nID = tx.IsActive() ? m_pDB->GetNewId("web_folder") : 0;
    if (folder->m_nID <= 0) return folder->m_nID = 0;
    folder->m_timeUploadOn = KvTime::GetCurTime();
    folder->m_timeUpdateOn = folder->m_timeUploadOn;
    KvSqlBuffer sql;
    if (m_pDB->Execute(_GetSqlInsertFolder(sql, *folder)) < 0 || !_DoFolderAdded(folder->m_nID, folder->m_strTitle) ||
        !tx.Commit()) {
        return folder->m_nID = 0;
    }
    return folder->m_nID;
}

int KvRepoTree::AddNewFolders(int parent, KvObjectArray* folders) {
    if (!_CanWrite() || !folders) return 0;
    SystemLock(m_layout.bulkLock);
    int done = 0;
    {
        KvSqlTransaction tx(*m_pDB);
        if (tx.IsActive()) {
            int id = m_pDB->GetId("web_folder");
            KvTime now = KvTime::GetCurTime();
            KvSqlBuffer sql;
            for (int i = 0; i < folders->GetSize(); i++) {
                auto* folder = dynamic_cast<KvWebFolder*>(folders->GetAt(i));
                if (!folder) continue;
                folder->m_nID = ++id;
                folder->m_nParent = parent;
                folder->m_timeUploadOn = folder->m_timeUpdateOn = now;
                // A row that fails is skipped (with what its hook made);
                // its id stays used.
                KvSqlTransaction row(*m_pDB);
                if (row.IsActive() && m_pDB->Execute(_GetSqlInsertFolder(sql, *folder)) >= 0 &&
                    _DoFolderAdded(folder->m_nID, folder->m_strTitle)) {
                    (void)row.Commit();
                }
            }
            done = m_pDB->SetId("web_folder", id) && tx.Commit();
        }
    }
    SystemUnlock(m_layout.bulkLock);
    return done;
}

int KvRepoTree::FindOrAddNewFolder(int parent, const char* name) {
    int id = FindFolderId(parent, name);
    return id >= 0 ? id : AddNewFolder(parent, name);
}

// --- reading --------------------------------------------------------------------------

int KvRepoTree::GetFolder(int id, KvWebFolder* folder) {
    if (!_CanRead() || !folder) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select %s from web_folder where folder_id=%d;", m_layout.folderColumns, id));
    return q.IsValid() && !q.IsEOF() && _ReadFolder(q, folder) ? 1 : 0;
}

int KvRepoTree::GetFolder(const char* path, KvWebFolder* folder) {
    int id = FindFolderId(path);
    return id >= 0 ? GetFolder(id, folder) : 0;
}

int KvRepoTree::GetFolderNameAndParent(int id, CString& name, int& parent) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    KvSqlQuery q = m_pDB->ExecQuery(sql.Format("select folder_name, folder_parent from web_folder where folder_id=%d", id));
    if (!q.IsValid() || q.IsEOF()) return 0;
    name = q.GetStringField(0);
    parent = q.GetIntField(1, -1);
    return 1;
}

CString KvRepoTree::GetFolderKeywords(int id) {
    if (!_CanRead()) return CString();
    KvSqlBuffer sql;
    return m_pDB->ExecQuery(sql.Format("select folder_keywords from web_folder where folder_id=%d;", id))
        .GetStringField(0);
}

CString KvRepoTree::GetFolderContent(int id) {
    if (!_CanRead()) return CString();
    KvSqlBuffer sql;
    return m_pDB->ExecQuery(sql.Format("select folder_content from web_folder where folder_id=%d", id)).GetStringField(0);
}

int KvRepoTree::GetFolderFlags(int id) {
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    return m_pDB->ExecScalar(sql.Format("select folder_flags from web_folder where folder_id=%d", id), 0);
}

// --- changing -------------------------------------------------------------------------

int KvRepoTree::UpdateFolder(KvWebFolder* folder) {
    if (!_CanWrite() || !folder) return 0;
    // A changed parent is a move and obeys the same rule.
    if (FindFolderParentId(folder->m_nID) != folder->m_nParent && !_IsMoveAllowed(folder->m_nID, folder->m_nParent)) {
        return 0;
    }
    folder->m_timeUpdateOn = KvTime::GetCurTime();
    KvSqlBuffer sql;
    return m_pDB->Execute(_GetSqlUpdateFolder(sql, *folder)) >= 0 ? 1 : 0;
}

int KvRepoTree::MoveFolder(int id, int newParent) {
    if (!_CanWrite() || !_IsMoveAllowed(id, newParent)) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set folder_parent=%d where folder_id=%d;", newParent, id)) >= 0;
}

int KvRepoTree::SetFolderKeywords(int id, const char* keywords) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set folder_keywords='%q' where folder_id=%d;", keywords, id)) >=
           0;
}

int KvRepoTree::SetFolderContent(int id, const char* content) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set folder_content='%q' where folder_id=%d;", content, id)) >=
           0;
}

int KvRepoTree::SetFolderFlags(int id, int flags) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set folder_flags=%d where folder_id=%d;", flags, id)) >= 0;
}

int KvRepoTree::IncrementFolderHits(int id) {
    if (!_CanWrite()) return 0;
    KvSqlBuffer sql;
    return m_pDB->Execute(sql.Format("update web_folder set folder_hits=folder_hits+1 where folder_id=%d;", id)) >= 0;
}

// --- deleting -------------------------------------------------------------------------

int KvRepoTree::DeleteFolder(int id) {
    // The root stays: without it the site has no home and its new folders
    // would hang from nothing.
    if (!_CanWrite() || id == 0) return 0;
    KvSqlTransaction tx(*m_pDB);
    std::set<int> visited;
    return tx.IsActive() && DeleteFolderTree(id, 0, visited) && tx.Commit() ? 1 : 0;
}

int KvRepoTree::DeleteFolderTree(int id, int depth, std::set<int>& visited) {
    if (depth >= KV_REPO_MAX_DEPTH) return 0;
    visited.insert(id);
    std::vector<int> children;
    KvSqlBuffer sql;
    if (!_GetIds(sql.Format("select folder_id from web_folder where folder_parent=%d", id), children)) return 0;
    for (int child : children) {
        if (!visited.count(child) && !DeleteFolderTree(child, depth + 1, visited)) return 0;
    }
    if (!_DoFolderDeleting(id)) return 0;
    if (m_pDB->Execute(sql.Format("delete from link_member where folder_id=%d;", id)) < 0) return 0;
    return m_pDB->Execute(sql.Format("delete from web_folder where folder_id=%d;", id)) >= 0;
}

// --- listing --------------------------------------------------------------------------

int KvRepoTree::PopulateFolder(int parent, KvObjectArray* folders, const char* filter) {
    if (!folders) return 0;
    folders->RemoveAll();
    if (!_CanRead()) return 0;
    KvSqlBuffer sql;
    if (!KvRepoIsBlank(filter)) {
        sql.Format("select %s from web_folder where (folder_parent=%d) and (%s) order by folder_order, folder_name;",
                   m_layout.folderColumns, parent, filter);
    } else {
        sql.Format("select %s from web_folder where folder_parent=%d order by folder_order, folder_name;",
                   m_layout.folderColumns, parent);
    }
    KvSqlQuery q = m_pDB->ExecQuery(sql);
    return _ReadFolders(q, folders);
}

int KvRepoTree::QueryFolder(const char* sqlText, KvObjectArray* folders) {
    if (!folders) return 0;
    folders->RemoveAll();
    if (!_CanRead() || !sqlText || !*sqlText) return 0;
    KvSqlQuery q = m_pDB->ExecQuery(sqlText);
    return _ReadFolders(q, folders);
}

int KvRepoTree::EnumFolder(int parent, KvFolderEnumProc fn, void* context) {
    KvObjectArray folders;
    if (!fn || !PopulateFolder(parent, &folders)) return 0;
    for (int i = 0; i < folders.GetSize(); i++) {
        if (!fn(static_cast<KvWebFolder*>(folders.GetAt(i)), context)) return 0;
    }
    return 1;
}
