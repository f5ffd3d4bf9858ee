// KvWebLocal: the search module ("search.php").
#include <algorithm>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebLocal.h"
#include "proxy/web/KvParseImp.h"

namespace {

// A profile keeps at most this many ids; more matches say "more than".
constexpr int kStoredResults = 100;

}  // namespace

int KvWebLocal::ResponseSearchModule() {
    CString query = m_cgi.GetValue("q", "");
    query.Trim();
    const int cat = m_cgi.GetIntValue("cat", 0);
    const CString condition =
        KvFolderSite::SearchCondition(query, "page_keywords", "page_title", "page_desc", "page_id");
    const int profile = condition.IsEmpty() ? 0 : m_search.FindOrCreateSearchProfile(query, condition);
    // What the visitor may see is decided now, not when the profile was
    // made: profiles are shared by every visitor.
    const CString filter = VisiblePageFilter();
    const int total = profile > 0 ? m_search.PopulateSearchResultCount(profile, filter) : 0;
    const int perPage = GetMaxItemPerPage();
    const int page = KvFolderSite::ClampPage(m_cgi.GetIntValue("p", 1), total, perPage);
    KvObjectArray pages;
    if (total > 0) (void)m_search.PopulateSearchResult(profile, filter, perPage, (page - 1) * perPage, &pages);

    const CString shown = HtmlEscape(query);
    CString header;
    if (total == 0) header = "There are no url that fit the query: <b>" + shown + "</b>";
    else if (m_search.PopulateSearchResultCount(profile) >= kStoredResults && total >= kStoredResults)
        header = StrFormat("More than %d urls that fit the query: <b>%s</b>. Show only the first %d urls",
                           kStoredResults, shown.c_str(), kStoredResults);
    else header = StrFormat("There are %d url(s) that fit the query: <b>%s</b>", total, shown.c_str());
    const CString pager = HtmlPagePosition(
        StrFormat("/phpmod/search.php?q=%s&cat=%d", UrlEscapeComponent(query).c_str(), cat), total, perPage, page);

    m_strPageTitle = query + " Search Result";
    m_strPageRobots = "noindex";
    m_strPageContent = HtmlSearchPageTitle(query, "") + "<div class=\"search-count\">" + header + "</div>\r\n" +
                       pager +
                       (pages.IsEmpty() ? CString()
                                        : KvFolderSite::RenderSelectionForm(RenderSearchList(pages), pages.GetSize(),
                                                                            cat, GetFormToken(), false)) +
                       pager;
    KvParseImp imp;
    imp.AddVariable("current_path",
                    RenderTrail("Search", StrFormat("/phpmod/search.php?q=%s&cat=%d",
                                                    UrlEscapeComponent(query).c_str(), cat)));
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebLocal::RenderSearchList(const KvObjectArray& pages) {
    if (pages.IsEmpty()) return CString();
    CString out("<dl class=\"page-list search-list\">\r\n");
    for (int i = 0; i < pages.GetSize(); ++i) {
        const auto* p = static_cast<KvWebPage*>(pages[i]);
        const CString dir = FindPathFromFolderId(p->m_nFolder);
        const CString path = p->m_strName.CompareNoCase("index.html") == 0 ? dir : dir + p->m_strName;
        CString label = HtmlEscape(p->m_strLabel);
        if (p->m_nFlags & 1) label = "<b>" + label + "</b>";
        if (p->m_nFlags & 2) label = "<i>" + label + "</i>";
        out += "<dt>" + KvFolderSite::SelectionBox(i + 1, p->m_nID) + HtmlLink(HtmlEscapeAttr(UrlEscapePath(path)), label, nullptr) + "</dt>\r\n";
        out += "<dd>";
        if (!p->m_strDesc.IsEmpty()) out += HtmlEscape(p->m_strDesc) + " <br>";
        out += "<span class=\"item-attr\">" + HtmlEscape(path) + "</span></dd>\r\n";
    }
    return out + "</dl>\r\n";
}

int KvWebLocal::ResponseItemListModule() {
    // Pages are not moved or deleted from here (their own forms do that):
    // only copying and emptying the clipboard.
    const CString op = m_folders.SelectionOperation();
    if (op != "copy" && op != "clear") return ResponseUnknownAction(op);
    if (!AllowStateChange(KvWho::Anyone, KvVia::Form)) return 1;
    if (op == "clear") {
        KvFolderSite::ClearClipboard(m_strClientIPAddr);
        return ResponseRedirectToReferer();
    }
    const std::vector<int> hidden = m_folders.HiddenFolderIds();
    const bool admin = IsUserLogin() && IsUserAdmin();
    KvObjectArray links;
    for (int id : m_folders.ReadSelection()) {
        KvWebPage page;
        if (!m_repo.GetPage(id, &page)) continue;
        if (std::find(hidden.begin(), hidden.end(), page.m_nFolder) != hidden.end()) continue;
        if (!admin && (!page.m_bShow || !page.m_bActive)) continue;
        const CString dir = FindPathFromFolderId(page.m_nFolder);
        const CString path = page.m_strName.CompareNoCase("index.html") == 0 ? dir : dir + page.m_strName;
        links.Add(new KvLinkItem(m_strHomeUrl + UrlEscapePath(path), page.m_strTitle, page.m_strDesc));
    }
    KvFolderSite::CopyToClipboard(m_strClientIPAddr, links);
    return ResponseRedirectToReferer();
}
