// KvWebLink: the link module ("link.php"), its bulk import and the jump
// page ("jump.php").
#include <algorithm>
#include <string>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/match/KvKeywords.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/sites/KvWebLinkImport.h"
#include "proxy/web/KvParseImp.h"

namespace {

// The address as it is stored; the address parser knows plain http only,
// so an https address is checked in its http form.
CString CleanLinkUrl(const char* text) {
    CString url = CleanupCgiParamUrl(text);
    if (StrICompare(url.Left(8), "https://") != 0) return CleanupUrl2Save(url);
    const CString plain = CleanupUrl2Save("http://" + url.Mid(8));
    return plain.IsEmpty() ? CString() : "https://" + plain.Mid(7);
}

}  // namespace

int KvWebLink::ResponseLinkModule() {
    CString op = m_cgi.GetValue("op", "show");
    op.MakeLower();
    if (op == "save" || op == "doadd") return ResponseLinkSave(op == "doadd");
    if (op == "del") return ResponseLinkDelete();
    if (op == "owner") return ResponseLinkOwner();
    if (op == "add_some") return ResponseLinkAddSome();
    if (op != "add" && op != "edit") return ResponseUnknownAction(op);
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    KvLinkItem link;
    if (op == "add") {
        link.m_strUrl = "http://";
        return LinkFormShow(link, true, "");
    }
    // A writer of this folder edits its links only, never one of a folder
    // they cannot write (or read).
    const int id = m_cgi.GetIntValue("id", 0);
    if (!m_repo.IsMember(m_folder.m_nID, id) || !m_repo.GetItem(id, &link)) {
        return ResponseError("Unable to get the item %d from database", id);
    }
    return LinkFormShow(link, false, "");
}

int KvWebLink::LinkFormShow(const KvLinkItem& link, bool isNew, const char* message) {
    const bool admin = IsUserLogin() && IsUserAdmin();
    KvParseImp imp;
    imp.AddVariable("fld_id", link.m_nID);
    imp.AddVariable("fld_url", HtmlEscapeAttr(link.m_strUrl));
    imp.AddVariable("fld_showas", HtmlEscapeAttr(link.m_strShowAs));
    imp.AddVariable("fld_title", HtmlEscapeAttr(link.m_strTitle));
    imp.AddVariable("fld_desc", HtmlEscape(link.m_strDesc));
    imp.AddVariable("fld_keywords", HtmlEscapeAttr(link.m_strKeywords));
    imp.AddVariable("fld_note", HtmlEscapeAttr(link.m_strNote));
    imp.AddVariable("fld_rank", StrFormat("<input class=\"inputbox\" type=\"text\" name=\"fld_rank\" size=\"4\" "
                                          "value=\"%d\"> (0 to %d)", link.m_nRank, 100));
    const CString great = HtmlCheckBox("fld_great", "1", link.m_bGreat),
                  bold = HtmlCheckBox("fld_bold", "1", link.m_nFlags & 1),
                  italic = HtmlCheckBox("fld_italic", "1", link.m_nFlags & 2);
    if (admin) {
        imp.AddVariable("fld_attributes",
                        StrFormat("%s&nbsp;Show %s&nbsp;Active %s&nbsp; Great! %s&nbsp; Affiliate %s&nbsp; Bold  "
                                  "%s&nbsp; Italic",
                                  HtmlCheckBox("fld_show", "1", link.m_bShow).c_str(),
                                  HtmlCheckBox("fld_active", "1", link.m_bActive).c_str(), great.c_str(),
                                  HtmlCheckBox("fld_afd", "1", link.m_nAfd).c_str(), bold.c_str(), italic.c_str()));
    } else {
        imp.AddVariable("fld_attributes", StrFormat("%s&nbsp; Great! %s&nbsp; Bold  %s&nbsp; Italic", great.c_str(),
                                                    bold.c_str(), italic.c_str()));
    }
    imp.AddVariable("form_op", isNew ? "doadd" : "save");
    imp.AddVariable("form_title", isNew ? "Add New Link" : "Edit Link");
    imp.AddVariable("form_action", "/phpmod/link.php");
    imp.AddVariable("folder_id", m_folder.m_nID);
    imp.AddVariable("url_path", HtmlEscape(m_strFolderPath));
    imp.AddVariable("page_msg", HtmlEscape(message));
    imp.AddVariable("page_message", HtmlEscape(message));
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    m_strPageRobots = "noindex";
    return ResponseTemplatePage("/_template/link.htm", isNew ? "Add New Link" : "Edit Link", imp, "wpage.htm");
}

bool KvWebLink::ReadLinkForm(KvLinkItem& link, CString& message) {
    const bool admin = IsUserLogin() && IsUserAdmin();
    link.m_strUrl = CleanLinkUrl(m_cgi.GetValue("fld_url", ""));
    link.m_strShowAs = CleanLinkUrl(m_cgi.GetValue("fld_showas", ""));
    CString title = CleanupCgiParam(m_cgi.GetValue("fld_title", ""));
    title.Trim();
    link.m_strTitle = title;
    link.m_strDesc = EnsureEndPoint(m_cgi.GetValue("fld_desc", ""));
    CString keywords = m_cgi.GetValue("fld_keywords", "");
    keywords.MakeLower();
    link.m_strKeywords = KvKeywords(keywords).AsString();
    CString note = m_cgi.GetValue("fld_note", "");
    note.MakeUpper();
    link.m_strNote = note;
    link.m_bGreat = m_cgi.GetIntValue("fld_great", 0) ? 1 : 0;
    link.m_bShow = admin ? (m_cgi.GetIntValue("fld_show", 0) ? 1 : 0) : 1;
    link.m_bActive = admin ? (m_cgi.GetIntValue("fld_active", 0) ? 1 : 0) : 1;
    link.m_nAfd = admin ? (m_cgi.GetIntValue("fld_afd", 0) ? 1 : 0) : 0;
    link.m_nRank = std::clamp(m_cgi.GetIntValue("fld_rank", link.m_nRank), 0, 100);
    link.m_nFlags = (m_cgi.GetIntValue("fld_bold", 0) ? 1 : 0) | (m_cgi.GetIntValue("fld_italic", 0) ? 2 : 0);
    // Only web addresses are kept: a stored link is followed by every
    // visitor's browser.
    if (link.m_strUrl.IsEmpty() || !KvIsWebAddress(link.m_strUrl) ||
        (!link.m_strShowAs.IsEmpty() && !KvIsWebAddress(link.m_strShowAs))) {
        message = "URL cannot be empty or URL format is wrong!";
        return false;
    }
    if (link.m_strTitle.IsEmpty()) link.m_strTitle = GetTitleFromUrl(link.m_strUrl);
    return true;
}

int KvWebLink::ResponseLinkSave(bool isNew) {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Form)) return 1;
    KvLinkItem link;
    if (!isNew) {
        const int id = m_cgi.GetIntValue("id", m_cgi.GetIntValue("fld_id", 0));
        if (!m_repo.IsMember(m_folder.m_nID, id) || !m_repo.GetItem(id, &link)) {
            return ResponseError("Unable to get the item %d from database", id);
        }
    }
    CString message;
    if (!ReadLinkForm(link, message)) return LinkFormShow(link, isNew, message);
    int ok = 0;
    if (isNew) {
        link.m_strUploadBy = UserGetName();
        ok = m_repo.AddNewItem(m_folder.m_nID, &link) > 0;
    } else {
        ok = m_repo.UpdateItem(&link);
    }
    if (!ok) {
        message.Format("Unable to save the item '%s' to database. Maybe the URL is not unique", link.m_strUrl.c_str());
        return LinkFormShow(link, isNew, message);
    }
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(m_strFolderPath));
}

int KvWebLink::ResponseLinkDelete() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Member, KvVia::Link)) return 1;
    (void)m_repo.DeleteItemMember(m_folder.m_nID, m_cgi.GetIntValue("id", 0));
    ContentChanged();
    return ResponseRedirectToReferer();
}

int KvWebLink::ResponseLinkOwner() {
    if (!IsUserLogin() || !IsUserAdmin()) return ResponseUnauthorisized();
    const int id = m_cgi.GetIntValue("id", 0);
    KvLinkItem link;
    if (!m_repo.GetItem(id, &link)) return ResponseError("Unable to get the item %d from database", id);
    CString list("<ul class=\"owner-list\">\r\n");
    KvSqlQuery q = m_db.ExecQuery(StrFormat("select folder_id from link_member where item_id=%d", id));
    for (; q.IsValid() && !q.IsEOF(); q.MoveNext()) {
        const CString path = FindPathFromFolderId(q.GetIntField(0));
        list += "<li>" + HtmlLink(HtmlEscapeAttr(UrlEscapePath(path)), HtmlEscape(path), nullptr) + "</li>\r\n";
    }
    m_strPageTitle = "Link Owner";
    m_strPageRobots = "noindex";
    m_strPageContent = "<h1>Link Owner</h1>\r\n<p>" + HtmlEscape(link.m_strTitle) + " &mdash; " +
                       HtmlEscape(link.m_strUrl) + "</p>\r\n" + list + "</ul>\r\n";
    KvParseImp imp;
    imp.AddVariable("current_path", RenderTrail("Link Owner", StrFormat("/phpmod/link.php?op=owner&id=%d", id)));
    return WebPageShow("wpage.htm", &imp);
}

int KvWebLink::ResponseLinkAddSome() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Developer, KvVia::Form)) return 1;
    const CString format = m_cgi.GetValue("fmt", "");
    const CString text = m_cgi.GetValue("fld_links", "");
    if (text.IsEmpty()) return ResponseRedirect(UrlEscapePath(m_strFolderPath));
    CString lines;
    if (!KvLinkImportLines(format, text, lines)) return ResponseError("Unknown format %s", format.c_str());
    KvObjectArray links;
    KvParseImportLines(lines, format == "title" || format == "dmoz", links);
    if (!links.IsEmpty()) {
        (void)m_repo.AddNewSimpleItems(m_folder.m_nID, &links);
        ContentChanged();
    }
    return ResponseRedirect(UrlEscapePath(m_strFolderPath));
}

int KvWebLink::ResponseJump() {
    const int id = m_cgi.GetIntValue("id", 0);
    KvLinkItem link;
    if (id <= 0 || !m_repo.GetItem(id, &link)) return ResponseError("Unregistered item-id %d.", id);
    const bool admin = IsUserLogin() && IsUserAdmin();
    if (!admin && (!link.m_bShow || !link.m_bActive)) return ResponseError("Unregistered item-id %d.", id);
    if (!m_folders.MayReadLink(id, m_folders.HiddenFolderIds())) return ResponseError("Unregistered item-id %d.", id);
    // Only web addresses are followed: a stored "javascript:" or "data:"
    // address would run in this site's origin.
    if (!KvIsWebAddress(link.m_strUrl)) return ResponseError("The link %d has no web address.", id);
    (void)m_repo.IncrementItemHits(id);
    return ResponseRedirect(link.m_strUrl);
}
