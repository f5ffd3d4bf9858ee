// KvWebPolyseek: set-up, routing, the starting points and the simple pages.
#include "proxy/sites/KvWebPolyseek.h"

#include "base/containers/KvOrdStringArray.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/repo/KvKeywordMgr.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebPolyseek, KvWebObjectEx)

namespace {

CString LowerCase(const CString& text) {
    CString lower = text;
    lower.MakeLower();
    return lower;
}

bool EndsWith(const CString& text, const char* tail) {
    const int n = (int)strlen(tail);
    return text.GetLength() >= n && LowerCase(text.Right(n)) == tail;
}

// Markup another program stored (a keyword table) with every brace made a
// reference, so a stored keyword never expands as a placeholder.
CString NoPlaceholders(CString html) {
    html.Replace("{", "&#123;");
    html.Replace("}", "&#125;");
    return html;
}

}  // namespace

int KvWebPolyseek::Initiate() {
    if (!InitiateSite()) return 0;
    if (GetSystemVar("hp_theme").IsEmpty()) SetSystemVar("hp_theme", "VuvUrad");
    return 1;
}

CString KvWebPolyseek::CleanQuery(const char* raw) {
    CString out;
    for (const unsigned char* p = (const unsigned char*)(raw ? raw : ""); *p; ++p) {
        if (*p == '"' || *p == '\'' || *p < 0x20 || *p == 0x7f) continue;
        out += (char)*p;
    }
    out.Trim();
    out.MakeLower();
    return out;
}

CString KvWebPolyseek::EngineName(const char* raw) {
    const CString name = LowerCase(CString(raw ? raw : "all"));
    if (name.IsEmpty() || name == "all") return "all";
    if (name == "google" || name == "yahoo") return name;
    return "msn";
}

int KvWebPolyseek::DoGetResponse() {
    m_strEngine.Empty();
    m_strQuery.Empty();
    const CString dir = LowerCase(m_strCurDir);
    const CString file = LowerCase(m_strCurFile);
    if (dir == "/" && (file.IsEmpty() || file == "index.html")) return ResponseStartingPoints();
    if (dir == "/keyword/")
        return ResponseSitePage("Keyword Database", "",
                                "<h1>Keyword Database</h1>\r\n<p>This local version has no keyword database "
                                "pages. Use the search box to search the internet.</p>\r\n" +
                                    RenderSearchBox(""),
                                RenderTrail("Keyword", "/Keyword/"));
    if (dir.Find("/search/") == 0) return EndsWith(file, ".xml") ? ResponseSearchXML() : ResponseSearch();
    // The theme's navigation bar names these two pages as folders.
    if (dir == "/pages/aboutus/") return ResponseSimpleWebPage("aboutus.html");
    if (dir == "/pages/sitemap/") return ResponseSimpleWebPage("sitemap.html");
    if (EndsWith(file, ".html")) return ResponseSimpleWebPage(file);
    if (EndsWith(file, ".php")) {
        if (file == "search.php") {
            return DoResponseSearch(EngineName(m_cgi.GetValue("se", "all")), CleanQuery(m_cgi.GetValue("q", "")));
        }
        if (file == "item_list.php") return ResponseItemList();
        return ResponsePhpModule();
    }
    return ResponseNotFound();
}

int KvWebPolyseek::ResponseSitePage(const CString& title, const CString& description, const CString& body,
                                    const CString& trail) {
    m_strPageTitle = title;
    if (!description.IsEmpty()) m_strPageDesc = description;
    m_strPageContent = body;
    KvParseImp imp;
    imp.AddVariable("current_path", trail);
    return WebPageShow("wpage.htm", &imp);
}

// --- search boxes --------------------------------------------------------------------------

CString KvWebPolyseek::RenderSearchBox(const CString& query, int size) {
    CString form("<form class=\"search-form search-inline\" method=\"get\" action=\"/search.php\">");
    // The field never gets wider than its box (sidebars, narrow screens).
    form += StrFormat("<input class=\"inputbox\" type=\"text\" name=\"q\" size=\"%d\" "
                      "style=\"max-width:100%%;box-sizing:border-box\" value=\"",
                      size) +
            HtmlEscapeAttr(query) + "\">";
    form += "<select name=\"se\">";
    for (const char* se : {"all", "google", "yahoo", "msn"}) {
        const bool chosen = (m_strEngine.IsEmpty() ? CString("all") : m_strEngine) == se;
        form += StrFormat("<option value=\"%s\"%s>%s</option>", se, chosen ? " selected" : "", se);
    }
    form += "</select> <input class=\"button\" type=\"submit\" value=\"Search\"></form>\r\n";
    return form;
}

CString KvWebPolyseek::RenderSearchForm(const char*) {
    return HtmlSidebarBox("Search", RenderSearchBox(m_strQuery, 16));
}

CString KvWebPolyseek::RenderSearchForm2(const char*) { return RenderSearchBox(m_strQuery); }

CString KvWebPolyseek::RenderSearchForm3(const char*) { return RenderSearchBox(m_strQuery, 20); }

// --- starting points and simple pages --------------------------------------------------------

int KvWebPolyseek::ResponseStartingPoints() {
    const CString file = m_strBasePath + "/starting-point.txt";
    KvOrdStringArray words;
    (void)words.Load(file);
    CString table("<table class=\"starting-points\" cellpadding=\"4\">\r\n");
    int shown = 0;
    for (int i = 0; i < words.GetSize(); ++i) {
        const CString word = CleanQuery(words[i]);
        if (word.IsEmpty()) continue;
        if (shown % 4 == 0) table += shown ? "</tr>\r\n<tr>" : "<tr>";
        table += "<td>" +
                 HtmlLink(HtmlEscapeAttr("/Search/" + UrlEscapeComponent(word) + ".html"), HtmlEscape(word)) +
                 "</td>";
        ++shown;
    }
    table += shown ? "</tr>\r\n</table>\r\n" : "</table>\r\n";
    const CString list = shown ? table : "<p>The starting point file (starting-point.txt) is empty</p>\r\n";
    const CString site = HtmlEscape(GetHostName());
    const CString body =
        StrFormat("<h1>%s Starting Points</h1>\r\n", site.c_str()) + RenderSearchBox("") +
        StrFormat("<p>Use the search box above or click the keyword list below as your jump start to search the "
                  "internet.&nbsp;<br> See also <a href=\"/top-100.html\">%s Top 100</a> that contain the most used "
                  "terms using our search tool.&nbsp;</p>\r\n",
                  site.c_str()) +
        RenderAdvText("search") + list;
    m_strPageKeywords = "search, internet, resources, links";
    return ResponseSitePage(GetHostName() + " Starting Points",
                            "Start searching Google, Yahoo, and MSN using " + GetHostName() + ".", body,
                            RenderTrail("Search", "/Search/"));
}

int KvWebPolyseek::ResponseSimpleWebPage(const CString& file) {
    KvKeywordMgr* store = KvKeywordMgr::GetInstance();
    CString title, body;
    if (file == "top-100.html") {
        title = GetHostName() + " Top 100";
        body = NoPlaceholders(store->RenderTop100Keywords("/Search/"));
    } else if (file == "last-updated-terms.html") {
        title = GetHostName() + " Last Searched Terms";
        body = NoPlaceholders(store->RenderLastAccessedKeywords("/Search/"));
    } else if (file == "sitemap.html") {
        title = GetHostName() + " Site Map";
        body = LoadSimpleOrLocalFile("/_files/sitemap.htm");
    } else if (file == "aboutus.html") {
        title = "About " + GetHostName();
        body = LoadSimpleOrLocalFile("/_files/aboutus.htm");
    } else {
        return ResponseNotFound();
    }
    const CString heading = "<h1>" + HtmlEscape(title) + "</h1>\r\n";
    return ResponseSitePage(title, title + ". " + GetDescription(), heading + body,
                            RenderTrail(title, "/" + file));
}

CString KvWebPolyseek::RenderFeatureTerms() {
    const CString text = LoadSimpleOrLocalFile("/_files/feature-terms.txt");
    CString links;
    int start = 0;
    while (start < text.GetLength()) {
        int end = text.Find('\n', start);
        if (end < 0) end = text.GetLength();
        const CString term = CleanQuery(text.Mid(start, end - start));
        start = end + 1;
        if (term.IsEmpty()) continue;
        links += "<li>" +
                 HtmlLink(HtmlEscapeAttr("/Search/" + UrlEscapeComponent(term) + ".html"), HtmlEscape(term)) +
                 "</li>";
    }
    if (links.IsEmpty()) return CString();
    return "<div class=\"feature-terms\"><h3>Feature Terms</h3><ul>" + links + "</ul></div>\r\n";
}
