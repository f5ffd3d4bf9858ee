// KvWebRSS: set-up, routing, the site's placeholders and boxes.
#include "proxy/sites/KvWebRSS.h"

#include <functional>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/log/KvLogError.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebRSS, KvWebObjectEx)

KvWebRSS::KvWebRSS() : m_folders(*this, m_repo) {}

KvWebRSS::~KvWebRSS() = default;

int KvWebRSS::Initiate() {
    if (!InitiateSite() || !OpenSiteRepo(m_repo, "RSS reader", "feeds")) return 0;
    // Feed folders have fields of their own: the reader's folder form is
    // stored with the site (where its administrator may reshape it).
    CString form;
    if (!m_db.IsSimpleFileExist("_template", "folder.htm") && GetDiskFile("_template", KV_RSS_FOLDER_FORM, form) &&
        !m_db.PutSimpleFileFromLocalFile("/_template/folder.htm", form)) {
        LogError(KV_LOG_ERROR, "RSS reader %s: the folder form could not be stored.", m_strDomain.c_str());
    }
    OpenSearchStore(m_search, "RSS reader");
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
    if (file == "item_list.php") return m_folders.ResponseItemList(std::bind_front(&KvWebRSS::DoClipboard, this));
    if (file == "item_pop.php") return m_folders.ResponseItemPop(std::bind_front(&KvWebRSS::DoClipboard, this));
    if (KvFolderSite::IsSettingsAlias(file)) return m_folders.ResponseSettingsAlias();
    if (file == "opml.php") return ResponseOpmlModule();
    return KvWebObjectEx::ResponsePhpModule();
}

int KvWebRSS::DoParseString(const CString& key, const CString& arg, CString& value) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    if (m_folders.ParseFolderPlaceholder(key, folder, m_strFolderPath, m_folder.m_strLabel, value)) return 1;
    if (key == "link_list") value = RenderLinkList();
    else if (key == "rss_attribute") value = RenderRssAttribute();
    else if (key == "link_form" || key == "subfolder_add_form") value.Empty();
    else return KvWebObjectEx::DoParseString(key, arg, value);
    return 1;
}

// --- boxes ------------------------------------------------------------------------------

CString KvWebRSS::RenderSearchForm(const char*) {
    return HtmlSidebarBox("Search",
                          KvFolderSite::SearchFormHtml("search-form", m_cgi.GetValue("q", ""), 0, 16, false));
}

CString KvWebRSS::RenderSearchForm2(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return KvFolderSite::SearchFormHtml("search-form search-inline", m_cgi.GetValue("q", ""), folder, 32, false);
}

CString KvWebRSS::RenderSearchForm3(const char*) {
    return KvFolderSite::SearchFormHtml("search-form search-top", m_cgi.GetValue("q", ""), 0, 20, false);
}

CString KvWebRSS::RenderSitemap(const char* arg) { return m_folders.RenderSitemap(arg); }

CString KvWebRSS::RenderManagementMenu() {
    if (m_folder.m_nID < 0 || !IsUserLogin() || !IsUserAdmin()) return CString();
    const int cat = m_folder.m_nID;
    const CString token = LinkToken();
    auto link = [&](const CString& href, const char* text, bool confirm = false) {
        return KvFolderSite::MenuLink(href, token, text, confirm);
    };
    CString menu("<div class=\"mgmt-menu\"><b>FOLDER </b> [");
    menu += link(StrFormat("/phpmod/folder.php?op=edit&cat=%d", cat), "ATTRIBUTE") + ", ";
    menu += link(StrFormat("/phpmod/folder.php?op=add&cat=%d", cat), "ADD NEW");
    if (cat > 0) {
        menu += ", " + link(StrFormat("/phpmod/folder.php?op=del&cat=%d", cat), "DELETE", true) + ", " +
                link(StrFormat("/phpmod/folder.php?op=move&cat=%d", cat), "MOVE");
    }
    if (!m_folder.m_strRssUrl.IsEmpty() && m_folder.m_strRssUrl != "(NULL)") {
        menu += "] <b>FEED </b> [" + link(StrFormat("/phpmod/rss_download.php?cat=%d", cat), "UPDATE NOW") + ", " +
                link(StrFormat("/phpmod/rss_queue.php?cat=%d", cat), "MARK AS UPDATED");
    } else {
        menu += "] <b>OPML </b> [" + link(StrFormat("/phpmod/opml.php?op=import&cat=%d", cat), "IMPORT") + ", " +
                HtmlLink("/phpmod/opml.php", "EXPORT", nullptr);
    }
    return menu + "]</div>\n";
}

// --- helpers ----------------------------------------------------------------------------

CString KvWebRSS::FindPathFromFolderId(int id) { return m_folders.FolderPath(id); }

void KvWebRSS::ContentChanged() { ForgetSearches(m_search, "RSS reader"); }

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
