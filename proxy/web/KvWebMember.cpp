// KvWebObjectEx: site settings, the signed-in member, form tokens and the
// trail of the current path.
#include "base/containers/CsList.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/log/KvLogError.h"
#include "inet/url/TqParseURL.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

// Equal texts, compared in time that does not depend on where they differ.
bool TokensEqual(const char* a, const char* b) {
    size_t la = std::strlen(a), lb = std::strlen(b);
    if (la != lb || la == 0) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < la; ++i) diff |= (unsigned char)(a[i] ^ b[i]);
    return diff == 0;
}

}  // namespace

// --- settings ---------------------------------------------------------------------

CString KvWebObjectEx::GetSystemVar(const char* name, const char* defaultValue) {
    if (const char* cached = m_mapSysVar.Lookup(name)) return CString(cached);
    if (defaultValue && *defaultValue) {
        // Stored once: later pages find it in the cache.
        m_db.SetSystemVar(name, defaultValue);
        m_mapSysVar.AddTail(name, defaultValue);
    }
    return CString(defaultValue);
}

int KvWebObjectEx::SetSystemVar(const char* name, const char* value) {
    if (CsStrMapItem* item = m_mapSysVar.Find(name)) {
        item->m_value = value ? value : "";
    } else {
        m_mapSysVar.AddTail(name, value);
    }
    m_db.SetSystemVar(name, value ? value : "");
    return 1;
}

// --- member --------------------------------------------------------------------------

int KvWebObjectEx::SessionStart() {
    int result = KvWebObject::SessionStart();
    if (m_pSession && m_pSession->m_nUserID >= 1) {
        if (!m_db.GetUserInfo(m_pSession->m_nUserID, &m_user)) {
            // The member was deleted meanwhile: the session signs out.
            m_user.Reset();
            m_pSession->m_nUserID = 0;
        }
    }
    return result;
}

int KvWebObjectEx::SessionEnd() {
    m_user.Reset();
    return KvWebObject::SessionEnd();
}

int KvWebObjectEx::IsUserLogin() const { return m_pSession && m_pSession->m_nUserID > 0; }

CString KvWebObjectEx::UserGetLevelStr() const { return StrFormat("%d", UserGetLevel()); }

int KvWebObjectEx::GetMaxItemPerPage() const {
    int n = m_user.m_nMaxItemPerPage;
    if (n == 0) return 10;
    if (n < 5) return 5;
    if (n > 100) return 100;
    return n;
}

int KvWebObjectEx::MemberLogin(const char* name, const char* password) {
    if (!m_pSession) return 0;
    KvUserInfo user;
    if (!m_db.GetUserInfo(name, &user)) return 0;
    if (!password || user.m_strPassword != password) return 0;
    if (!RenewSession()) return 0;
    m_user = user;
    m_pSession->m_nUserID = user.m_nID;
    return 1;
}

int KvWebObjectEx::MemberLogout() {
    m_user.Reset();
    if (m_pSession) m_pSession->m_nUserID = 0;
    return 1;
}

int KvWebObjectEx::RedirectToMemberStartPage() {
    const CString& start = m_user.m_strStartPage;
    // Only pages of this site: a start page elsewhere would make the
    // sign-in page an open redirect.
    if (start.Left(1) == "/" && start.Left(2) != "//" && start.Find('\\') < 0) {
        return ResponseRedirect(m_strHomeUrl + start);
    }
    return ResponseRedirect(m_strHomeUrl);
}

CString KvWebObjectEx::GenPageKeywords(const char* text) {
    KvKeywords keywords(text);
    keywords += m_keywords;
    return keywords.AsString();
}

// --- form tokens -----------------------------------------------------------------------

CString KvWebObjectEx::GetFormToken() const {
    return m_pSession ? CString(m_pSession->GetValue(kFormTokenName, "")) : CString();
}

void KvWebObjectEx::AddFormToken(KvParseImp* imp) const {
    if (!imp) return;
    CString token = GetFormToken();
    imp->SetValue("rnd", token);
    imp->SetValue("rnd_number", token);
    imp->SetValue("form_token", token);
}

int KvWebObjectEx::IsSameOriginRequest() const {
    if (!m_pRequest) return 0;
    CString expected = m_nUrlPort == 80 ? m_strUrlHost : StrFormat("%s:%d", m_strUrlHost.c_str(), m_nUrlPort);
    const char* origin = m_pRequest->GetHeaderValue("Origin");
    if (origin && *origin) {
        CString o(origin);
        o.Trim();
        return StrICompare(o, "http://" + expected) == 0 ? 1 : 0;
    }
    const char* referer = m_pRequest->GetHeaderValue("Referer");
    if (!referer || !*referer) return 1;  // nothing names a page: the token decides
    CString host;
    int port = 0;
    CString path;
    if (!BreakUrlComponent(referer, host, port, path)) return 0;
    return host == m_strUrlHost && port == m_nUrlPort ? 1 : 0;
}

int KvWebObjectEx::IsStateChangeAllowed() const {
    CString token = GetFormToken();
    if (token.IsEmpty()) return 0;
    const char* given = m_cgi.GetValue("rnd", "");
    if (!*given) given = m_cgi.GetValue("rnd_number", "");
    if (!TokensEqual(token, given)) return 0;
    return IsSameOriginRequest();
}

bool KvWebObjectEx::HasAccess(KvWho who) const {
    switch (who) {
    case KvWho::Anyone: return true;
    case KvWho::Member: return IsUserLogin() != 0;
    case KvWho::Admin: return IsUserLogin() && IsUserAdmin();
    case KvWho::Developer: return IsUserLogin() && IsUserDeveloper();
    }
    return false;
}

bool KvWebObjectEx::AllowStateChange(KvWho who, KvVia via, bool permitted) {
    // A form's answer never comes by GET: a link or an image on any page
    // could otherwise send it, and the token would stand in the address.
    const bool methodOk = via == KvVia::Link || m_cgi.m_strMethod == "POST";
    if (permitted && methodOk && HasAccess(who) && IsStateChangeAllowed()) return true;
    LogError(KV_LOG_INFO, "%s: change refused for %s from %s (member %d).", m_strDomain.c_str(),
             m_strCurFile.c_str(), m_strClientIPAddr.c_str(), m_user.m_nID);
    // The refusal page names the path alone: a form sent by GET carries its
    // fields (a password among them) in the query.
    m_strRequestURL = m_strHomeUrl + m_strPath;
    ResponseUnauthorisized();
    return false;
}

CString KvWebObjectEx::LinkToken() const { return "&rnd=" + GetFormToken(); }

// --- the trail --------------------------------------------------------------------------

CString KvWebObjectEx::GetCurrentPath(const char* pathText) {
    CString url = m_strHomeUrl + "/";
    CString trail = HtmlLink(HtmlEscapeAttr(url), HtmlEscape(m_strTopLabel), nullptr);
    CString path(pathText);
    if (path.Left(1) == "/") path = path.Mid(1);
    CsStrList pieces;
    BreakTokens(path, pieces, '/');
    CString sub;
    for (CsStrListItem* p = pieces.Head(); p; p = p->Next()) {
        sub += CString(p->GetStr()) + "/";
        CString label(p->GetStr());
        label.Replace('_', ' ');
        trail += " > " + HtmlLink(HtmlEscapeAttr(url + UrlEscapePath(sub)), HtmlEscape(label), nullptr);
    }
    return trail;
}
