// KvWebLink: the search feed ("sfeed.php"): the results of an outside
// search service's RSS answer stored as links of a new sub-folder.
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/url/TqParseURL.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/sites/KvWebLink.h"

namespace {

// The address of the template `se` for the query: "$q" and "{q}" become
// the escaped query. Empty unless it is a web address of a host outside
// this proxy's own sites (the download goes through the proxy, and this
// site is busy answering the request).
CString SearchFeedUrl(const CString& templ, const CString& query, const CString& ownHost) {
    CString url(templ);
    const CString q = UrlEscapeComponent(query);
    url.Replace("$q", q);
    url.Replace("{q}", q);
    if (!KvIsWebAddress(url)) return CString();
    const CString plain = StrICompare(url.Left(8), "https://") == 0 ? "http://" + url.Mid(8) : url;
    unsigned long scheme = 0;
    CString schemeText, host, path;
    unsigned short port = 0;
    if (!TqParseURL(plain, scheme, schemeText, host, path, port)) return CString();
    host.MakeLower();
    if (host == "localhost" || host == ownHost || host.Right(10) == ".home.arpa" || host.Right(6) == ".local") {
        return CString();
    }
    return url;
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
    CString own = m_strDomain;
    own.MakeLower();
    const CString url = SearchFeedUrl(m_cgi.GetValue("se", ""), query, own);
    if (url.IsEmpty()) return ResponseError("The search feed needs an http or https address of an outside service.");

    KvObjectArray links;
    CString channel, desc, copyright, message;
    if (!DownloadRssRdfToLinks(url, &links, query, channel, desc, copyright, message)) {
        return ResponseError("The search feed could not be read: %s", message.c_str());
    }
    const CString name = GetNameFromTitle(title);
    int folder = m_repo.FindFolderId(cat, name);
    if (folder <= 0) {
        KvWebFolder made(name, title, StrFormat("Search result for '%s'", query.c_str()));
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
        if (folder <= 0) return ResponseRedirect(UrlEscapePath(m_strFolderPath));
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
