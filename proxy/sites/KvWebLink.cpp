// KvWebLink: set-up, routing, the folder page, the site's placeholders and
// boxes.
#include "proxy/sites/KvWebLink.h"

#include <functional>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/html/KvSearchCond.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebLink, KvWebObjectEx)

KvWebLink::KvWebLink() : m_folders(*this, m_repo) {}

KvWebLink::~KvWebLink() = default;

int KvWebLink::Initiate() {
    if (!InitiateSite() || !OpenSiteRepo(m_repo, "Link directory", "links")) return 0;
    m_strAdvSnippet = HeadingAdvSnippet();
    OpenSearchStore(m_search, "Link directory");
    return 1;
}

int KvWebLink::DoGetResponse() {
    m_folder = KvWebFolder();
    m_folder.m_nID = -1;
    m_strFolderPath = CString("/");
    const CString& dir = m_strCurDir;
    CString lower = m_strCurFile;
    lower.MakeLower();
    if (dir.CompareNoCase("/phpmod/") == 0 || lower.Right(4) == ".php") return ResponsePhpModule();
    if (lower.IsEmpty() || lower == "index.html") return ResponseLinks(dir);
    return 0;
}

int KvWebLink::ResponsePhpModule() {
    CString file = m_strCurFile;
    file.MakeLower();
    if (file == "folder.php") return ResponseFolderModule();
    if (file == "link.php") return ResponseLinkModule();
    if (file == "jump.php") return ResponseJump();
    if (file == "search.php") return ResponseSearchModule();
    if (file == "item_list.php") return m_folders.ResponseItemList(std::bind_front(&KvWebLink::DoClipboard, this));
    if (file == "item_pop.php") return m_folders.ResponseItemPop(std::bind_front(&KvWebLink::DoClipboard, this));
    if (file == "sfeed.php") return ResponseSearchFeed();
    if (file == "grabmeta.php") return ResponseGrabMeta();
    if (file == "bookmarks.php") return ResponseBookmarksModule();
    if (KvFolderSite::IsSettingsAlias(file)) return m_folders.ResponseSettingsAlias();
    return KvWebObjectEx::ResponsePhpModule();
}

int KvWebLink::WebPageShow(const char* file, KvParseImp* imp) {
    PlaceAfterHeadings(m_strAdvSnippet);
    return KvWebObjectEx::WebPageShow(file, imp);
}

// --- the folder page --------------------------------------------------------------------

int KvWebLink::ResponseLinks(const CString& path) {
    const int folderId = path == "/" ? 0 : m_repo.FindFolderId(path);
    CString op = m_cgi.GetValue("op", "");
    op.MakeLower();
    if (op == "edit" && folderId >= 0) return ResponseRedirect(StrFormat("/phpmod/folder.php?op=edit&cat=%d", folderId));
    if (folderId < 0 || !m_repo.GetFolder(folderId, &m_folder)) {
        m_folder.m_nID = -1;
        return ResponseNotFound();
    }
    m_strFolderPath = FindPathFromFolderId(folderId);
    // Read levels come before the redirect: a hidden folder tells nothing.
    if (!m_folders.MayRead(folderId)) return ResponseUnauthorisized();
    if (!m_folder.m_strRedirect.IsEmpty()) {
        const CString& to = m_folder.m_strRedirect;
        const bool local = to.Left(1) == "/" && to.Left(2) != "//";
        if (local || KvIsWebAddress(to)) return ResponseRedirect(to);
    }
    m_strPagerBase = StrFormat("%s?op=show&filter=%s", UrlEscapePath(m_strFolderPath).c_str(),
                               UrlEscapeComponent(m_cgi.GetValue("filter", "")).c_str());
    m_strPageTitle = m_folder.m_strTitle;
    m_strPageDesc = m_folder.m_strDesc;
    m_strPageKeywords = GenPageKeywords(m_folder.m_strKeywords);
    m_strPageRobots = m_folder.m_strRobots;
    m_strPageContent = ParseString(m_folder.m_strContent);
    if (IsUserLogin() && IsUserDeveloper()) {
        m_strPageContent += RenderAddForm("folder.php", "fld_folders", "ADD SOME FOLDERS AT ONCE",
                                          "One a line: name | title | description");
    }
    KvParseImp imp;
    imp.AddVariable("current_path", GetCurrentPath(m_strFolderPath));
    imp.AddVariable("folder_id", folderId);
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebLink::LinkFilter() const {
    return IsUserLogin() && IsUserAdmin() ? CString() : CString("item_show=1 and item_active=1");
}

CString KvWebLink::RenderLinkList() {
    if (m_folder.m_nID < 0) return CString();
    const CString text = m_cgi.GetValue("f", "");
    CString filter = LinkFilter();
    if (!text.IsEmpty()) {
        const CString k = SearchQueryBuilder("item_keywords", text), t = SearchQueryBuilder("item_title", text),
                      d = SearchQueryBuilder("item_desc", text);
        const CString any = k.IsEmpty() || t.IsEmpty() || d.IsEmpty() ? CString("item_id = 0")
                                                                       : "(" + k + ") or (" + t + ") or (" + d + ")";
        filter = filter.IsEmpty() ? "(" + any + ")" : filter + " and (" + any + ")";
    }
    const int perPage = GetMaxItemPerPage();
    const int total = m_repo.PopulateItemCount(m_folder.m_nID, filter);
    if (total <= 0) return CString();
    const int page = KvFolderSite::ClampPage(m_cgi.GetIntValue("p", 1), total, perPage);
    KvObjectArray links;
    (void)m_repo.PopulateItem(m_folder.m_nID, filter, perPage, (page - 1) * perPage, &links);
    const bool manage = m_folders.MayWrite(m_folder);
    const CString pager = HtmlPagePosition(m_strPagerBase, total, perPage, page);
    CString out = pager + KvFolderSite::RenderSelectionForm(RenderItemArray(&m_folder, links), links.GetSize(),
                                                            m_folder.m_nID, GetFormToken(), manage);
    out += StrFormat("<form class=\"filter-form\" method=\"POST\" action=\"%s\">Filter: <input type=\"text\" "
                     "name=\"f\" value=\"%s\" size=\"20\" class=\"inputbox\">&nbsp;<input type=\"submit\" "
                     "value=\"Do Filtering\" class=\"button\"></form>\r\n",
                     HtmlEscapeAttr(UrlEscapePath(m_strFolderPath)).c_str(), HtmlEscapeAttr(text).c_str());
    out += pager;
    if (manage) {
        out += RenderAddForm("link.php", "fld_links", "ADD SOME LINKS AT ONCE",
                             "One a line: URL | title | description");
    }
    return out;
}

CString KvWebLink::RenderAddForm(const char* module, const char* field, const char* heading, const char* hint) {
    if (m_folder.m_nID < 0) return CString();
    CString formats;
    if (CString(module) == "link.php") {
        formats = "<select class=\"inputbox\" name=\"fmt\"><option value=\"url\">URL | title | description</option>"
                  "<option value=\"title\">title | URL | description</option><option value=\"dmoz\">directory "
                  "listing</option><option value=\"ul\">HTML list</option></select><br>\r\n";
    }
    return StrFormat("<form class=\"site-form add-some\" method=\"post\" action=\"/phpmod/%s\">\r\n"
                     "<h3>%s</h3>\r\n"
                     "<input type=\"hidden\" name=\"op\" value=\"add_some\">\r\n"
                     "<input type=\"hidden\" name=\"cat\" value=\"%d\">\r\n"
                     "<input type=\"hidden\" name=\"rnd\" value=\"%s\">\r\n"
                     "<div class=\"label\">%s</div>\r\n%s"
                     "<textarea class=\"inputbox\" name=\"%s\" rows=\"4\" cols=\"60\"></textarea><br>\r\n"
                     "<input class=\"button\" type=\"submit\" value=\"Add\">\r\n</form>\r\n",
                     module, heading, m_folder.m_nID, HtmlEscapeAttr(GetFormToken()).c_str(), hint, formats.c_str(),
                     field);
}

// --- placeholders and boxes ---------------------------------------------------------------

int KvWebLink::DoParseString(const CString& key, const CString& arg, CString& value) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    if (m_folders.ParseFolderPlaceholder(key, folder, m_strFolderPath, m_folder.m_strLabel, value)) return 1;
    if (key == "link_list") value = RenderLinkList();
    else if (key == "link_form") value.Empty();
    else if (key == "subfolder_add_form") {
        value = m_folders.MayWrite(m_folder) && m_folder.m_nID >= 0
                    ? RenderAddForm("folder.php", "fld_folders", "ADD SOME FOLDERS AT ONCE",
                                    "One a line: name | title | description")
                    : CString();
    } else return KvWebObjectEx::DoParseString(key, arg, value);
    return 1;
}

CString KvWebLink::RenderSearchForm(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return HtmlSidebarBox("FIND",
                          KvFolderSite::SearchFormHtml("search-form", m_cgi.GetValue("q", ""), folder, 16, true));
}

CString KvWebLink::RenderSearchForm2(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return KvFolderSite::SearchFormHtml("search-form search-inline", m_cgi.GetValue("q", ""), folder, 32, true);
}

CString KvWebLink::RenderSearchForm3(const char*) {
    const int folder = m_folder.m_nID < 0 ? 0 : m_folder.m_nID;
    return KvFolderSite::SearchFormHtml("search-form search-top", m_cgi.GetValue("q", ""), folder, 20, true);
}

CString KvWebLink::RenderSitemap(const char* arg) { return m_folders.RenderSitemap(arg); }

CString KvWebLink::RenderManagementMenu() {
    if (m_folder.m_nID < 0 || !m_folders.MayWrite(m_folder)) return CString();
    const int cat = m_folder.m_nID;
    const CString token = LinkToken();
    auto link = [&](const CString& href, const char* text, bool confirm = false) {
        return KvFolderSite::MenuLink(href, token, text, confirm);
    };
    CString menu("<div class=\"mgmt-menu\">");
    menu += StrFormat("<b>LINK </b> [%s, %s, %s]  -  \n",
                      link(StrFormat("/phpmod/link.php?op=add&cat=%d", cat), "ADD NEW").c_str(),
                      link(StrFormat("/phpmod/item_list.php?Paste=1&cat=%d", cat), "PASTE").c_str(),
                      link(StrFormat("/phpmod/item_list.php?ClearBuffer=1&cat=%d", cat), "CLEAR BUFFER").c_str());
    menu += KvFolderSite::FolderMenu(cat, token);
    menu += StrFormat("<b>BOOKMARKS </b> [%s%s]<br>\n",
                      IsUserLogin() && IsUserAdmin()
                          ? (link(StrFormat("/phpmod/bookmarks.php?op=import&cat=%d", cat), "IMPORT") + ", ").c_str()
                          : "",
                      HtmlLink(HtmlEscapeAttr(StrFormat("/phpmod/bookmarks.php?op=export&cat=%d", cat)), "EXPORT",
                               nullptr)
                          .c_str());
    return menu + "</div>\n";
}

// --- helpers ----------------------------------------------------------------------------

CString KvWebLink::FindPathFromFolderId(int id) { return m_folders.FolderPath(id); }

void KvWebLink::ContentChanged() { ForgetSearches(m_search, "Link directory"); }

bool KvWebLink::LoadWritableFolder(int id) { return m_folders.LoadWritableFolder(id, m_folder, m_strFolderPath); }
