// KvWebObject: identity, the request flow and sessions.
#include "proxy/web/KvWebObject.h"

#include <cstdarg>

#include "base/str/StrFunc.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/log/KvLogError.h"
#include "inet/url/TqParseURL.h"
#include "inet/web/KvCookie.h"

IMPLEMENT_DYNCREATE(KvWebObject, KvObject)

KvWebObject::KvWebObject() = default;

KvWebObject::KvWebObject(const char* domain) {
    SetDomain(domain);
    SetHostName(domain);
}

KvWebObject::~KvWebObject() = default;

void KvWebObject::SetDomain(const char* domain) {
    m_strDomain = domain;
    m_strHomeUrl.Format("http://%s", m_strDomain.c_str());
}

void KvWebObject::SetHostName(const char* name) {
    std::lock_guard<std::mutex> lock(m_mutexInfo);
    m_strHostName = name;
}

CString KvWebObject::GetHostName() const {
    std::lock_guard<std::mutex> lock(m_mutexInfo);
    return m_strHostName;
}

void KvWebObject::SetDescription(const char* description) {
    std::lock_guard<std::mutex> lock(m_mutexInfo);
    m_strDescription = description;
}

CString KvWebObject::GetDescription() const {
    std::lock_guard<std::mutex> lock(m_mutexInfo);
    return m_strDescription;
}

void KvWebObject::SetBasePath(const char* path) { m_strBasePath = path; }

void KvWebObject::SetDbFileName(const char*) {}

int KvWebObject::Initiate() {
    m_bInitiated = 1;
    return 1;
}

int KvWebObject::DoGetResponse() { return 0; }

int KvWebObject::GetResponseFrom(const char* hostIPAddr, const char* clientIPAddr, KvHttpRequest* request,
                                 KvHttpResponse* response) {
    KvCriticalLock lock(m_csLock);
    SetHostIPAddr(hostIPAddr);
    SetClientIPAddr(clientIPAddr);
    return GetResponse(request, response);
}

int KvWebObject::GetResponse(KvHttpRequest* request, KvHttpResponse* response) {
    KvCriticalLock lock(m_csLock);
    if (!request || !response) return 0;
    m_bNewSession = 0;
    m_pSession = nullptr;
    if (!IsInitiated()) {
        Initiate();
        if (!IsInitiated()) return 0;
    }
    KvWebRequestScope scope(m_pRequest, m_pResponse, request, response);
    if (!PrepareRequestUrl()) return 0;
    return DoGetResponse();
}

int KvWebObject::AnswerNotHandled(KvHttpRequest* request, KvHttpResponse* response) {
    KvCriticalLock lock(m_csLock);
    if (!request || !response) return 0;
    KvWebRequestScope scope(m_pRequest, m_pResponse, request, response);
    m_pSession = nullptr;
    response->Reset();
    m_strRequestURL = request->m_strURL;
    StrUnEscape(&m_strRequestURL);
    return ResponseError("%s", IsInitiated() ? m_strNotFound.c_str() : m_strInternalError.c_str()) ? 1 : 0;
}

int KvWebObject::PrepareRequestUrl() {
    m_strRequestURL = m_pRequest->m_strURL;
    StrUnEscape(&m_strRequestURL);
    if (!BreakUrlComponent(m_strRequestURL, m_strUrlHost, m_nUrlPort, m_strUrlPath)) {
        LogError(KV_LOG_ERROR, "Break url %s to component fail.", m_strRequestURL.c_str());
        return 0;
    }
    return 1;
}

int KvWebObject::BreakUrlComponent(const char* url, CString& host, int& port, CString& path) {
    unsigned long scheme = 0;
    CString schemeText, parsedHost, parsedPath;
    unsigned short parsedPort = 0;
    if (!TqParseURL(url, scheme, schemeText, parsedHost, parsedPath, parsedPort)) return 0;
    if (scheme != kvSchemeHttp) return 0;
    parsedHost.Trim();
    parsedHost.MakeLower();
    host = parsedHost;
    port = parsedPort ? parsedPort : 80;
    path = parsedPath;
    return 1;
}

void KvWebObject::PutLine(const char* format, ...) {
    if (!m_pResponse) return;
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    m_pResponse->m_bufBody.PutString(text);
}

CString KvWebObject::RenderTableBox(const char* title, const char* body) {
    CString upper(title);
    upper.MakeUpper();
    CString inner = CString("<table border=\"0\" cellspacing=\"4\" cellpadding=\"0\" width=\"100%\"><tr><td>\r\n") +
                    (body ? body : "") + "\r\n</td></tr></table>\r\n";
    return "<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\" width=\"100%\">\r\n<tr>\r\n<td width=\"100%\" "
           "bgcolor=\"#F0F0F0\" valign=\"middle\" align=\"left\">&nbsp;<b>" +
           upper + "</b></td>\r\n</tr>\r\n<tr>\r\n<td width=\"100%\" valign=\"top\" align=\"left\">\r\n" + inner +
           "\r\n</td>\r\n</tr>\r\n</table>\r\n";
}

// --- sessions ---------------------------------------------------------------------------

int KvWebObject::SessionStart() {
    CString id;
    if (m_pRequest) {
        KvCookie cookie;
        cookie.SetCookie(m_pRequest->GetHeaderValue("Cookie"));
        id = cookie.GetValue("sid", "");
        id.MakeUpper();
        if (id == "(NULL)") id.Empty();
    }
    BOOL created = FALSE;
    m_pSession = m_sessionMgr.GetSession(id, &created);
    m_bNewSession = (id.IsEmpty() || created) ? 1 : 0;
    if (!m_pSession) return 0;
    m_pSession->m_strIPAddr = m_strClientIPAddr;
    m_pSession->m_timeLastUsed = KvTime::GetCurTime();
    if (*m_pSession->GetValue(kFormTokenName, "") == '\0') NewFormToken();
    return 1;
}

int KvWebObject::SessionEnd() {
    m_sessionMgr.Cleanup(m_nSessionLifetime);
    // The session may have gone with the clean-up; nothing refers to it
    // after the request.
    m_pSession = nullptr;
    return 1;
}

void KvWebObject::NewFormToken() {
    // An empty token (no random source) matches nothing, so forms fail
    // closed.
    if (m_pSession) m_pSession->SetValue(kFormTokenName, KvSecureRandomHex(32));
}

int KvWebObject::RenewSession() {
    if (!m_pSession) return 0;
    KvSession old(*m_pSession);  // the manager may drop the original below
    BOOL created = FALSE;
    KvSession* fresh = m_sessionMgr.GetSession(nullptr, &created);
    if (!fresh || fresh == m_pSession) return 0;
    KvObject* stored = nullptr;
    if (m_sessionMgr.m_mapSession.Lookup(old.m_strSessionID, stored) && stored == m_pSession) {
        m_sessionMgr.m_mapSession.RemoveKey(old.m_strSessionID);
    }
    CString freshId = fresh->m_strSessionID;
    *fresh = old;
    fresh->m_strSessionID = freshId;
    fresh->m_timeLastUsed = KvTime::GetCurTime();
    m_pSession = fresh;
    m_bNewSession = 1;
    NewFormToken();
    return 1;
}

int KvWebObject::WriteCookie() {
    if (!m_pSession || !m_pResponse) return 0;
    char expires[40];
    GetHttpTime(m_nSessionLifetime * 60, expires);
    CString cookie;
    cookie.Format("sid=%s; expires=%s; path=/; HttpOnly; SameSite=Lax", m_pSession->m_strSessionID.c_str(), expires);
    return SetHeader("Set-Cookie", cookie);
}
