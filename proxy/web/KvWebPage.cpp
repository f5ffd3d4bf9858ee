// KvWebObjectEx: page rendering: the fragment expander, the standard
// fragments and the page frame.
#include <string>
#include <string_view>

#include "base/containers/KvGenBuffer.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

// Bounds of one ParseString, as in the template engine: a value that holds
// its own placeholder must not loop or grow without end.
constexpr int kMaxFragmentReplacements = 10000;
constexpr size_t kMaxFragmentBytes = 4u << 20;

// The navigation bar of a new site; the bookmark link takes the page's URL
// and title in their script-escaped forms.
const char kDefaultHeader[] =
    "&nbsp;<A href=\"/\">Home</A>&nbsp;| <A href=\"/Pages/Aboutus/\">{nav_aboutus}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Sitemap/\">{nav_sitemap}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Feedback/\">{nav_feedback}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Linktous/\">{nav_linktous}</A>&nbsp;|&nbsp; <A "
    "href=\"javascript:addToFavorites('{page_url_js}','{page_title_js}');\">{nav_bookmarkus}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Terms_of_Use/\">{nav_term_of_use}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Privacy_Policy/\">{nav_privacy_policy}</A>";

const char kDefaultFooter[] =
    "{mgmt_menu}<A href=\"/Pages/Aboutus/\">{nav_aboutus}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Sitemap/\">{nav_sitemap}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Feedback/\">{nav_feedback}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Linktous/\">{nav_linktous}</A>&nbsp;|&nbsp; <A "
    "href=\"javascript:addToFavorites('{page_url_js}','{page_title_js}');\">{nav_bookmarkus}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Terms_of_Use/\">{nav_term_of_use}</A>&nbsp;|&nbsp; <A "
    "href=\"/Pages/Privacy_Policy/\">{nav_privacy_policy}</A> <BR>URL: {page_url}. Hit count: <B>{hp_hits}</B>. "
    "This website visited <B>{hp_visitors}</B> times since {hp_visited_since}.";

const char kDefaultSidebar[] = "{search_form}{login_form}";

}  // namespace

// --- the fragment expander ------------------------------------------------------------

CString KvWebObjectEx::ParseString(const char* textIn) {
    // The text still to scan is buf[pos..]; what is done goes to `out`. A
    // value takes its placeholder's place and is scanned again, so it goes
    // in front of the rest: into the room before pos when it fits, else
    // into a rebuilt buffer with as much room in front as it holds. Each
    // step then costs what it reads or inserts, never the whole text.
    std::string buf(textIn ? textIn : "");
    size_t pos = 0;
    std::string out;
    int replacements = 0;
    size_t inserted = 0;
    while (replacements < kMaxFragmentReplacements && inserted < kMaxFragmentBytes) {
        size_t open = buf.find('{', pos);
        if (open == std::string::npos) break;
        size_t close = buf.find('}', open + 1);
        if (close == std::string::npos) break;
        CString key(std::string_view(buf).substr(open + 1, close - open - 1));
        CString value;
        bool known = !key.IsEmpty();
        if (known && key[0] == '~') {
            value = "&#123;" + key.Mid(1) + "&#125;";
        } else if (known) {
            CString arg;
            int colon = key.Find(':');
            if (colon >= 0) {
                arg = key.Mid(colon + 1);
                key = key.Left(colon);
            }
            known = DoParseString(key, arg, value) != 0;
        }
        if (!known) {
            // The placeholder stays as it is.
            out.append(buf, pos, close + 1 - pos);
            pos = close + 1;
            continue;
        }
        out.append(buf, pos, open - pos);
        pos = close + 1;
        const std::string& v = value.str();
        if (v.size() <= pos) {
            pos -= v.size();
            buf.replace(pos, v.size(), v);
        } else {
            const size_t room = v.size() + (buf.size() - pos);
            std::string rebuilt;
            rebuilt.reserve(room + v.size() + (buf.size() - pos));
            rebuilt.assign(room, ' ');
            rebuilt += v;
            rebuilt.append(buf, pos, std::string::npos);
            buf.swap(rebuilt);
            pos = room;
        }
        ++replacements;
        inserted += v.size();
    }
    out.append(buf, pos, std::string::npos);
    return CString(std::move(out));
}

int KvWebObjectEx::DoParseString(const CString& key, const CString& arg, CString& value) {
    if (key == "domain") value = m_strDomain;
    else if (key == "hp_motto" || key == "hp_slogan") value = GetSystemVar("hp_motto");
    else if (key == "hp_hits" || key == "hp_visited_since" || key == "hp_visitors") value.Empty();
    else if (key == "mgmt_menu") value = RenderManagementMenu();
    else if (key == "search_form") value = RenderSearchForm(arg);
    else if (key == "search_form2") value = RenderSearchForm2(arg);
    else if (key == "search_form3") value = RenderSearchForm3(arg);
    else if (key == "login_form") value = RenderLoginForm();
    else if (key == "login_href") value = RenderLoginHRef();
    else if (key == "login_href2") value = RenderLoginHRef2();
    else if (key == "advtext") value = RenderAdvText(arg);
    else if (key == "advrnd") value = RenderAdvRandom(arg);
    else if (key == "google_adv") value = HtmlGoogleAdvNew(arg);
    else if (key == "google_local") value = HtmlGoogleAdvertising("", 148, 1);
    else if (key.Left(7) == "amazon_") value = HtmlAmazonAdvertising(key);
    else if (key == "sitemap") value = RenderSitemap(arg);
    else if (key == "sfeed") value = RenderSFeed(arg);
    else if (key == "page_title") value = HtmlEscape(m_strPageTitle);
    else if (key == "page_desc") value = HtmlEscape(m_strPageDesc);
    else if (key == "page_keywords") value = HtmlEscape(m_strPageKeywords);
    else return 0;
    return 1;
}

// --- standard fragments and hooks ------------------------------------------------------

CString KvWebObjectEx::RenderPageHeader() { return ParseString(GetSystemVar("hp_header", kDefaultHeader)); }

CString KvWebObjectEx::RenderPageFooter() { return ParseString(GetSystemVar("hp_footer", kDefaultFooter)); }

CString KvWebObjectEx::RenderPageSidebar() { return ParseString(GetSystemVar("hp_sidebar", kDefaultSidebar)); }

CString KvWebObjectEx::RenderSearchForm(const char*) { return CString(); }
CString KvWebObjectEx::RenderSearchForm2(const char*) { return CString(); }
CString KvWebObjectEx::RenderSearchForm3(const char*) { return CString(); }
CString KvWebObjectEx::RenderManagementMenu() { return CString(); }
CString KvWebObjectEx::RenderSitemap(const char*) { return CString(); }

CString KvWebObjectEx::RenderLoginHRef2() {
    if (!IsUserLogin()) return CString();
    // Signing out is a change like any other: the link carries the token.
    return "&nbsp;|&nbsp;" + HtmlLink("/phpmod/cpanel.php", "Control Panel", nullptr) + "&nbsp;|&nbsp;" +
           HtmlLink(HtmlEscapeAttr("/phpmod/logout.php?op=do" + LinkToken()), "Logout", nullptr) + "&nbsp;";
}

CString KvWebObjectEx::RenderLoginHRef() {
    if (IsUserLogin()) return RenderLoginHRef2();
    return "&nbsp;|&nbsp;" + HtmlLink("/phpmod/login.php", "Login", nullptr) + "&nbsp;";
}

CString KvWebObjectEx::RenderAdvText(const char* key) {
    KvAdvText adv;
    if (!m_db.GetAdvText(key, &adv) || !adv.m_bActive) return CString();
    return adv.m_strTitle == "@" ? adv.m_strText : HtmlSidebarBox(adv.m_strTitle, adv.m_strText);
}

CString KvWebObjectEx::RenderAdvRandom(const char* key) {
    KvAdvRandom adv;
    if (!m_db.GetAdvRandom(key, &adv) || !adv.m_bActive) return CString();
    return adv.m_strTitle == "@" ? adv.m_strText : HtmlSidebarBox(adv.m_strTitle, adv.m_strText);
}

CString KvWebObjectEx::RenderSFeed(const char* arg) {
    CString a(arg);
    const char* hidden = a.Left(7) == "http://" ? "se" : "qt";
    CString form("<form method=\"GET\" action=\"/phpmod/sfeed.php\">\r\n");
    form += "Query: <input class=\"inputbox\" type=\"text\" name=\"q\" size=\"48\"><br>\r\n";
    form += "Sub-Folder: <input class=\"inputbox\" type=\"text\" name=\"f\" size=\"24\"> (The search result will be "
            "saved on this sub-folder)<br>\r\n";
    form += "<input class=\"button\" type=\"submit\" value=\"Submit\">\r\n";
    form.AppendFormat("<input type=\"hidden\" name=\"%s\" value=\"%s\">\r\n", hidden, HtmlEscapeAttr(a).c_str());
    form += "<input type=\"hidden\" name=\"cat\" value=\"{folder_id}\">\r\n";
    form += "<input type=\"hidden\" name=\"rnd\" value=\"{rnd_number}\">\r\n</form>\r\n";
    return form;
}

// --- the page frame --------------------------------------------------------------------

int KvWebObjectEx::WebPageShow(const char* file, KvParseImp* imp) {
    if (!m_pResponse || !imp) return 0;
    const CString siteName = GetHostName();
    const CString title = HtmlEscape(m_strPageTitle);
    imp->AddVariable("page_title_meta", m_strPath == "/" ? siteName : StrFormat("%s - %s", title.c_str(),
                                                                                 siteName.c_str()));
    imp->AddVariable("you_are_here", "You Are Here");
    imp->AddVariable("theme_path", StrFormat("%s/_theme/%s/", m_strHomeUrl.c_str(), m_strThemeName.c_str()));
    imp->AddVariable("lang_select", "");
    imp->AddVariable("theme_select", "");
    imp->AddVariable("hp_name", siteName);
    imp->AddVariable("hp_url", m_strHomeUrl);
    imp->AddVariable("hp_motto", GetSystemVar("hp_motto"));
    imp->AddVariable("page_header", RenderPageHeader());
    imp->AddVariable("page_footer", RenderPageFooter());
    imp->AddVariable("page_sidebar", RenderPageSidebar());
    imp->AddVariable("page_title", title);
    imp->AddVariable("page_desc", HtmlEscape(m_strPageDesc));
    imp->AddVariable("page_keywords", HtmlEscape(m_strPageKeywords));
    imp->AddVariable("page_robots", HtmlEscape(m_strPageRobots));
    imp->AddVariable("page_content", m_strPageContent);
    imp->AddVariable("page_url", HtmlEscape(m_strPath));
    imp->AddVariable("page_url_js", JsEscape(m_strPath));
    imp->AddVariable("page_title_js", JsEscape(m_strPageTitle));
    imp->AddVariable("nav_aboutus", "About Us");
    imp->AddVariable("nav_bookmarkus", "Bookmark");
    imp->AddVariable("nav_feedback", "Feedback");
    imp->AddVariable("nav_linktous", "Link To Us");
    imp->AddVariable("nav_privacy_policy", "Privacy Policy");
    imp->AddVariable("nav_sitemap", "Sitemap");
    imp->AddVariable("nav_term_of_use", "Term Of Use");
    imp->AddVariable("search_form3", RenderSearchForm3(""));
    // Handlers set their own trail; the trail of the request's directory
    // stands in (the file itself is no folder to link to).
    imp->AddVariable("current_path", GetCurrentPath(m_strCurDir));
    AddFormToken(imp);

    KvGenBuffer page(4096);
    page.PutString(LoadSimpleOrLocalFile(StrFormat("/_theme/%s/%s", m_strThemeName.c_str(), file ? file : "")));
    m_pResponse->m_bufBody.Empty();
    if (!page.IsEmpty()) {
        KvWebTemplate tpl(imp, 0);
        if (!tpl.Parse(&page)) return ResponseError("%s", m_strParsingFailed.c_str());
        m_pResponse->m_bufBody.Attach(page);
    }
    return ResponseFinish("text/html");
}

int KvWebObjectEx::ResponseTemplatePage(const char* templatePath, const char* title, KvParseImp& imp,
                                        const char* themeFile) {
    m_strPageTitle = title;
    m_strPageRobots = "noindex";
    // The template is the site's own text; it is scanned by the frame's
    // pass together with the page, never by a pass of its own.
    m_strPageContent = LoadSimpleOrLocalFile(templatePath);
    imp.AddVariable("page_msg", "");
    imp.AddVariable("page_message", "");
    return WebPageShow(themeFile, &imp);
}

CString KvWebObjectEx::RenderTrail(const char* label, const char* url, const char* label2, const char* url2) {
    CString trail = HtmlLink(HtmlEscapeAttr(m_strHomeUrl + "/"), HtmlEscape(m_strTopLabel), nullptr);
    trail += " > " + HtmlLink(HtmlEscapeAttr(url), HtmlEscape(label), nullptr);
    if (label2 && url2) trail += " > " + HtmlLink(HtmlEscapeAttr(url2), HtmlEscape(label2), nullptr);
    return trail;
}
