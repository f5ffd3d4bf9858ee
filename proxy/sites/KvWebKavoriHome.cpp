// KvWebKavori: the pieces of the home page and of every page's frame: the
// cards of the local sites, the search boxes (they ask the meta-search
// site), the navigation bar and the footer.
#include <cstring>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvLinkDirTemplate.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"

namespace {

// The portal's own pages, for a new portal database (the site engine's
// default bar names pages a portal does not have).
const char kPortalHeader[] =
    "<a href=\"/\">Home</a>&nbsp;|&nbsp; <a href=\"/history.php\">History</a>&nbsp;|&nbsp; <a "
    "href=\"/cache.php\">Cache</a>&nbsp;|&nbsp; <a href=\"/localweb.php?op=show\">Sites</a>&nbsp;|&nbsp; <a "
    "href=\"http://search.kvproxy.home.arpa/\">Search</a>&nbsp;|&nbsp; <a href=\"/option.php\">Set-up</a>&nbsp;|&nbsp; "
    "<a href=\"/help.php\">Help</a>";

const char kPortalFooter[] =
    "{mgmt_menu}<a href=\"/kvproxy.php\">About KvProxy</a>&nbsp;|&nbsp; <a href=\"/aboutus.php\">About this "
    "portal</a>&nbsp;|&nbsp; <a href=\"/privacy-policy.php\">Privacy</a>&nbsp;|&nbsp; <a "
    "href=\"/feedback.php\">Feedback</a>&nbsp;|&nbsp; <a href=\"/help.php\">Help</a>{login_href}<br>KvProxy runs on "
    "your own machine: your history, cache and sites stay there.";

struct KindLabel {
    const char* className;
    const char* label;
    const char* css;
};

constexpr KindLabel kKinds[] = {
    {"KvWebPolyseek", "Meta-search", "search"}, {"KvWebLocal", "Local web site", "local"},
    {"KvWebLink", "Link directory", "links"},   {"KvWebRSS", "RSS reader", "rss"},
    {"KvWebLocalFile", "Folder site", "folder"},
};

const KindLabel& KindOf(const KvLocalWebInfo& site) {
    static const KindLabel kOther = {"", "Site", "other"};
    for (const KindLabel& kind : kKinds) {
        if (site.className == kind.className) return kind;
    }
    return kOther;
}

CString RenderCard(const KvLocalWebInfo& site, const char* kindLabel, const char* css) {
    const CString name = site.name.IsEmpty() ? site.domain : site.name;
    CString card = StrFormat("<a class=\"kv-card kv-kind-%s\" href=\"", css) + HtmlSafeHref(site.url + "/") + "\">";
    card += "<span class=\"kv-card-kind\">" + HtmlEscape(kindLabel) + "</span>";
    card += "<span class=\"kv-card-name\">" + HtmlEscape(name) + "</span>";
    if (!site.description.IsEmpty()) card += "<span class=\"kv-card-desc\">" + HtmlEscape(site.description) + "</span>";
    card += "<span class=\"kv-card-host\">" + HtmlEscape(site.domain) + "</span></a>\r\n";
    return card;
}

}  // namespace

bool KvWebKavori::IsTemplateSite(const CString& domain) {
    return domain.CompareNoCase(KV_HOST_LOCALWEB_TEMPLATE) == 0 || domain.CompareNoCase(KV_HOST_RSS_TEMPLATE) == 0 ||
           domain.CompareNoCase(KV_HOST_LINKDIR_TEMPLATE) == 0;
}

CString KvWebKavori::RenderSiteCards() {
    // The search site first, a user's sites next, the templates of new
    // sites (sites of their own) last.
    CString first, sites, templates;
    for (const KvLocalWebInfo& site : KvWebMgr::GetInstance()->ListLocalWebs()) {
        if (site.domain.CompareNoCase(m_strDomain) == 0) continue;
        const KindLabel& kind = KindOf(site);
        if (IsTemplateSite(site.domain)) {
            templates += RenderCard(site, CString(kind.label) + " template", "template");
        } else if (strcmp(kind.css, "search") == 0) {
            first += RenderCard(site, kind.label, kind.css);
        } else {
            sites += RenderCard(site, kind.label, kind.css);
        }
    }
    const CString create =
        "<a class=\"kv-card kv-card-new\" href=\"/localweb.php?op=create\"><span class=\"kv-card-kind\">New</span>"
        "<span class=\"kv-card-name\">Create a site</span><span class=\"kv-card-desc\">A local web site, a link "
        "directory or an RSS reader, answering at once under a name of your choice.</span></a>\r\n";
    return first + sites + create + templates;
}

CString KvWebKavori::RenderSearchBox(const char* cssClass, const char* query) {
    return StrFormat("<form class=\"%s\" method=\"get\" action=\"http://%s/search.php\">", cssClass,
                     KV_HOST_POLYSEEK) +
           "<input class=\"inputbox\" type=\"search\" name=\"q\" value=\"" + HtmlEscapeAttr(query) +
           "\" placeholder=\"Search the web\" aria-label=\"Search the web\"> <input class=\"button\" "
           "type=\"submit\" value=\"Search\"></form>\r\n";
}

CString KvWebKavori::RenderPageHeader() { return ParseString(GetSystemVar("hp_header", kPortalHeader)); }

CString KvWebKavori::RenderPageFooter() { return ParseString(GetSystemVar("hp_footer", kPortalFooter)); }

CString KvWebKavori::RenderSearchForm(const char*) {
    return HtmlSidebarBox("Search the web", RenderSearchBox("kv-search kv-search-side", ""));
}

CString KvWebKavori::RenderSearchForm3(const char*) { return RenderSearchBox("kv-search kv-search-top", ""); }
