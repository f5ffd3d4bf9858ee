// KvWebKavori: the page-links page ("pagelinks.php"): the links of a page
// the user opened through the proxy, read from the cache stores (opened
// read-only, so looking never changes the cache). Every address and text
// comes from a page on the internet: all of it is escaped, and only http
// and https addresses become links.
#include <cctype>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/cache/KvMemGzip.h"
#include "proxy/sites/KvPageLinks.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvParseImp.h"

namespace {

// A domain store is named after its host: a plain host name only.
bool IsStoreName(const CString& name) {
    if (name.IsEmpty() || name[0] == '.') return false;
    for (int i = 0; i < name.GetLength(); ++i) {
        const unsigned char c = (unsigned char)name[i];
        if (!isalnum(c) && c != '.' && c != '-' && c != '_') return false;
    }
    return true;
}

bool IsHtml(const char* contentType) {
    CString type(contentType ? contentType : "");
    type.MakeLower();
    return type.IsEmpty() || type.Find("text/html") >= 0 || type.Find("xhtml") >= 0;
}

}  // namespace

// 1 with the page's HTML; 0 when no store holds it, -1 when the stored
// answer is not an HTML page.
int KvWebKavori::ReadCachedPage(const CString& url, CString& html) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    CString domain = KvCacheKeyHost(host);
    if (domain.Find(':') >= 0) domain = domain.Left(domain.Find(':'));
    for (const CString& name : {domain, CString("pcache"), CString("vcache")}) {
        if (!IsStoreName(name)) continue;
        KvCacheDB store;
        if (!OpenReadOnlyCache(store, name)) continue;
        const int id = store.FindObjectId(host, path);
        KvHttpResponse stored;
        if (id <= 0 || !store.GetCache(id, &stored)) continue;
        if (!IsHtml(stored.GetHeaderValue("Content-Type"))) return -1;
        KvMemGzip gzip;
        CString encoding(stored.GetHeaderValue("Content-Encoding") ? stored.GetHeaderValue("Content-Encoding") : "");
        encoding.MakeLower();
        if (encoding.Find("gzip") >= 0) {
            if (!gzip.Decompress(stored.m_bufBody.GetData(), (UINT)stored.m_bufBody.GetCount())) return -1;
            html = CString(std::string((const char*)gzip.GetData(), gzip.GetLength()));
        } else if (!encoding.IsEmpty() && encoding != "identity") {
            return -1;
        } else {
            html = CString(std::string(stored.m_bufBody.GetData(), stored.m_bufBody.GetCount()));
        }
        return 1;
    }
    return 0;
}

int KvWebKavori::ResponsePageLinks() {
    CString url = m_cgi.GetValue("url", "");
    url.Trim();
    CString text, rows;
    if (url.IsEmpty()) {
        text = "Enter the address of a page you opened through KvProxy to list its links.";
    } else if (!KvIsWebAddress(url)) {
        text = "Only http and https addresses have links to show.";
    } else {
        CString html;
        const int found = ReadCachedPage(url, html);
        if (found == 0) {
            text = "This page is not in the cache. Open it through KvProxy first; secure (https) pages pass through "
                   "unread and are never cached.";
        } else if (found < 0) {
            text = "The cached answer for this address is not an HTML page.";
        } else {
            const std::vector<KvPageLink> links = KvExtractPageLinks(html, url);
            text = links.empty() ? CString("The cached page has no links.")
                                 : StrFormat("%d links of the cached page, in page order.", (int)links.size());
            for (const KvPageLink& link : links) {
                rows += "<tr><td><font size=\"2\"><a href=\"" + HtmlSafeHref(link.url) + "\" rel=\"noreferrer\">" +
                        HtmlEscape(link.url) + "</a></font></td><td><font size=\"2\">" + HtmlEscape(link.text) +
                        "</font></td></tr>\r\n";
            }
        }
    }
    KvParseImp imp;
    imp.AddVariable("current_path", RenderHomeLink() + " &gt; <a href=\"/pagelinks.php\">Show Page Links</a>");
    imp.AddVariable("url", HtmlEscape(url));
    imp.AddVariable("url_text", HtmlEscape(text));
    imp.AddVariable("url_rows", rows.IsEmpty() ? CString() : "<pre>" + rows + "</pre>");
    return ResponseTemplatePage("/_template/pagelinks.htm", "Show Page Links", imp);
}
