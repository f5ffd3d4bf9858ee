// KvWebRSS: the folder module ("folder.php") with the feed fields.
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvFeedRefresher.h"
#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvParseImp.h"

namespace {

const char* const kPeriodUnits[] = {"minutes", "hours", "days", "weeks"};

CString PeriodSelect(const CString& current) {
    CString out("<select class=\"inputbox\" name=\"fld_rss_periode_str\">");
    for (const char* unit : kPeriodUnits) {
        out += StrFormat("<option value=\"%s\"%s>%s</option>", unit, current == unit ? " selected" : "", unit);
    }
    return out + "</select>";
}

CString KnownUnit(const CString& unit) {
    for (const char* known : kPeriodUnits) {
        if (unit == known) return unit;
    }
    return "days";
}

}  // namespace

int KvWebRSS::ResponseFolderModule() {
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (op == "del") return ResponseFolderDelete();
    if (op == "doadd") return ResponseFolderDoAdd();
    if (op == "doedit") return ResponseFolderDoEdit();
    if (op == "domove") return ResponseFolderDoMove();
    if (op != "add" && op != "edit" && op != "move") return ResponseUnknownAction(op);
    if (!LoadWritableFolder(cat)) return 1;
    if (op == "edit") return FolderFormShow(m_folder, false, "");
    if (op == "move") return m_folders.ShowFolderMoveForm(m_folder, m_strFolderPath, "");
    KvWebFolderRSS folder;
    folder.m_nParent = cat;
    folder.m_strName.Empty();
    folder.m_nRssPeriode = 1;
    folder.m_strRssPeriodeStr = "days";
    return FolderFormShow(folder, true, "");
}

int KvWebRSS::FolderFormShow(const KvWebFolderRSS& folder, bool isNew, const char* message) {
    KvParseImp imp;
    m_folders.AddFolderFormVars(imp, folder, m_strFolderPath);
    const CString url = folder.m_strRssUrl == "(NULL)" ? CString() : folder.m_strRssUrl;
    imp.AddVariable("fld_rss_url", HtmlEscape(url));
    imp.AddVariable("fld_rss_copyright", HtmlEscape(folder.m_strRssCopyright));
    imp.AddVariable("fld_rss_periode", folder.m_nRssPeriode);
    imp.AddVariable("fld_rss_periode_str", PeriodSelect(folder.m_strRssPeriodeStr));
    return m_folders.ShowFolderForm(imp, isNew, m_folder.m_nID, m_strFolderPath, message);
}

bool KvWebRSS::ReadRssFolderForm(KvWebFolderRSS& folder, CString& message) {
    CString title = m_cgi.GetValue("fld_title", "");
    title.Trim();
    if (title.IsEmpty()) {
        message = "The folder title cannot be empty!";
        return false;
    }
    CString url = m_cgi.GetValue("fld_rss_url", "");
    url.Trim();
    // Only web feeds: a file or a local address is never read as a feed.
    if (!url.IsEmpty() && !KvIsWebAddress(url)) {
        message = "The feed address must be an http or https address.";
        return false;
    }
    const bool root = m_cgi.GetValue("op", "") == CString("doedit") && folder.m_nID == 0;
    const char* content = root ? KV_RSS_ROOT_CONTENT : url.IsEmpty() ? KV_RSS_FOLDER_CONTENT : KV_RSS_FEED_CONTENT;
    if (!m_folders.ReadFolderForm(folder, content, message)) return false;
    // The title is the field a feed folder is known by: lists show it when
    // no label was given.
    CString label = m_cgi.GetValue("fld_label", "");
    label.Trim();
    if (label.IsEmpty()) folder.m_strLabel = title;
    // The content follows the folder's kind, whatever the form sent.
    folder.m_strContent = content;
    folder.m_strRssUrl = url;
    folder.m_strRssCopyright = m_cgi.GetValue("fld_rss_copyright", "");
    folder.m_nRssPeriode = m_cgi.GetIntValue("fld_rss_periode", 1);
    if (folder.m_nRssPeriode < 1) folder.m_nRssPeriode = 1;
    folder.m_strRssPeriodeStr = KnownUnit(m_cgi.GetValue("fld_rss_periode_str", "days"));
    return true;
}

int KvWebRSS::ResponseFolderDoAdd() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    KvWebFolderRSS folder;
    CString message;
    if (!ReadRssFolderForm(folder, message)) return FolderFormShow(folder, true, message);
    const int id = m_repo.AddNewFolder(m_folder.m_nID, &folder);
    if (id <= 0) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, true, message);
    }
    ContentChanged();
    // A new feed is read soon, not at the next round.
    if (!folder.m_strRssUrl.IsEmpty()) KvFeedRefresher::Wake();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(id)));
}

int KvWebRSS::ResponseFolderDoEdit() {
    if (!LoadWritableFolder(m_cgi.GetIntValue("cat", 0))) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    KvWebFolderRSS folder(m_folder);
    CString message;
    if (!ReadRssFolderForm(folder, message)) return FolderFormShow(folder, false, message);
    if (folder.m_nID == 0) folder.m_strName = m_folder.m_strName;  // the root keeps its name
    if (!m_repo.UpdateFolder(&folder)) {
        message.Format("Unable to save the folder '%s' to database.", folder.m_strName.c_str());
        return FolderFormShow(folder, false, message);
    }
    ContentChanged();
    if (!folder.m_strRssUrl.IsEmpty()) KvFeedRefresher::Wake();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(folder.m_nID)));
}

int KvWebRSS::ResponseFolderDelete() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    return m_folders.DeleteFolder(m_folder, m_strFolderPath, [this] { ContentChanged(); });
}

int KvWebRSS::ResponseFolderDoMove() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (cat <= 0) return ResponseRedirectToReferer();
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    return m_folders.MoveFolder(m_folder, m_strFolderPath, [this] { ContentChanged(); });
}
