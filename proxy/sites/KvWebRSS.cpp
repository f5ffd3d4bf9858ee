// KvWebRSS: set-up, routing, the site's placeholders and boxes.
#include "proxy/sites/KvWebRSS.h"

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/log/KvLogError.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebRSS, KvWebObjectEx)

KvWebRSS::KvWebRSS() : m_folders(*this, m_repo) {}

KvWebRSS::~KvWebRSS() = default;

int KvWebRSS::Initiate() {
    if (!InitiateSite()) return 0;
    m_repo.SetDatabase(&m_db);
    if (!m_repo.Open(m_strDbFileName)) {
        LogError(KV_LOG_ERROR, "RSS reader %s: its feeds cannot be read from %s.", m_strDomain.c_str(),
                 m_strDbFileName.c_str());
        m_bInitiated = 0;
        return 0;
    }
    if (GetSystemVar("hp_theme").IsEmpty()) SetSystemVar("hp_theme", "VuvUrad");
    // Feed folders have fields of their own: the reader's folder form is
    // stored with the site (where its administrator may reshape it).
    CString form;
    if (!m_db.IsSimpleFileExist("_template", "folder.htm") && GetDiskFile("_template", KV_RSS_FOLDER_FORM, form) &&
        !m_db.PutSimpleFileFromLocalFile("/_template/folder.htm", form)) {
        LogError(KV_LOG_ERROR, "RSS reader %s: the folder form could not be stored.", m_strDomain.c_str());
    }
    m_search.SetContentDatabase(&m_db);
    const CString store = StrFormat("%s/Temp/%s.srt", m_strBasePath.c_str(), m_strDomain.c_str());
    if (m_search.OpenStore(store)) (void)m_search.ClearSearchProfiles();
    else LogError(KV_LOG_ERROR, "RSS reader %s: searches cannot be kept in %s.", m_strDomain.c_str(), store.c_str());
    return 1;
}

int KvWebRSS::GetResponse(KvHttpRequest* req, KvHttpResponse* resp) {
    m_folder = KvWebFolderRSS();
    m_folder.m_nID = -1;
    m_strFolderPath = CString("/");
    return KvWebObjectEx::GetResponse(req, resp);
}

int KvWebRSS::DoGetResponse() {
    const CString& dir = m_strCurDir;
    CString lower = m_strCurFile;
    lower.MakeLower();
    if (lower.IsEmpty() && dir != "/phpmod/") return ResponseLinks(dir);
    if (lower == "index.html") return ResponseLinks(dir);
    if (dir == "/phpmod/" || lower.Right(4) == ".php") return ResponsePhpModule();
    return ResponseNotFound();
}

int KvWebRSS::ResponsePhpModule() {
    CString file = m_strCurFile;
    file.MakeLower();
    if (file == "folder.php") return ResponseFolderModule();
    if (file == "rss_download.php") return ResponseRSSDownload();
    if (file == "rss_queue.php") return ResponseRSSQueue();
    if (file == "search.php") return ResponseSearchModule();
    if (file == "jump.php") return ResponseJump();
    if (file == "item_list.php") return ResponseItemListModule();
    if (file == "opml.php") return ResponseOpml();
    return KvWebObjectEx::ResponsePhpModule();
}

int KvWebRSS::DoParseString(const CString& key, const CString& arg, CString& value) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    if (key == "mainfolder_menu") value = m_folders.RenderMenu(0, "/", "");
    else if (key == "subfolder_menu") value = m_folders.RenderMenu(folder, m_strFolderPath, m_folder.m_strLabel);
    else if (key == "subfolder_list") value = m_folders.RenderList(folder, m_strFolderPath, 1);
    else if (key == "subfolder_list2") value = m_folders.RenderList(folder, m_strFolderPath, 2);
    else if (key == "subfolder_list3") value = m_folders.RenderList(folder, m_strFolderPath, 3);
    else if (key == "link_list") value = RenderLinkList();
    else if (key == "rss_attribute") value = RenderRssAttribute();
    else if (key == "link_form" || key == "subfolder_add_form") value.Empty();
    else if (key == "folder_id") value.Format("%d", folder);
    else return KvWebObjectEx::DoParseString(key, arg, value);
    return 1;
}

// --- boxes ------------------------------------------------------------------------------

namespace {

CString SearchFormHtml(const char* cls, const CString& query, int folder, int size) {
    return StrFormat("<form class=\"%s\" method=\"get\" action=\"/phpmod/search.php\">"
                     "<input class=\"inputbox\" type=\"text\" name=\"q\" size=\"%d\" value=\"%s\">"
                     "<input type=\"hidden\" name=\"cat\" value=\"%d\">"
                     "<input class=\"button\" type=\"submit\" value=\"Search\"></form>\r\n",
                     cls, size, HtmlEscapeAttr(query).c_str(), folder);
}

}  // namespace

CString KvWebRSS::RenderSearchForm(const char*) {
    return HtmlSidebarBox("Search", SearchFormHtml("search-form", m_cgi.GetValue("q", ""), 0, 16));
}

CString KvWebRSS::RenderSearchForm2(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return SearchFormHtml("search-form search-inline", m_cgi.GetValue("q", ""), folder, 32);
}

CString KvWebRSS::RenderSearchForm3(const char*) {
    return SearchFormHtml("search-form search-top", m_cgi.GetValue("q", ""), 0, 20);
}

CString KvWebRSS::RenderSitemap(const char* arg) { return m_folders.RenderSitemap(arg); }

CString KvWebRSS::RenderManagementMenu() {
    if (m_folder.m_nID < 0 || !IsUserLogin() || !IsUserAdmin()) return CString();
    const int cat = m_folder.m_nID;
    const CString token = LinkToken();
    auto link = [&](const CString& href, const char* text, bool confirm = false) {
        const CString attr = HtmlEscapeAttr(href + token);
        if (!confirm) return HtmlLink(attr, text, nullptr);
        return "<a href=\"" + attr + "\" onclick=\"return confirm('Delete it?');\">" + CString(text) + "</a>";
    };
    CString menu("<div class=\"mgmt-menu\"><b>FOLDER </b> [");
    menu += link(StrFormat("/phpmod/folder.php?op=edit&cat=%d", cat), "ATTRIBUTE") + ", ";
    menu += link(StrFormat("/phpmod/folder.php?op=add&cat=%d", cat), "ADD NEW");
    if (cat > 0) menu += ", " + link(StrFormat("/phpmod/folder.php?op=del&cat=%d", cat), "DELETE", true);
    if (!m_folder.m_strRssUrl.IsEmpty() && m_folder.m_strRssUrl != "(NULL)") {
        menu += "] <b>FEED </b> [" + link(StrFormat("/phpmod/rss_download.php?cat=%d", cat), "UPDATE NOW") + ", " +
                link(StrFormat("/phpmod/rss_queue.php?cat=%d", cat), "MARK AS UPDATED");
    }
    return menu + "]</div>\n";
}

// --- helpers ----------------------------------------------------------------------------

CString KvWebRSS::FindPathFromFolderId(int id) {
    CString path;
    if (id <= 0 || !m_repo.GetFolderPath(id, path)) return "/";
    return path;
}

void KvWebRSS::ContentChanged() {
    if (m_search.IsOpen() && !m_search.ClearSearchProfiles()) {
        LogError(KV_LOG_ERROR, "RSS reader %s: remembered searches could not be emptied.", m_strDomain.c_str());
    }
}

CString KvWebRSS::VisibleItemFilter() {
    return IsUserLogin() && IsUserAdmin() ? CString("item_id > 0") : CString("item_show=1 and item_active=1");
}

bool KvWebRSS::LoadWritableFolder(int id) {
    if (!m_repo.GetFolder(id, &m_folder)) {
        m_folder = KvWebFolderRSS();
        m_folder.m_nID = -1;
        ResponseError("Unable to locate the folder %d", id);
        return false;
    }
    m_strFolderPath = FindPathFromFolderId(id);
    if (!IsUserLogin() || !IsUserAdmin()) {
        ResponseUnauthorisized();
        return false;
    }
    return true;
}
