// KvWebLocal: the page module ("wpage.php").
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/match/KvKeywords.h"
#include "proxy/sites/KvWebLocal.h"
#include "proxy/web/KvParseImp.h"

namespace {

bool IsIndexPage(const KvWebPage& page) { return page.m_strName.CompareNoCase("index.html") == 0; }

}  // namespace

int KvWebLocal::ResponsePageModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    if (op == "doadd") return ResponsePageDoAdd();
    if (op == "doedit") return ResponsePageDoEdit();
    if (op == "del") return ResponsePageDelete();
    if (op == "domove") return ResponsePageDoMove();
    if (op == "add") {
        if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
        KvWebPage page;
        page.m_nFolder = m_folder.m_nID;
        page.m_strAuthor = UserGetName();
        page.m_nOrder = 0;
        return PageFormShow(page, true, "");
    }
    if (op == "edit") return LoadWritablePage() ? PageFormShow(m_page, false, "") : 1;
    if (op == "move") return LoadWritablePage() ? PageMoveFormShow(m_page, "") : 1;
    return ResponseUnknownAction(op);
}

int KvWebLocal::PageFormShow(const KvWebPage& page, bool isNew, const char* message) {
    KvParseImp imp;
    imp.AddVariable("fld_name", HtmlEscape(page.m_strName));
    imp.AddVariable("fld_label", HtmlEscape(page.m_strLabel));
    imp.AddVariable("fld_title", HtmlEscape(page.m_strTitle));
    imp.AddVariable("fld_desc", HtmlEscape(page.m_strDesc));
    imp.AddVariable("fld_keywords", HtmlEscape(page.m_strKeywords));
    imp.AddVariable("fld_robots", HtmlEscape(page.m_strRobots));
    imp.AddVariable("fld_redirect", HtmlEscape(page.m_strRedirect));
    imp.AddVariable("fld_author", HtmlEscape(page.m_strAuthor));
    imp.AddVariable("fld_seealso_title", HtmlEscape(page.m_strSeeAlsoTitle));
    imp.AddVariable("fld_source_desc", HtmlEscape(page.m_strSrcDesc));
    imp.AddVariable("fld_content_editor", HtmlEditor("fld_content", page.m_strContent, 600, 300));
    imp.AddVariable("fld_see_also_editor", HtmlEditor("fld_see_also", page.m_strSeeAlso, 600, 90));
    imp.AddVariable("fld_order", page.m_nOrder);
    imp.AddVariable("chk_active", HtmlCheckBox("fld_active", "1", page.m_bActive));
    imp.AddVariable("chk_show", HtmlCheckBox("fld_show", "1", page.m_bShow));
    imp.AddVariable("chk_bold", HtmlCheckBox("fld_bold", "1", page.m_nFlags & 1));
    imp.AddVariable("chk_italic", HtmlCheckBox("fld_italic", "1", page.m_nFlags & 2));
    imp.AddVariable("fld_help_box", "");
    imp.AddVariable("url_path", HtmlEscape(m_strFolderPath + page.m_strName));
    imp.AddVariable("form_op", isNew ? "doadd" : "doedit");
    imp.AddVariable("form_title", isNew ? "Add New Page" : "Edit Page Attribute");
    imp.AddVariable("form_action", "/phpmod/wpage.php");
    imp.AddVariable("folder_id", m_folder.m_nID);
    imp.AddVariable("fld_id", page.m_nID);
    imp.AddVariable("page_id", page.m_nID);
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("page_message", HtmlEscape(message));
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    imp.AddVariable("page_url", HtmlEscape(m_strFolderPath + page.m_strName));
    return ResponseTemplatePage("/_template/wpage.htm", isNew ? "Add New Page" : "Edit Page Attribute", imp,
                                "spage.htm");
}

int KvWebLocal::PageMoveFormShow(const KvWebPage& page, const char* message) {
    KvParseImp imp;
    imp.AddVariable("form_action", "/phpmod/wpage.php");
    imp.AddVariable("form_op", "domove");
    imp.AddVariable("folder_id", page.m_nFolder);
    imp.AddVariable("page_id", page.m_nID);
    imp.AddVariable("move_what", "page " + HtmlEscape(m_strFolderPath + page.m_strName));
    imp.AddVariable("sample_path", "/New/Folder/Path/");
    imp.AddVariable("fld_parent_path", HtmlEscape(m_cgi.GetValue("fld_parent_path", "")));
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    return ResponseTemplatePage("/_template/folder_move.htm", "Move Page", imp, "spage.htm");
}

bool KvWebLocal::ReadPageForm(KvWebPage& page, CString& message) {
    CString name = m_cgi.GetValue("fld_name", "");
    name.Trim();
    page.m_strName = name.IsEmpty() ? CString() : FixFolderName(name, 0);
    // Pages are reached by their ".html" name; any other name would never
    // be routed to.
    CString lower = page.m_strName;
    lower.MakeLower();
    if (!page.m_strName.IsEmpty() && lower.Right(5) != ".html") page.m_strName += ".html";
    page.m_strTitle = m_cgi.GetValue("fld_title", "");
    page.m_strTitle.Trim();
    if (page.m_strTitle.IsEmpty()) page.m_strTitle = name;
    page.m_strLabel = m_cgi.GetValue("fld_label", "");
    page.m_strLabel.Trim();
    if (page.m_strLabel.IsEmpty()) page.m_strLabel = page.m_strTitle;
    page.m_strDesc = EnsureEndPoint(m_cgi.GetValue("fld_desc", ""));
    page.m_strContent = m_cgi.GetValue("fld_content", "");
    page.m_strKeywords = KvKeywords(m_cgi.GetValue("fld_keywords", "")).AsString();
    page.m_strRobots = m_cgi.GetValue("fld_robots", "");
    if (page.m_strRobots.IsEmpty()) page.m_strRobots = "index, follow";
    page.m_strAuthor = m_cgi.GetValue("fld_author", "");
    if (page.m_strAuthor.IsEmpty()) page.m_strAuthor = UserGetName();
    page.m_strSeeAlso = m_cgi.GetValue("fld_see_also", "");
    page.m_strSeeAlsoTitle = m_cgi.GetValue("fld_seealso_title", "");
    page.m_strSrcDesc = m_cgi.GetValue("fld_source_desc", "");
    page.m_bExternal = page.m_strSrcDesc.IsEmpty() ? 0 : 1;
    page.m_strRedirect = m_cgi.GetValue("fld_redirect", "");
    page.m_strRedirect.Trim();
    if (IsIndexPage(page)) page.m_strRedirect.Empty();
    page.m_bShow = m_cgi.GetIntValue("fld_show", 0) ? 1 : 0;
    page.m_bActive = m_cgi.GetIntValue("fld_active", 0) ? 1 : 0;
    page.m_nOrder = m_cgi.GetIntValue("fld_order", 0);
    page.m_nFlags = (m_cgi.GetIntValue("fld_bold", 0) ? 1 : 0) | (m_cgi.GetIntValue("fld_italic", 0) ? 2 : 0);
    page.m_strUploadBy = UserGetName();
    if (page.m_strName.IsEmpty()) {
        message = "The wpage name cannot be empty!";
        return false;
    }
    return true;
}

int KvWebLocal::ResponsePageDoAdd() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebPage page;
    CString message;
    if (!ReadPageForm(page, message)) return PageFormShow(page, true, message);
    if (IsIndexPage(page) || !m_repo.AddNewPage(m_folder.m_nID, &page)) {
        message.Format("Unable to save the page '%s' to database.", page.m_strName.c_str());
        return PageFormShow(page, true, message);
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(m_strFolderPath + page.m_strName));
}

int KvWebLocal::ResponsePageDoEdit() {
    if (!LoadWritablePage()) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvWebPage page(m_page);
    CString message;
    if (!ReadPageForm(page, message)) return PageFormShow(page, false, message);
    // The folder's own page keeps its name; no other page may take it.
    if (IsIndexPage(m_page) != IsIndexPage(page)) page.m_strName = m_page.m_strName;
    if (!m_repo.UpdatePage(&page)) {
        message.Format("Unable to save the page '%s' to database.", page.m_strName.c_str());
        return PageFormShow(page, false, message);
    }
    if (IsIndexPage(page)) SyncFolderFromIndexPage(page);
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(m_strFolderPath + (IsIndexPage(page) ? CString() : page.m_strName)));
}

int KvWebLocal::ResponsePageDelete() {
    if (m_cgi.GetIntValue("id", 0) <= 0) return ResponseRedirectToReferer();
    if (!LoadWritablePage()) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Link)) return 1;
    if (IsIndexPage(m_page)) return ResponseError("%s", "The index page goes with its folder: delete the folder instead.");
    if (!m_repo.DeletePage(m_page.m_nID)) return ResponseError("Unable to delete the page %s.", m_page.m_strName.c_str());
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(m_strFolderPath));
}

int KvWebLocal::ResponsePageDoMove() {
    if (!LoadWritablePage()) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    if (IsIndexPage(m_page)) return PageMoveFormShow(m_page, "The index page goes with its folder: move the folder instead.");
    CString message;
    const int target = m_folders.FindMoveTarget(-1, m_cgi.GetValue("fld_parent_path", ""), message);
    if (target < 0) return PageMoveFormShow(m_page, message);
    KvWebFolder folder;
    if (!m_repo.GetFolder(target, &folder) || !m_folders.MayWrite(folder)) {
        return PageMoveFormShow(m_page, "You cannot add pages to the target folder.");
    }
    if (target != m_page.m_nFolder && !m_repo.MovePage(m_page.m_nID, target)) {
        return PageMoveFormShow(m_page, "Unable to move the page there (the target may hold a page of the same name).");
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(target) + m_page.m_strName));
}
