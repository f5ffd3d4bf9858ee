// KvWebLink: the folder module ("folder.php").
#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/web/KvParseImp.h"

int KvWebLink::ResponseFolderModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    if (op == "del") return ResponseFolderDelete();
    if (op == "doadd") return ResponseFolderDoAdd();
    if (op == "doedit") return ResponseFolderDoEdit();
    if (op == "add_some") return ResponseFolderAddSome();
    if (op == "domove") return ResponseFolderDoMove();
    if (op != "add" && op != "edit" && op != "move") return ResponseUnknownAction(op);
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (op == "edit") return FolderFormShow(m_folder, false, "");
    if (op == "move") return FolderMoveFormShow(m_folder, "");
    KvWebFolder folder;
    folder.m_nParent = m_folder.m_nID;
    folder.m_strName.Empty();
    folder.m_strContent = KV_LINK_FOLDER_CONTENT;
    return FolderFormShow(folder, true, "");
}

int KvWebLink::FolderFormShow(const KvWebFolder& folder, bool isNew, const char* message) {
    KvParseImp imp;
    m_folders.AddFolderFormVars(imp, folder, m_strFolderPath);
    return m_folders.ShowFolderForm(imp, isNew, m_folder.m_nID, m_strFolderPath, message);
}

int KvWebLink::FolderMoveFormShow(const KvWebFolder& folder, const char* message) {
    return m_folders.ShowFolderMoveForm(folder, m_strFolderPath, message);
}

int KvWebLink::ResponseFolderDoAdd() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebFolder folder;
    // A sub-folder starts with its parent's levels.
    folder.m_nReadLevel = m_folder.m_nReadLevel;
    folder.m_nWriteLevel = m_folder.m_nWriteLevel;
    CString message;
    if (!m_folders.ReadFolderForm(folder, KV_LINK_FOLDER_CONTENT, message)) return FolderFormShow(folder, true, message);
    folder.m_strUploadBy = UserGetName();
    if (m_repo.AddNewFolder(m_folder.m_nID, &folder) <= 0) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, true, message);
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(m_strFolderPath));
}

int KvWebLink::ResponseFolderDoEdit() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebFolder folder(m_folder);
    CString message;
    if (!m_folders.ReadFolderForm(folder, KV_LINK_FOLDER_CONTENT, message)) {
        return FolderFormShow(folder, false, message);
    }
    if (folder.m_nID == 0) folder.m_strName = m_folder.m_strName;  // the root keeps its name
    if (!m_repo.UpdateFolder(&folder)) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, false, message);
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(folder.m_nID)));
}

int KvWebLink::ResponseFolderAddSome() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    return m_folders.AddFolderLines(m_folder, m_strFolderPath, KV_LINK_FOLDER_CONTENT, [this] { ContentChanged(); });
}

int KvWebLink::ResponseFolderDelete() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Link)) return 1;
    return m_folders.DeleteFolder(m_folder, m_strFolderPath, [this] { ContentChanged(); });
}

int KvWebLink::ResponseFolderDoMove() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    return m_folders.MoveFolder(m_folder, m_strFolderPath, [this] { ContentChanged(); });
}
