// KvFolderSite: the folder changes every folder site makes alike (several
// folders at once, deletes, moves).
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvRepoTree.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

bool KvFolderSite::LoadWritableFolder(int id, KvWebFolder& folder, CString& path) {
    if (!m_repo.GetFolder(id, &folder)) {
        folder.m_nID = -1;
        m_site.ResponseError("Unable to locate the folder %d", id);
        return false;
    }
    path = FolderPath(id);
    if (!MayWrite(folder)) {
        m_site.ResponseUnauthorisized();
        return false;
    }
    return true;
}

int KvFolderSite::ShowFolderMoveForm(const KvWebFolder& folder, const CString& path, const char* message) {
    KvParseImp imp;
    imp.AddVariable("form_action", "/phpmod/folder.php");
    imp.AddVariable("form_op", "domove");
    imp.AddVariable("folder_id", folder.m_nID);
    imp.AddVariable("page_id", 0);
    imp.AddVariable("move_what", "folder " + HtmlEscape(path));
    imp.AddVariable("sample_path", "/New/Parent/Folder/Path/");
    imp.AddVariable("fld_parent_path", HtmlEscape(m_site.GetCGI().GetValue("fld_parent_path", "")));
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path", m_site.GetCurrentPath(path));
    return m_site.ResponseTemplatePage("/_template/folder_move.htm", "Move Folder", imp, "spage.htm");
}

int KvFolderSite::AddFolderLines(const KvWebFolder& folder, const CString& path, const char* content,
                                 const std::function<void()>& changed) {
    KvObjectArray folders;
    if (ParseFolderLines(m_site.GetCGI().GetValue("fld_folders", ""), content, folders) > 0) {
        (void)m_repo.AddNewFolders(folder.m_nID, &folders);
        changed();
    }
    return m_site.ResponseRedirect(UrlEscapePath(path));
}

int KvFolderSite::DeleteFolder(const KvWebFolder& folder, const CString& path, const std::function<void()>& changed) {
    const CString parent = FolderPath(folder.m_nParent);
    if (!m_repo.DeleteFolder(folder.m_nID)) {
        return m_site.ResponseError("Unable to delete the folder %s.", path.c_str());
    }
    changed();
    return m_site.ResponseRedirect(UrlEscapePath(parent));
}

int KvFolderSite::MoveFolder(const KvWebFolder& folder, const CString& path, const std::function<void()>& changed) {
    const int cat = folder.m_nID;
    CString message;
    const int target = FindMoveTarget(cat, m_site.GetCGI().GetValue("fld_parent_path", ""), message);
    if (target < 0) return ShowFolderMoveForm(folder, path, message);
    KvWebFolder parent;
    if (!m_repo.GetFolder(target, &parent) || !MayWrite(parent)) {
        return ShowFolderMoveForm(folder, path, "You cannot add folders to the target folder.");
    }
    if (target != folder.m_nParent && !m_repo.MoveFolder(cat, target)) {
        return ShowFolderMoveForm(folder, path,
                                  "Unable to move the folder there (the target may hold a folder of the same name).");
    }
    changed();
    return m_site.ResponseRedirect(UrlEscapePath(FolderPath(cat)));
}

bool KvFolderSite::IsSettingsAlias(const CString& file) {
    CString name = file;
    name.MakeLower();
    return name == "page_hits.php" || name == "todo.php" || name == "file_mgmt.php";
}

int KvFolderSite::ResponseSettingsAlias() {
    CString op = m_site.GetCGI().GetValue("op", "edit");
    op.MakeLower();
    if (op == "sss") return m_site.ResponseSysvarEdit();
    return m_site.ResponseUnknownAction(op);
}
