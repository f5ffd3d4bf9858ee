// KvWebLocal: set-up, routing, the site's placeholders and boxes.
#include "proxy/sites/KvWebLocal.h"

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebLocal, KvWebObjectEx)

KvWebLocal::KvWebLocal() : m_folders(*this, m_repo) {}

KvWebLocal::~KvWebLocal() = default;

int KvWebLocal::Initiate() {
    if (!InitiateSite() || !OpenSiteRepo(m_repo, "Local web", "pages")) return 0;
    m_strAdvSnippet = HeadingAdvSnippet();
    OpenSearchStore(m_search, "Local web");
    return 1;
}

int KvWebLocal::DoGetResponse() {
    m_folder = KvWebFolder();
    m_page = KvWebPage();
    m_folder.m_nID = -1;
    m_strFolderPath = CString("/");
    const CString& dir = m_strCurDir;
    const CString& file = m_strCurFile;
    if (file.IsEmpty() && dir != "/phpmod/") return ResponseWebPage(dir, "index.html");
    CString lower = file;
    lower.MakeLower();
    if (lower.Right(5) == ".html") return ResponseWebPage(dir, file);
    if (dir == "/phpmod/" || lower.Right(4) == ".php") return ResponsePhpModule();
    return 0;
}

int KvWebLocal::ResponsePhpModule() {
    CString file = m_strCurFile;
    file.MakeLower();
    if (file == "folder.php") return ResponseFolderModule();
    if (file == "wpage.php") return ResponsePageModule();
    if (file == "search.php") return ResponseSearchModule();
    if (file == "item_list.php") return ResponseItemListModule();
    return KvWebObjectEx::ResponsePhpModule();
}

int KvWebLocal::WebPageShow(const char* file, KvParseImp* imp) {
    // With an advertising channel set, the block follows every first-level
    // heading of the body.
    PlaceAfterHeadings(m_strAdvSnippet);
    return KvWebObjectEx::WebPageShow(file, imp);
}

int KvWebLocal::DoParseString(const CString& key, const CString& arg, CString& value) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    if (m_folders.ParseFolderPlaceholder(key, folder, m_strFolderPath, m_folder.m_strLabel, value)) return 1;
    if (key == "page_list") value = RenderPageList();
    else if (key == "link_list" || key == "link_form") value.Empty();
    else if (key == "subfolder_add_form") value = RenderSubFolderAddForm();
    else return KvWebObjectEx::DoParseString(key, arg, value);
    return 1;
}

// --- boxes ------------------------------------------------------------------------------

CString KvWebLocal::RenderSearchForm(const char*) {
    return HtmlSidebarBox("Search",
                          KvFolderSite::SearchFormHtml("search-form", m_cgi.GetValue("q", ""), 0, 16, false));
}

CString KvWebLocal::RenderSearchForm2(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return KvFolderSite::SearchFormHtml("search-form search-inline", m_cgi.GetValue("q", ""), folder, 32, false);
}

CString KvWebLocal::RenderSearchForm3(const char*) {
    return KvFolderSite::SearchFormHtml("search-form search-top", m_cgi.GetValue("q", ""), 0, 20, false);
}

CString KvWebLocal::RenderLoginForm() { return KvWebObjectEx::RenderLoginForm(); }

CString KvWebLocal::RenderLoginHRef() { return KvWebObjectEx::RenderLoginHRef(); }

CString KvWebLocal::RenderSitemap(const char* arg) { return m_folders.RenderSitemap(arg); }

CString KvWebLocal::RenderManagementMenu() {
    if (m_folder.m_nID < 0 || !m_folders.MayWrite(m_folder)) return CString();
    const int cat = m_folder.m_nID, id = m_page.m_nID;
    const CString token = LinkToken();
    auto link = [&](const CString& href, const char* text, bool confirm = false) {
        return KvFolderSite::MenuLink(href, token, text, confirm);
    };
    CString menu("<div class=\"mgmt-menu\">");
    if (id > 0 && m_page.m_strName.CompareNoCase("index.html") == 0) {
        menu += StrFormat("<b>PAGE </b> [%s, %s]  -  \n",
                          link(StrFormat("/phpmod/wpage.php?op=add&cat=%d", cat), "ADD NEW").c_str(),
                          link(StrFormat("/phpmod/wpage.php?op=edit&cat=%d&id=%d", cat, id), "EDIT").c_str());
    } else if (id > 0) {
        menu += StrFormat("<b>PAGE </b> [%s, %s, %s, %s]  -  \n",
                          link(StrFormat("/phpmod/wpage.php?op=edit&cat=%d&id=%d", cat, id), "EDIT").c_str(),
                          link(StrFormat("/phpmod/wpage.php?op=add&cat=%d", cat), "ADD NEW").c_str(),
                          link(StrFormat("/phpmod/wpage.php?op=del&cat=%d&id=%d", cat, id), "DELETE", true).c_str(),
                          link(StrFormat("/phpmod/wpage.php?op=move&cat=%d&id=%d", cat, id), "MOVE").c_str());
    }
    menu += KvFolderSite::FolderMenu(cat, token);
    return menu + "</div>\n";
}

CString KvWebLocal::RenderSubFolderAddForm() {
    if (m_folder.m_nID < 0 || !m_folders.MayWrite(m_folder)) return CString();
    return StrFormat("<form class=\"site-form add-some\" method=\"post\" action=\"/phpmod/folder.php\">\r\n"
                     "<input type=\"hidden\" name=\"op\" value=\"add_some\">\r\n"
                     "<input type=\"hidden\" name=\"cat\" value=\"%d\">\r\n"
                     "<input type=\"hidden\" name=\"rnd\" value=\"%s\">\r\n"
                     "<div class=\"label\">Add sub-folders, one a line: name | title | description</div>\r\n"
                     "<textarea class=\"inputbox\" name=\"fld_folders\" rows=\"4\" cols=\"60\"></textarea><br>\r\n"
                     "<input class=\"button\" type=\"submit\" value=\"Add Folders\">\r\n</form>\r\n",
                     m_folder.m_nID, HtmlEscapeAttr(GetFormToken()).c_str());
}

// --- helpers ----------------------------------------------------------------------------

CString KvWebLocal::FindPathFromFolderId(int id) { return m_folders.FolderPath(id); }

void KvWebLocal::ContentChanged() { ForgetSearches(m_search, "Local web"); }

void KvWebLocal::SyncIndexPageFromFolder(const KvWebFolder& folder) {
    KvWebPage index;
    if (!m_repo.GetPage(folder.m_nID, "index.html", &index)) return;
    index.m_strLabel = folder.m_strLabel;
    index.m_strTitle = folder.m_strTitle;
    index.m_strDesc = folder.m_strDesc;
    index.m_strKeywords = folder.m_strKeywords;
    index.m_strRobots = folder.m_strRobots;
    (void)m_repo.UpdatePage(&index);
}

void KvWebLocal::SyncFolderFromIndexPage(const KvWebPage& page) {
    KvWebFolder folder;
    if (!m_repo.GetFolder(page.m_nFolder, &folder)) return;
    folder.m_strLabel = page.m_strLabel;
    folder.m_strTitle = page.m_strTitle;
    folder.m_strDesc = page.m_strDesc;
    folder.m_strKeywords = page.m_strKeywords;
    folder.m_strRobots = page.m_strRobots;
    (void)m_repo.UpdateFolder(&folder);
}

CString KvWebLocal::VisiblePageFilter() {
    CString filter = IsUserLogin() && IsUserAdmin() ? CString("page_id > 0") : CString("page_show=1 and page_active=1");
    const std::vector<int> hidden = m_folders.HiddenFolderIds();
    if (!hidden.empty()) filter += " and folder_id not in(" + KvRepoIdList(hidden) + ")";
    return filter;
}

bool KvWebLocal::LoadWritableFolder(int id) { return m_folders.LoadWritableFolder(id, m_folder, m_strFolderPath); }

bool KvWebLocal::LoadWritablePage() {
    const int id = m_cgi.GetIntValue("id", 0);
    if (id <= 0 || !m_repo.GetPage(id, &m_page)) {
        m_page = KvWebPage();
        ResponseError("Unable to locate the page %d", id);
        return false;
    }
    return LoadWritableFolder(m_page.m_nFolder);
}
