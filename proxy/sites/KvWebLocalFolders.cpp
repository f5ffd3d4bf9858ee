// KvWebLocal: the folder module ("folder.php").
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebLocal.h"
#include "proxy/web/KvParseImp.h"

int KvWebLocal::ResponseFolderModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (op == "del") return ResponseFolderDelete();
    if (op == "doadd") return ResponseFolderDoAdd();
    if (op == "doedit") return ResponseFolderDoEdit();
    if (op == "add_some") return ResponseFolderAddSome();
    if (op == "domove") return ResponseFolderDoMove();
    if (op != "add" && op != "edit" && op != "move") return ResponseUnknownAction(op);
    if (!LoadWritableFolder(cat)) return 1;
    if (op == "edit") return FolderFormShow(m_folder, false, "");
    if (op == "move") return FolderMoveFormShow(m_folder, "");
    KvWebFolder folder;
    folder.m_nParent = cat;
    folder.m_strName.Empty();
    folder.m_strContent = KV_LOCAL_INDEX_CONTENT;
    return FolderFormShow(folder, true, "");
}

int KvWebLocal::FolderFormShow(const KvWebFolder& folder, bool isNew, const char* message) {
    KvParseImp imp;
    m_folders.AddFolderFormVars(imp, folder, m_strFolderPath);
    return m_folders.ShowFolderForm(imp, isNew, m_folder.m_nID, m_strFolderPath, message);
}

int KvWebLocal::FolderMoveFormShow(const KvWebFolder& folder, const char* message) {
    KvParseImp imp;
    imp.AddVariable("form_action", "/phpmod/folder.php");
    imp.AddVariable("form_op", "domove");
    imp.AddVariable("folder_id", folder.m_nID);
    imp.AddVariable("page_id", 0);
    imp.AddVariable("move_what", "folder " + HtmlEscape(m_strFolderPath));
    imp.AddVariable("sample_path", "/New/Parent/Folder/Path/");
    imp.AddVariable("fld_parent_path", HtmlEscape(m_cgi.GetValue("fld_parent_path", "")));
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    return ResponseTemplatePage("/_template/folder_move.htm", "Move Folder", imp, "spage.htm");
}

int KvWebLocal::ResponseFolderDoAdd() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebFolder folder;
    CString message;
    if (!m_folders.ReadFolderForm(folder, KV_LOCAL_INDEX_CONTENT, message)) return FolderFormShow(folder, true, message);
    const int id = m_repo.AddNewFolder(m_folder.m_nID, &folder);
    if (id <= 0) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, true, message);
    }
    // The index page made with the folder takes its texts and content.
    SyncIndexPageFromFolder(folder);
    const int index = m_repo.FindPageId(id, "index.html");
    if (index > 0) (void)m_repo.SetPageContent(index, folder.m_strContent);
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(id)));
}

int KvWebLocal::ResponseFolderDoEdit() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebFolder folder(m_folder);
    CString message;
    if (!m_folders.ReadFolderForm(folder, KV_LOCAL_INDEX_CONTENT, message)) return FolderFormShow(folder, false, message);
    if (folder.m_nID == 0) folder.m_strName = m_folder.m_strName;  // the root keeps its name
    if (!m_repo.UpdateFolder(&folder)) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, false, message);
    }
    SyncIndexPageFromFolder(folder);
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(folder.m_nID)));
}

int KvWebLocal::ResponseFolderAddSome() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvObjectArray folders;
    if (m_folders.ParseFolderLines(m_cgi.GetValue("fld_folders", ""), KV_LOCAL_INDEX_CONTENT, folders) > 0) {
        (void)m_repo.AddNewFolders(m_folder.m_nID, &folders);
        ContentChanged();
    }
    return ResponseRedirect(UrlEscapePath(m_strFolderPath));
}

int KvWebLocal::ResponseFolderDelete() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Link)) return 1;
    const CString parent = FindPathFromFolderId(m_folder.m_nParent);
    if (!m_repo.DeleteFolder(cat)) return ResponseError("Unable to delete the folder %s.", m_strFolderPath.c_str());
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(parent));
}

int KvWebLocal::ResponseFolderDoMove() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    const KvWebFolder moving(m_folder);
    CString message;
    const int target = m_folders.FindMoveTarget(cat, m_cgi.GetValue("fld_parent_path", ""), message);
    if (target < 0) return FolderMoveFormShow(moving, message);
    KvWebFolder parent;
    if (!m_repo.GetFolder(target, &parent) || !m_folders.MayWrite(parent)) {
        return FolderMoveFormShow(moving, "You cannot add folders to the target folder.");
    }
    if (target != moving.m_nParent && !m_repo.MoveFolder(cat, target)) {
        return FolderMoveFormShow(moving, "Unable to move the folder there (the target may hold a folder of the same name).");
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(cat)));
}
