// KvWebKavori: the search entry points, the search-tools page and the small
// web cards. Every search goes to the meta-search site, which asks the
// services of the configuration's [Search] section.
#include "base/containers/KvGenBuffer.h"
#include "base/str/StrFunc.h"
#include "ext/KvSEFetch/KvSEFetch.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

constexpr const char* kServices[] = {"google", "yahoo", "msn"};

bool IsService(const CString& name) {
    for (const char* service : kServices) {
        if (name.CompareNoCase(service) == 0) return true;
    }
    return false;
}

// "http://<search host>/search.php?q=...[&se=...]".
CString SearchUrl(const CString& query, const CString& service) {
    CString url = StrFormat("http://%s/search.php?q=", KV_HOST_POLYSEEK) + UrlEscapeComponent(query);
    if (IsService(service) || service.CompareNoCase("all") == 0) {
        CString lower = service;
        lower.MakeLower();
        url += "&se=" + lower;
    }
    return url;
}

CString ServiceForm(const char* service, const char* label) {
    return StrFormat("<form class=\"kv-search\" method=\"get\" action=\"http://%s/search.php\">"
                     "<input type=\"hidden\" name=\"se\" value=\"%s\">",
                     KV_HOST_POLYSEEK, service) +
           "<input class=\"inputbox\" type=\"search\" name=\"q\" aria-label=\"" + HtmlEscapeAttr(label) +
           "\" placeholder=\"" + HtmlEscapeAttr(label) + "\"> <input class=\"button\" type=\"submit\" "
           "value=\"Search\"></form>\r\n";
}

}  // namespace

int KvWebKavori::ResponseSearchEntry() {
    CString query = m_cgi.GetValue("q", "");
    if (query.IsEmpty()) query = m_cgi.GetValue("query", "");
    query.Trim();
    if (!query.IsEmpty()) return ResponseRedirect(SearchUrl(query, m_cgi.GetValue("se", "")));
    const CString body = "<p>Type what you are looking for: the meta-search site asks every search service "
                         "configured for KvProxy at once and merges their answers.</p>\r\n" +
                         RenderSearchBox("kv-search kv-search-big", "") +
                         "<p class=\"hint\"><a href=\"/SETools/\">The search services in use</a></p>\r\n";
    return ResponsePortalPage("Search", body, "Search", "/search.php");
}

int KvWebKavori::ResponseSETools() {
    const KvSearchSettings settings = KvGetSearchSettings();
    const CString templates[] = {settings.google, settings.yahoo, settings.msn};
    CString rows, forms;
    for (int i = 0; i < 3; ++i) {
        const CString& templ = templates[i];
        const bool usable = !templ.IsEmpty() && templ.Find("{q}") >= 0;
        const char* state = usable ? "asked" : templ.IsEmpty() ? "not set" : "not asked: no {q} in the address";
        rows += StrFormat("<tr><td><code>%s=</code></td><td><code>", kServices[i]) +
                (templ.IsEmpty() ? CString("&mdash;") : HtmlEscape(templ)) + "</code></td><td>" + HtmlEscape(state) +
                "</td></tr>\r\n";
        if (usable) forms += "<h3>Only <code>" + CString(kServices[i]) + "=</code></h3>\r\n" +
                             ServiceForm(kServices[i], CString("Search ") + kServices[i] + "= only");
    }
    CString body =
        "<p>Searches from KvProxy go to the <a href=\"http://" + CString(KV_HOST_POLYSEEK) +
        "/\">meta-search site</a>, which asks the services below at the same time and merges their answers. Each "
        "service is a line of the <code>[Search]</code> section of <code>kvproxy.ini</code>: the address of its RSS or "
        "Atom answer with <code>&#123;q&#125;</code> where the query goes.</p>\r\n"
        "<table class=\"mod-list\"><tr><th>Key</th><th>Answer address</th><th>State</th></tr>\r\n" +
        rows + "</table>\r\n<h2>Search every service</h2>\r\n" + ServiceForm("all", "Search the web");
    if (!forms.IsEmpty()) body += "<h2>Search one service</h2>\r\n" + forms;
    body += "<p class=\"hint\">To change the services, edit <code>[Search]</code> and restart KvProxy; the "
            "<a href=\"/option.php\">set-up page</a> shows how.</p>\r\n";
    return ResponsePortalPage("Search Tools", body, "Search Tools", "/SETools/");
}

int KvWebKavori::ResponseWebCard(const char* templatePath) {
    CString rows;
    for (const KvLocalWebInfo& site : KvWebMgr::GetInstance()->ListLocalWebs()) {
        // The portal itself and the databases new sites are copied from.
        if (site.domain.CompareNoCase(m_strDomain) == 0 || IsTemplateSite(site.domain)) continue;
        const CString name = site.name.IsEmpty() ? site.domain : site.name;
        rows += "<tr><td><a href=\"" + HtmlSafeHref(site.url + "/") + "\" target=\"_top\">" + HtmlEscape(name) +
                "</a></td><td class=\"kv-wcard-host\">" + HtmlEscape(site.domain) + "</td></tr>\r\n";
    }
    if (rows.IsEmpty()) rows = "<tr><td colspan=\"2\">No local sites yet.</td></tr>\r\n";
    KvParseImp imp;
    imp.AddVariable("localweb_rows", rows);
    imp.AddVariable("wcard_footer", StrFormat("<div class=\"kv-wcard-footer\"><a href=\"%s/\" target=\"_top\">"
                                              "KvProxy</a> &middot; your own start page</div>",
                                              KV_PORTAL_URL));
    imp.AddVariable("search_site_url", StrFormat("http://%s/", KV_HOST_POLYSEEK));
    imp.AddVariable("portal_url", KV_PORTAL_URL);
    KvGenBuffer card(4096);
    card.PutString(LoadSimpleOrLocalFile(templatePath));
    m_pResponse->m_bufBody.Empty();
    if (!card.IsEmpty()) {
        KvWebTemplate tpl(&imp, 0);
        if (!tpl.Parse(&card)) return ResponseError("%s", m_strParsingFailed.c_str());
        m_pResponse->m_bufBody.Attach(card);
    }
    return ResponseFinish("text/html");
}
