// KvWebRSS: the folder page, the feed attribute block and the item list.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvParseImp.h"

namespace {

bool HasFeed(const KvWebFolderRSS& folder) {
    return !folder.m_strRssUrl.IsEmpty() && folder.m_strRssUrl != "(NULL)";
}

CString AttributeRow(const char* label, const CString& value) {
    static const char cell[] = "<td valign=\"top\" align=\"left\"><font size=\"2\">";
    return StrFormat("<tr>%s%s</font></td>%s:</font></td>%s%s</font></td></tr>\r\n", cell, label, cell, cell,
                     value.c_str());
}

}  // namespace

int KvWebRSS::ResponseLinks(const CString& dir) {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    const int id = dir == "/" ? 0 : m_repo.FindFolderId(dir);
    if (op == "edit" && id >= 0) return ResponseRedirect(StrFormat("/phpmod/folder.php?op=edit&cat=%d", id));
    if (id < 0 || !m_repo.GetFolder(id, &m_folder)) {
        m_folder = KvWebFolderRSS();
        m_folder.m_nID = -1;
        return ResponseNotFound();
    }
    m_strFolderPath = dir;
    if (!m_folders.MayRead(id)) return ResponseUnauthorisized();
    if (!m_folder.m_strRedirect.IsEmpty() && KvIsWebAddress(m_folder.m_strRedirect)) {
        return ResponseRedirect(m_folder.m_strRedirect);
    }
    m_strPageTitle = m_folder.m_strTitle;
    m_strPageDesc = m_folder.m_strDesc;
    m_strPageKeywords = GenPageKeywords(m_folder.m_strKeywords);
    m_strPageRobots = m_folder.m_strRobots.IsEmpty() ? CString("index, follow") : m_folder.m_strRobots;

    // Composed here, never from the folder's stored content: the texts of a
    // feed folder come from the feed.
    CString body = "<h1>" + HtmlEscape(m_folder.m_strTitle) + "</h1>\r\n";
    const CString channel = GetSystemVar("google_channel");
    if (!channel.IsEmpty()) body += HtmlGoogleAdvNew(channel);
    body += RenderSearchForm2("");
    if (id == 0) {
        body += "<p>" + HtmlEscape(m_folder.m_strDesc) + "</p>" + m_folders.RenderList(0, "/", 3) +
                ParseString("{advtext:rss_what}");
    } else if (HasFeed(m_folder)) {
        body += RenderRssAttribute() + RenderLinkList();
    } else {
        // Items pasted into a plain folder are listed below its sub-folders.
        body += m_folders.RenderList(id, dir, 2);
        if (m_repo.PopulateItemCount(id, VisibleItemFilter()) > 0) body += RenderLinkList();
    }
    m_strPageContent = body;
    KvParseImp imp;
    imp.AddVariable("current_path", GetCurrentPath(dir));
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebRSS::RenderRssAttribute() {
    if (m_folder.m_nID < 0 || !HasFeed(m_folder)) return CString();
    const KvWebFolderRSS& f = m_folder;
    const CString url = HtmlEscape(f.m_strRssUrl);
    const CString urlCell =
        KvIsWebAddress(f.m_strRssUrl)
            ? "<a href=\"" + HtmlEscapeAttr(f.m_strRssUrl) + "\" rel=\"noopener noreferrer\">" + url + "</a>"
            : url;
    const CString last = f.m_timeRssLastDownload.GetYear() > 1980 ? f.m_timeRssLastDownload.Format("%Y-%m-%d %H:%M:%S")
                                                                : CString("never");
    const CString token = LinkToken();
    const CString actions = StrFormat(
        "[<a href=\"%s\">Update Now</a>] [<a href=\"%s\">Edit</a>]",
        HtmlEscapeAttr(StrFormat("/phpmod/rss_download.php?cat=%d", f.m_nID) + token).c_str(),
        HtmlEscapeAttr(StrFormat("/phpmod/folder.php?op=edit&cat=%d", f.m_nID) + token).c_str());
    CString out("<table class=\"rss-attribute\" border=\"0\" cellpadding=\"2\" cellspacing=\"0\">\r\n");
    out += AttributeRow("Description", HtmlEscape(f.m_strDesc));
    out += AttributeRow("Copyright", HtmlEscape(f.m_strRssCopyright));
    out += AttributeRow("URL", urlCell);
    out += AttributeRow("Periode", StrFormat("%d %s", f.m_nRssPeriode, HtmlEscape(f.m_strRssPeriodeStr).c_str()));
    out += AttributeRow("Last&nbsp;Update", last);
    if (IsUserLogin() && IsUserAdmin()) out += AttributeRow("Action", actions);
    out += "<tr><td><img src=\"/images/blank.gif\" width=\"1\" height=\"1\" alt=\"\"></td>"
           "<td><img src=\"/images/blank.gif\" width=\"1\" height=\"1\" alt=\"\"></td>"
           "<td><img src=\"/images/blank.gif\" width=\"1\" height=\"1\" alt=\"\"></td></tr>\r\n";
    return out + "</table>\r\n";
}

CString KvWebRSS::RenderLinkList() {
    if (m_folder.m_nID < 0) return CString();
    const CString filter = VisibleItemFilter();
    const int total = m_repo.PopulateItemCount(m_folder.m_nID, filter);
    if (total <= 0) return "<p class=\"item-empty\">No items yet.</p>\r\n";
    const int perPage = GetMaxItemPerPage();
    const int page = KvFolderSite::ClampPage(m_cgi.GetIntValue("p", 1), total, perPage);
    KvObjectArray items;
    m_repo.PopulateItem(m_folder.m_nID, filter, perPage, (page - 1) * perPage, &items);
    const CString pager = HtmlPagePosition(UrlEscapePath(m_strFolderPath) + "?op=show", total, perPage, page);
    return pager + RenderSelectableItems(&m_folder, items) + pager;
}
