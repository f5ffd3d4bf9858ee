// KvWebKavori: set-up, routing, the home page and the information pages.
#include "proxy/sites/KvWebKavori.h"

#include <cctype>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"

IMPLEMENT_DYNCREATE(KvWebKavori, KvWebObjectEx)

namespace {

CString LowerCase(const CString& text) {
    CString lower = text;
    lower.MakeLower();
    return lower;
}

}  // namespace

KvWebKavori::KvWebKavori() = default;

KvWebKavori::~KvWebKavori() = default;

int KvWebKavori::Initiate() {
    if (!InitiateSite()) return 0;
    if (GetSystemVar("hp_theme").IsEmpty()) SetSystemVar("hp_theme", "VuvUrad");
    return 1;
}

int KvWebKavori::DoGetResponse() {
    const CString dir = LowerCase(m_strCurDir);
    const CString file = LowerCase(m_strCurFile);
    if (dir == "/" && (file.IsEmpty() || file == "index.html")) return ResponseHomePage();
    if (dir == "/" && file == "proxy.pac") return ResponseProxyPac();
    if (dir == "/" && file == "error.css") return ResponseSimpleOrLocalFile("/_template/error.css");
    if (dir.Find("/setools/") == 0) return ResponseSETools();
    if (file.GetLength() > 4 && file.Right(4) == ".php") {
        const int done = ResponsePhpModule();
        if (done) return done;
    }
    return ResponseNotFound();
}

int KvWebKavori::ResponsePhpModule() {
    const CString file = LowerCase(m_strCurFile);
    if (file == "wcard_brisna.php") return ResponseWebCard("/_template/card_brisna.htm");
    if (file == "wcard_sengine.php") return ResponseWebCard("/_template/card_sengine.htm");
    if (file == "wcard_localweb.php") return ResponseWebCard("/_template/card_localweb.htm");
    if (file == "search.php" || file == "newsearch.php") return ResponseSearchEntry();
    if (file == "ad-show-js.php") return ResponseAdShowJs();
    if (file == "linkweb.php" || file == "localweb.php") return ResponseLocalWeb();
    if (file == "aboutus.php") return ResponseShowFileContent("/_template/aboutus.htm", "About Us");
    if (file == "privacy-policy.php")
        return ResponseShowFileContent("/_template/privacy-policy.htm", "Privacy Policy");
    if (file == "feedback.php") return ResponseShowFileContent("/_template/feedback.htm", "Your Feedback");
    if (file == "help.php") return ResponseShowFileContent("/_template/help.htm", "Help");
    if (file == "kvproxy.php") return ResponseShowFileContent("/_template/kvproxy.htm", "About KvProxy");
    if (file == "showfile.php") return ResponseShowFile();
    if (file == "showcontent.php") return ResponseShowContent();
    if (file == "ad-mgmt.php") return ResponseAdManagement();
    if (file == "ad-jump.php") return ResponseAdJump();
    if (file == "option.php") return ResponseOption();
    if (file == "pagelinks.php") return ResponsePageLinks();
    if (file == "cache.php") return ResponseCacheManagement();
    if (file == "history.php") return ResponseHistory();
    return KvWebObjectEx::ResponsePhpModule();
}

int KvWebKavori::WebPageShow(const char* file, KvParseImp* imp) {
    if (!imp) return 0;
    imp->AddVariable("login_href", RenderLoginHRef());
    // The portal's pieces (cards, tools, set-up tables) on top of the theme;
    // after the content, whose first heading the theme may hide.
    m_strPageContent = CString(m_strPageContent) +
                       "\r\n<link rel=\"stylesheet\" type=\"text/css\" href=\"/_template/portal.css\">\r\n";
    return KvWebObjectEx::WebPageShow(file, imp);
}

int KvWebKavori::ResponsePortalPage(const char* title, const CString& body, const char* label, const char* url) {
    m_strPageTitle = title;
    m_strPageContent = body;
    KvParseImp imp;
    imp.AddVariable("current_path", RenderHomeLink() + " &gt; <a href=\"" + HtmlEscapeAttr(url) + "\">" +
                                        HtmlEscape(label) + "</a>");
    imp.AddVariable("page_url", url);
    return WebPageShow("wpage.htm", &imp);
}

CString KvWebKavori::RenderHomeLink() {
    return "<a href=\"/\">" + HtmlEscape(GetSystemVar("hp_name")) + "</a>";
}

// --- the home page and the information pages ------------------------------------------------

int KvWebKavori::ResponseHomePage() {
    m_strPageTitle = "Welcome to " + GetSystemVar("hp_name", "KvProxy");
    m_strPageDesc = GetSystemVar("hp_desc");
    m_strPageKeywords = GetSystemVar("hp_keywords");
    // Both files are the administrator's own text, filled in by the frame.
    m_strPageContent =
        LoadSimpleOrLocalFile("/_template/homepage.htm") + LoadSimpleOrLocalFile("/_template/hp_footer.htm");
    KvParseImp imp;
    imp.AddVariable("current_path", RenderHomeLink());
    imp.AddVariable("site_cards", RenderSiteCards());
    imp.AddVariable("search_box", RenderSearchBox("kv-search kv-search-big", ""));
    imp.AddVariable("search_site_url", StrFormat("http://%s/", KV_HOST_POLYSEEK));
    return WebPageShow("spage.htm", &imp);
}

int KvWebKavori::ResponseShowFileContent(const char* templatePath, const char* title) {
    // The template is the administrator's text: the frame's pass fills it.
    return ResponsePortalPage(title, LoadSimpleOrLocalFile(templatePath), title, "/" + m_strCurFile);
}

bool KvWebKavori::IsPlainFileName(const CString& name) {
    if (name.IsEmpty() || name[0] == '.' || name.Find("..") >= 0) return false;
    for (int i = 0; i < name.GetLength(); ++i) {
        const unsigned char c = (unsigned char)name[i];
        if (!isalnum(c) && c != '.' && c != '_' && c != '-') return false;
    }
    return true;
}

int KvWebKavori::ResponseShowFile() {
    const CString name = m_cgi.GetValue("file", "");
    if (!IsPlainFileName(name)) {
        return ResponseError("the template file %s cannot be shown.", name.IsEmpty() ? "(blank)" : name.c_str());
    }
    return ResponseSimpleOrLocalFile("/_template/" + name);
}

int KvWebKavori::ResponseShowContent() {
    const CString name = m_cgi.GetValue("file", "");
    if (!IsPlainFileName(name)) {
        return ResponseError("the template file %s cannot be shown.", name.IsEmpty() ? "(blank)" : name.c_str());
    }
    const CString body = LoadSimpleOrLocalFile("/_template/" + name);
    if (body.IsEmpty()) return ResponseNotFound();
    return ResponsePortalPage(name, body, name, "/showcontent.php?file=" + UrlEscapeComponent(name));
}
