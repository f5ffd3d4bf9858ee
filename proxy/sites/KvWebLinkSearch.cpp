// KvWebLink: search ("search.php") and the clipboard operations of
// "item_list.php" and "item_pop.php".
#include <memory>

#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvRepoTree.h"
#include "proxy/sites/KvFolderClipboard.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/web/KvParseImp.h"

namespace {

// A profile keeps at most this many ids; more matches say "more than".
constexpr int kStoredResults = 100;

// The search condition; "u:" searches the addresses, the other one-field
// forms are the folder sites' own.
CString LinkSearchCondition(const CString& query) {
    if (query.GetLength() >= 3 && query[1] == ':' && (query[0] == 'u' || query[0] == 'U')) {
        CString text = query.Mid(2);
        text.Trim();
        if (text.IsEmpty()) return CString();
        KvSqlBuffer sql;
        return CString(sql.Format("(item_url like '%%%q%%')", text.c_str()));
    }
    return KvFolderSite::SearchCondition(query, "item_keywords", "item_title", "item_desc", "item_id");
}

}  // namespace

int KvWebLink::ResponseSearchModule() {
    CString query = m_cgi.GetValue("q", "");
    query.Trim();
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (m_repo.GetFolder(cat, &m_folder)) m_strFolderPath = FindPathFromFolderId(cat);
    else m_folder.m_nID = -1;
    const CString condition = LinkSearchCondition(query);
    const int profile = condition.IsEmpty() ? 0 : m_search.FindOrCreateSearchProfile(query, condition);
    // What the visitor may see is decided now, not when the profile was
    // made: profiles are shared by every visitor.
    CString filter = LinkFilter();
    const std::vector<int> hidden = m_folders.HiddenFolderIds();
    if (!hidden.empty()) {
        filter += CString(filter.IsEmpty() ? "" : " and ") +
                  "item_id in (select item_id from link_member where folder_id not in(" + KvRepoIdList(hidden) + "))";
    }
    const int total = profile > 0 ? m_search.PopulateSearchResultCount(profile, filter) : 0;
    const int perPage = GetMaxItemPerPage();
    const int page = KvFolderSite::ClampPage(m_cgi.GetIntValue("p", 1), total, perPage);
    KvObjectArray links;
    if (total > 0) (void)m_search.PopulateSearchResult(profile, filter, perPage, (page - 1) * perPage, &links);

    const CString shown = HtmlEscape(query);
    CString header;
    if (total == 0) header = "There are no url that fit the query: <b>" + shown + "</b>";
    else if (total >= kStoredResults)
        header = StrFormat("More than %d urls that fit the query: <b>%s</b>. Show only the first %d urls",
                           kStoredResults, shown.c_str(), kStoredResults);
    else header = StrFormat("There are %d url(s) that fit the query: <b>%s</b>", total, shown.c_str());
    const CString base = StrFormat("/phpmod/search.php?q=%s&cat=%d", UrlEscapeComponent(query).c_str(), cat);
    const CString pager = HtmlPagePosition(base, total, perPage, page);

    m_strPageTitle = query + " Search Result";
    m_strPageDesc.Empty();
    m_strPageKeywords.Empty();
    m_strPageRobots = "noindex";
    m_strPageContent = HtmlSearchPageTitle(query, "") + "<div class=\"search-count\">" + header + "</div>\r\n" + pager +
                       (links.IsEmpty() ? CString()
                                        : KvFolderSite::RenderSelectionForm(RenderItemArray(nullptr, links),
                                                                            links.GetSize(), cat, GetFormToken(), false)) +
                       pager;
    KvParseImp imp;
    imp.AddVariable("current_path", RenderTrail("Search", base));
    return WebPageShow("wpage.htm", &imp);
}

bool KvWebLink::DoClipboard(const CString& op, int cat, const std::vector<int>& ids, KvVia via) {
    return KvRunClipboard(
        *this, m_folders, m_repo, m_strClientIPAddr, {op, cat, ids, via, KvWho::Member},
        [this](int id) { return LoadWritableFolder(id); }, [this] { ContentChanged(); });
}
