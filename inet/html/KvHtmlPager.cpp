// The paging bar of result lists and the heading of search results.
#include <algorithm>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/url/TqParseURL.h"

namespace {

CString PageLink(const CString& url, long long page, const char* label) {
    return HtmlLink(StrFormat("%s&p=%lld", url.c_str(), page), label, nullptr);
}

CString NumberLink(const CString& url, long long page) { return PageLink(url, page, StrFormat("%lld", page)); }

// Other search services offered beside a result, as name and query URL
// ("{q}" stands for the escaped query).
struct SearchService {
    const char* name;
    const char* url;
};
const SearchService kOtherServices[] = {
    {"DuckDuckGo", "https://duckduckgo.com/html/?q={q}"},
    {"Wikipedia", "https://en.wikipedia.org/w/index.php?search={q}"},
};

const char kSearchTitleTemplate[] =
    "<div class=\"search-title\"><h1>{q}</h1>\r\n<div class=\"search-more\">{more}</div>\r\n"
    "<div class=\"search-msg\">{msg}</div></div>\r\n";

}  // namespace

CString HtmlPagePosition(const char* urlText, int total, int perPage, int pageIn) {
    if (perPage <= 0 || total <= 0) return CString();
    // Page numbers are counted wide: near the largest int, "first + 4" or
    // the step past the last page would overflow.
    const long long pages = total / perPage + (total % perPage ? 1 : 0);
    if (pages < 2) return CString();
    const long long page = std::clamp<long long>(pageIn, 1, pages);
    const CString url = HtmlEscapeAttr(urlText);
    const long long first = page >= 3 ? page - 2 : 1;
    const long long last = std::min(first + 4, pages);

    CString bar;
    if (page > 1) bar += PageLink(url, page - 1, "<img src=\"/images/previous.gif\" border=\"0\" align=\"top\">");
    if (first > 1) {
        for (long long p = 1, n = 0; p < first && n < 5; p += 5, ++n) bar += NumberLink(url, p) + "..";
    }
    for (long long p = first; p <= last; ++p) {
        bar += p == page ? StrFormat("<b>%lld</b>&nbsp", p) : NumberLink(url, p) + "&nbsp;";
    }
    if (last + 1 < pages) {
        for (long long p = last + 1 + 5, n = 0; p < pages && n < 5; p += 5, ++n) bar += ".." + NumberLink(url, p);
        bar += ".." + NumberLink(url, pages);
    }
    if (page < pages) bar += PageLink(url, page + 1, "<img src=\"/images/next.gif\" border=\"0\" align=\"top\">");
    return "<div align=right><table border=0 cellpadding=0 cellspacing=0 width=100%><tr><td align=right "
           "bgcolor=#EBEBEB height=24><font size=2>" +
           bar + "</font></td></tr></table></div>";
}

CString HtmlSearchPageTitle(const char* query, const char* message) {
    const CString shown = HtmlEscape(query);
    const CString escaped = UrlEscapeComponent(query);
    CString more;
    for (const SearchService& service : kOtherServices) {
        if (!more.IsEmpty()) more += " - ";
        CString href(service.url);
        href.Replace("{q}", escaped);
        CString status = StrFormat("Search '%s' on %s", query ? query : "", service.name);
        more += HtmlLinkLabel(HtmlEscapeAttr(href), status, HtmlEscape(service.name), "_blank");
    }
    CString title(kSearchTitleTemplate);
    // The message first: the query's own text may hold "{more}" or "{msg}".
    title.Replace("{msg}", HtmlEscape(message));
    title.Replace("{more}", more);
    title.Replace("{q}", shown);
    return title;
}

CString SiteInfo(const char* url) {
    CString host = GetTitleFromUrl(url);
    if (host == "@") return CString();
    return "https://duckduckgo.com/html/?q=site%3A" + UrlEscapeComponent(host);
}

CString HtmlSiteInfo(const char* url) {
    CString href = SiteInfo(url);
    if (href.IsEmpty()) return CString();
    return HtmlLink(HtmlEscapeAttr(href), "Site Info", "_blank");
}
