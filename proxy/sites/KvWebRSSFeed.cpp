// KvWebRSS: feed downloads ("rss_download.php", "rss_queue.php"), the
// search module and the jump page.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "base/time/KvTime.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/log/KvLogError.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvSiteLockRelease.h"
#include "proxy/web/KvParseImp.h"

namespace {

// A profile keeps at most this many ids; more matches say "more than".
constexpr int kStoredResults = 100;

}  // namespace

int KvWebRSS::ResponseRSSDownload() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    const CString url = m_folder.m_strRssUrl;
    if (url.IsEmpty() || url == "(NULL)" || !KvIsWebAddress(url)) return ResponseRedirectToReferer();
    const CString keywords = m_folder.m_strKeywords;
    // The fetch may take the whole download time-out: the site answers
    // other requests meanwhile.
    KvFetchedFeed feed;
    bool ok = false;
    {
        KvSiteLockRelease release(m_csLock, m_pRequest, m_pResponse, m_strClientIPAddr);
        ok = FetchFeed(url, keywords, feed);
    }
    // Whatever ran meanwhile may have ended its session: this answer sets
    // no cookie.
    m_pSession = nullptr;
    if (!ok) {
        LogError(KV_LOG_INFO, "RSS reader %s: %s", m_strDomain.c_str(), feed.message.c_str());
        return ResponseRedirectToReferer();
    }
    (void)StoreFeed(cat, url, feed);
    return ResponseRedirectToReferer();
}

int KvWebRSS::ResponseRSSQueue() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    (void)m_repo.UpdateFolderLastDownload(cat, KvTime::GetCurTime());
    return ResponseRedirectToReferer();
}

int KvWebRSS::ResponseJump() {
    KvLinkItem item;
    const int id = m_cgi.GetIntValue("id", 0);
    if (id <= 0 || !m_repo.GetItem(id, &item)) return ResponseError("Unable to locate the item %d", id);
    // An item of a folder the visitor may not see is not there for them.
    const bool admin = IsUserLogin() && IsUserAdmin();
    if ((!admin && (!item.m_bShow || !item.m_bActive)) || !m_folders.MayReadLink(id, m_folders.HiddenFolderIds())) {
        return ResponseError("Unable to locate the item %d", id);
    }
    if (!KvIsWebAddress(item.m_strUrl)) return ResponseError("%s", "The item has no web address.");
    (void)m_repo.IncrementItemHits(id);
    return ResponseRedirect(item.m_strUrl);
}

int KvWebRSS::ResponseSearchModule() {
    CString query = m_cgi.GetValue("q", "");
    query.Trim();
    const int cat = m_cgi.GetIntValue("cat", 0);
    const CString condition =
        KvFolderSite::SearchCondition(query, "item_keywords", "item_title", "item_desc", "item_id");
    const int profile = condition.IsEmpty() ? 0 : m_search.FindOrCreateSearchProfile(query, condition);
    const CString filter = VisibleItemFilter();
    const int total = profile > 0 ? m_search.PopulateSearchResultCount(profile, filter) : 0;
    const int perPage = GetMaxItemPerPage();
    const int page = KvFolderSite::ClampPage(m_cgi.GetIntValue("p", 1), total, perPage);
    KvObjectArray items;
    if (total > 0) (void)m_search.PopulateSearchResult(profile, filter, perPage, (page - 1) * perPage, &items);

    const CString shown = HtmlEscape(query);
    CString header;
    if (total == 0) header = "There are no items that fit the query: <b>" + shown + "</b>";
    else if (total >= kStoredResults)
        header = StrFormat("More than %d items fit the query: <b>%s</b>. Only the first %d are shown",
                           kStoredResults, shown.c_str(), kStoredResults);
    else header = StrFormat("There are %d item(s) that fit the query: <b>%s</b>", total, shown.c_str());
    const CString base = StrFormat("/phpmod/search.php?q=%s&cat=%d", UrlEscapeComponent(query).c_str(), cat);
    const CString pager = HtmlPagePosition(base, total, perPage, page);
    m_strPageTitle = query + " Search Result";
    m_strPageRobots = "noindex";
    m_strPageContent = HtmlSearchPageTitle(query, "") + "<div class=\"search-count\">" + header + "</div>\r\n" +
                       pager + (items.IsEmpty() ? CString() : RenderSelectableItems(nullptr, items)) + pager;
    KvParseImp imp;
    imp.AddVariable("current_path", RenderTrail("Search", base));
    return WebPageShow("wpage.htm", &imp);
}
