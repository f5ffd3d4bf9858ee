// KvWebKavori: searching the cached addresses of every store, and deleting
// one object or one whole domain from a store.
#include <algorithm>
#include <vector>

#include "inet/html/KvHtmlEscape.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheMgr.h"
#include "proxy/sites/KvCachePageParts.h"
#include "proxy/sites/KvWebKavori.h"

namespace {

constexpr int kLongestQuery = 200;

// One search result and the store it was found in.
struct CacheHit {
    CString store;
    KvCacheFound found;
};

struct SearchPage {
    std::vector<CacheHit> hits;
    int total = 0;
};

// The `page`-th (from 1) run of results over all stores in name order,
// each store's results by host and path.
SearchPage SearchStores(const CString& query, int page) {
    SearchPage result;
    int skip = (page - 1) * kCacheSearchPageSize;
    for (const KvCacheStoreInfo& store : KvCacheListStoreInfo(false)) {
        KvCacheDB db;
        if (!OpenReadOnlyCache(db, store.name)) continue;
        const int want = kCacheSearchPageSize - (int)result.hits.size();
        std::vector<KvCacheFound> found;
        int count = 0;
        if (!db.SearchObjects(query, skip, want, found, count)) continue;
        result.total += count;
        skip = std::max(0, skip - count);
        for (KvCacheFound& item : found) result.hits.push_back({store.name, std::move(item)});
    }
    return result;
}

CString SearchHref(const CString& query, int page) {
    CString href = "/cache.php?op=search&amp;q=" + UrlEscapeComponent(query);
    href.AppendFormat("&amp;page=%d", page);
    return href;
}

CString Pager(const CString& query, int page, int total) {
    const int pages = (total + kCacheSearchPageSize - 1) / kCacheSearchPageSize;
    if (pages <= 1) return CString();
    CString pager = "<div class=\"cache-pager\">";
    if (page > 1) pager += "<a href=\"" + SearchHref(query, page - 1) + "\">&laquo; Previous</a>";
    pager.AppendFormat("<span class=\"here\">Page %d of %d</span>", page, pages);
    if (page < pages) pager += "<a href=\"" + SearchHref(query, page + 1) + "\">Next &raquo;</a>";
    return pager + "</div>\n";
}

CString HitTable(const std::vector<CacheHit>& hits, int first, const CString& token) {
    CString table = kCacheTableStart;
    table += "<tr><td align=\"center\">NO</td><td align=\"center\">CACHE</td><td align=\"center\">ADDRESS</td>";
    table += token.IsEmpty() ? "</tr>\n" : "<td></td></tr>\n";
    int row = first;
    for (const CacheHit& hit : hits) {
        const KvCacheFound& f = hit.found;
        table.AppendFormat("<tr><td align=\"right\">%d</td>", row++);
        table += "<td class=\"store\"><a href=\"/cache.php?op=object&amp;host=" + UrlEscapeComponent(f.host) +
                 "&amp;name=" + UrlEscapeComponent(hit.store) + "\">" + HtmlEscape(hit.store) + "</a></td>";
        table += "<td>" + KvCacheObjectAnchor(f.host, f.path, "http://" + f.host + f.path) + "</td>";
        if (!token.IsEmpty())
            table += "<td class=\"act\">" + KvCacheDeleteForm("delete", hit.store, f.host, f.path, token) + "</td>";
        table += "</tr>\n";
    }
    return table + "</table>\n";
}

}  // namespace

int KvWebKavori::ResponseCacheSearch() {
    CString query = m_cgi.GetValue("q", "");
    query.Trim();
    if (query.GetLength() > kLongestQuery) query = query.Left(kLongestQuery);
    const int page = std::max(1, m_cgi.GetIntValue("page", 1));
    CString body = "<h1>Search The Cache</h1>" + KvCacheSearchForm(query);
    if (query.IsEmpty()) {
        body += "<p class=\"cache-note\">Type a part of an address to find the cached objects whose address holds "
                "it, in every cache; letter case does not matter.</p>";
    } else {
        const SearchPage found = SearchStores(query, page);
        const int first = (page - 1) * kCacheSearchPageSize + 1;
        if (found.total == 0) {
            body += "<p>No cached address holds \"" + HtmlEscape(query) + "\".</p>";
        } else if (found.hits.empty()) {
            body.AppendFormat("<p>%d cached objects hold \"%s\"; there is no page %d. <a href=\"%s\">First page</a></p>",
                              found.total, HtmlEscape(query).c_str(), page, SearchHref(query, 1).c_str());
        } else {
            body.AppendFormat("<p>%d cached object%s hold%s \"%s\". Showing %d to %d.</p>", found.total,
                              found.total == 1 ? "" : "s", found.total == 1 ? "s" : "", HtmlEscape(query).c_str(),
                              first, first + (int)found.hits.size() - 1);
            const CString pager = Pager(query, page, found.total);
            body += pager + "<div class=\"cache-hits\">" +
                    HitTable(found.hits, first, HasAccess(KvWho::Admin) ? GetFormToken() : CString()) + "</div>" +
                    pager;
        }
    }
    m_strPageContent = body;
    return ResponseCacheShowPage();
}

int KvWebKavori::ResponseCacheDelete(bool wholeDomain) {
    if (!AllowStateChange(KvWho::Admin, KvVia::Form)) return 1;
    const CString name = m_cgi.GetValue("name", "");
    const CString host = m_cgi.GetValue("host", "");
    const CString path = m_cgi.GetValue("path", "");
    KvCacheMgr* cache = KvCacheMgr::GetInstance();
    const bool done = KvCacheIsPlainStoreName(name) &&
                      (wholeDomain ? cache->DeleteHostFromStore(name, host) : cache->DeleteFromStore(name, host, path));
    if (!done) {
        m_strPageContent = "<h1>Delete From Chache \"" + HtmlEscape(name) +
                           "\"</h1><p>Unable to open that cache, or the deletion failed.</p>";
        return ResponseCacheShowPage();
    }
    // Back to the list the deletion was made from (an emptied domain
    // lists none).
    CString back = m_strHomeUrl + "/cache.php?op=";
    back += wholeDomain ? CString("domain&") : "object&host=" + UrlEscapeComponent(host) + "&";
    back += "name=" + UrlEscapeComponent(name);
    return ResponseRedirect(back);
}
