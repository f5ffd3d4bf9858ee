// KvWebLink: the search feed ("sfeed.php"): the results of an outside
// search service stored as links of a new sub-folder.
//
// The source "qt" names a configured service: "google", "yahoo", "msn" (and
// "scrappygoo", another name of "google") are the meta-search's [Search]
// address templates, "gigablast" and "amazon" the web search and book
// services of [Services]. Any other source reads the RSS address template
// "se" of the request, which must be an http or https address outside this
// machine and its private networks: the request's text never makes the
// proxy fetch from inside. The download runs without the site's lock.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "ext/KvSEFetch/KvSEFetch.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/url/KvLocalHost.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/sites/KvWebLink.h"
#include "proxy/web/KvSiteLockRelease.h"
#include "proxy/web/KvWebMgr.h"

namespace {

// The [Search] service of a source name; empty for other names.
CString SearchService(const CString& source) {
    if (source == "google" || source == "scrappygoo") return "google";
    if (source == "yahoo" || source == "msn") return source;
    return CString();
}

// The address of the request's template `se` for the query: "$q" and "{q}"
// become the escaped query. Empty unless it is a web address of a host
// outside this machine, its private networks and this proxy's own sites.
CString RequestFeedUrl(const CString& templ, const CString& query) {
    CString url(templ);
    const CString q = UrlEscapeComponent(query);
    url.Replace("$q", q);
    url.Replace("{q}", q);
    if (!KvIsWebAddress(url)) return CString();
    const CString host = KvWebAddressHost(url);
    if (KvIsLocalHost(host) || KvWebMgr::GetInstance()->IsLocalHost(host)) return CString();
    return url;
}

// The links of the source for the query; takes no lock.
bool FetchSearchLinks(const CString& source, const CString& url, const CString& query, const CString& keywords,
                      KvObjectArray& links, CString& message) {
    if (source == "amazon") return SearchAmazonToLinks(query, &links, keywords);
    if (source == "gigablast") return SearchGigablastToLinks(query, &links, keywords);
    CString channel, desc, copyright;
    return DownloadRssRdfToLinks(url, &links, keywords, channel, desc, copyright, message);
}

}  // namespace

int KvWebLink::ResponseSearchFeed() {
    const int cat = m_cgi.GetIntValue("cat", 0);
    if (!LoadWritableFolder(cat)) return 1;
    if (!AllowStateChange(KvWho::Admin, KvVia::Link)) return 1;
    CString title = m_cgi.GetValue("f", ""), query = m_cgi.GetValue("q", "");
    title.Trim();
    query.Trim();
    if (title.IsEmpty() || query.IsEmpty()) return ResponseError("Invalid parameter");
    CString source = m_cgi.GetValue("qt", "");
    source.MakeLower();
    const CString service = SearchService(source);
    CString url;
    if (!service.IsEmpty()) {
        url = KvSearchUrl(KvSearchTemplate(service), query);
        if (url.IsEmpty()) return ResponseError("The search service %s is not configured.", service.c_str());
    } else if (source != "amazon" && source != "gigablast") {
        const CString templ = m_cgi.GetValue("se", "");
        if (templ.IsEmpty()) return ResponseRedirectToReferer();
        url = RequestFeedUrl(templ, query);
        if (url.IsEmpty()) {
            return ResponseError("The search feed needs an http or https address of an outside service.");
        }
    }
    // The book search lists its results under the query as a book search.
    const CString listed = source == "amazon" ? query + ", book" : query;

    // The download may take the whole download time-out: the site answers
    // other requests meanwhile.
    KvObjectArray links;
    CString message;
    bool ok = false;
    {
        KvSiteLockRelease release(m_csLock, m_pRequest, m_pResponse, m_strClientIPAddr);
        ok = FetchSearchLinks(source, url, query, listed, links, message);
    }
    // Whatever ran meanwhile may have ended its session: this answer sets
    // no cookie.
    m_pSession = nullptr;
    if (!ok) return ResponseError("The search feed could not be read: %s", message.c_str());
    // The parent may have gone while the feed was fetched.
    KvWebFolder parent;
    if (!m_repo.GetFolder(cat, &parent)) return ResponseError("Unable to locate the folder %d", cat);
    const CString name = GetNameFromTitle(title);
    int folder = m_repo.FindFolderId(cat, name);
    if (folder <= 0) {
        KvWebFolder made(name, title, StrFormat("Search result for '%s'", listed.c_str()));
        made.m_strLabel = title;
        made.m_strContent = "<h1>{page_title}</h1>\n{search_form2}\n<p>{page_desc}</p>{link_list}\n";
        // The query is the administrator's own text, but braces would open
        // placeholders in the sidebar: they are dropped.
        CString key = query;
        key.Remove('{');
        key.Remove('}');
        made.m_strSidebar = "{search_form}{subfolder_menu}{global_adv:" + key + "}";
        made.m_strUploadBy = UserGetName();
        folder = m_repo.AddNewFolder(cat, &made);
        if (folder <= 0) return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(cat)));
    }
    // Only web addresses become links.
    KvObjectArray kept;
    for (int i = 0; i < links.GetSize(); ++i) {
        const auto* link = dynamic_cast<KvLinkItem*>(links.GetAt(i));
        if (link && KvIsWebAddress(link->m_strUrl)) kept.Add(link->Clone());
    }
    if (!kept.IsEmpty()) (void)m_repo.AddNewItems(folder, &kept);
    ContentChanged();
    return ResponseRedirect(UrlEscapePath(FindPathFromFolderId(folder)));
}
