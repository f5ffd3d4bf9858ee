// KvWebObjectEx: signing in and out ("login.php", "logout.php").
//
// The password travels only in the body of a POST; it never reaches a log
// line or a page (the error pages of this module show the request path
// without its query).
#include <chrono>
#include <cstdarg>

#include "base/app/KvBaseApp.h"
#include "ext/KvMd5/KvMd5.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A name from a form as it may stand in a log line: control bytes as "?",
// at most 64 bytes, so it cannot forge or flood lines.
CString LogSafe(const CString& text) {
    CString out;
    for (int i = 0; i < text.GetLength() && i < 64; ++i) {
        const unsigned char c = (unsigned char)text[i];
        out += (c < 0x20 || c == 0x7F) ? '?' : (char)c;
    }
    return out;
}

// Sign-in events go to the day's log whatever the debugging mask says.
__attribute__((format(printf, 1, 2))) void LogSignIn(const char* format, ...) {
    KvBaseApp* app = KvGetApp();
    if (!app) return;
    va_list args;
    va_start(args, format);
    app->LogMessageV(format, args);
    va_end(args);
}

}  // namespace

int KvWebObjectEx::ResponseLoginModule() {
    // A query may hold a password typed into a wrong link: error pages
    // echo the request, so they get the path alone.
    m_strRequestURL = m_strHomeUrl + m_strPath;
    CString op = m_cgi.GetValue("op", "show");
    op.MakeLower();
    if (op == "show") return ResponseShowLoginForm();
    if (op == "do") return ResponseDoLogin();
    return ResponseUnknownAction(op);
}

int KvWebObjectEx::ResponseShowLoginForm() {
    KvParseImp imp;
    imp.AddVariable("current_path", RenderTrail("Login", "/phpmod/login.php"));
    // A link may name the member ("?uid=..."), never the password.
    imp.AddVariable("login_uid", HtmlEscape(m_cgi.GetValue("uid", "")));
    return ResponseTemplatePage("/_template/login.htm", "Login", imp);
}

int KvWebObjectEx::ResponseDoLogin() {
    if (!AllowStateChange(KvWho::Anyone)) return 1;
    const std::string address = m_strClientIPAddr.str();
    const int64_t now = MonotonicMs();
    if (m_loginThrottle.IsRefused(address, now)) {
        LogSignIn("%s: sign-in from %s refused after repeated failures.", m_strDomain.c_str(), address.c_str());
        return ResponseError("%s", "Too many failed logins from your address. Please try again in a minute.");
    }
    CString name = m_cgi.GetValue("uid", "");
    const char* password = m_cgi.GetValue("psw", "");
    if (!name.IsEmpty() && *password && MemberLogin(name, MD5String(password))) {
        LogSignIn("%s: member %s signed in from %s.", m_strDomain.c_str(), LogSafe(name).c_str(), address.c_str());
        return RedirectToMemberStartPage();
    }
    m_loginThrottle.RecordFailure(address, now);
    LogSignIn("%s: failed sign-in as %s from %s.", m_strDomain.c_str(), LogSafe(name).c_str(), address.c_str());
    return ResponseError("%s", "Login failed");
}

int KvWebObjectEx::ResponseLogoutModule() {
    if (!IsUserLogin()) return ResponseRedirectToHomepage();  // nothing to change
    if (!AllowStateChange(KvWho::Member, KvVia::Link)) return 1;
    MemberLogout();
    return ResponseRedirectToHomepage();
}

CString KvWebObjectEx::RenderLoginForm() {
    if (IsUserLogin()) {
        CString text = "Signed in as <b>" + HtmlEscape(m_user.m_strName) + "</b><br>\r\n";
        if (IsUserAdmin()) text += HtmlLink("/phpmod/cpanel.php", "Control Panel", nullptr) + " | ";
        text += HtmlLink("/phpmod/member_info.php?op=edit", "Member Info", nullptr) + " | ";
        text += HtmlLink(HtmlEscapeAttr("/phpmod/logout.php?op=do" + LinkToken()), "Logout", nullptr);
        return HtmlSidebarBox("Member", text);
    }
    if (m_strCurDir == "/phpmod/" && m_strCurFile == "login.php") return CString();  // the page is the form
    CString form("<form class=\"side-login\" method=\"post\" action=\"/phpmod/login.php\">\r\n");
    form += "<input type=\"hidden\" name=\"op\" value=\"do\">\r\n";
    form += "<input type=\"hidden\" name=\"rnd\" value=\"" + HtmlEscapeAttr(GetFormToken()) + "\">\r\n";
    form += "<input class=\"inputbox\" type=\"text\" name=\"uid\" placeholder=\"Member name\" "
            "autocomplete=\"username\">\r\n";
    form += "<input class=\"inputbox\" type=\"password\" name=\"psw\" placeholder=\"Password\" "
            "autocomplete=\"current-password\">\r\n";
    form += "<input class=\"button\" type=\"submit\" value=\"Login\">\r\n</form>\r\n";
    return HtmlSidebarBox("Member Login", form);
}
