// KvProxyRequest: dispatch of one request and URL splitting.
#include "proxy/core/KvProxyRequest.h"

#include <sys/socket.h>

#include <cstring>

#include "base/str/StrFunc.h"
#include "inet/log/KvLogError.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/url/KvUrlCanonical.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyKeepAlive.h"
#include "proxy/core/KvProxyLoop.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"

IMPLEMENT_DYNCREATE(KvProxyRequest, KvSocketRequest)

// ---------------------------------------------------------------------------
// The request.

KvProxyRequest::KvProxyRequest() : m_bufRemote(4096) {}

KvProxyRequest::~KvProxyRequest() { Kill(); }

KvWebProxyApp* KvProxyRequest::GetApp() const { return KvGetProxyApp(); }

BOOL KvProxyRequest::InitState() {
    BOOL ok = KvSocketRequest::InitState();
    if (!ok) return ok;
    m_request.Reset();
    m_response.Reset();
    return TRUE;
}

BOOL KvProxyRequest::CloseConnections() {
    ReleaseBodies();
    return KvSocketRequest::CloseConnections();
}

void KvProxyRequest::DropRemote() {
    if (m_comRemote.IsValid()) m_comRemote.Disconnect(1);
}

void KvProxyRequest::BeginExchange() {
    m_request.Reset();
    m_response.Reset();
    static_cast<KvProxyExchange&>(*this) = KvProxyExchange{};
}

BOOL KvProxyRequest::DispatchRequest() {
    BeginExchange();
    if (!ReadClientRequest()) {
        WriteAccessLine();
        DropRemote();
        ReleaseBodies();
        if (!m_bKeepClient) CloseClient();
        return TRUE;
    }
    m_strTarget = m_request.m_strURL;
    switch (KvProxyCutSuffix(m_strTarget)) {
    case kvSuffixForce: m_bForce = 1; break;
    case kvSuffixDelete: m_bDelete = 1; break;
    case kvSuffixBypass: m_bBypass = 1; break;
    case kvSuffixNone: break;
    }
    m_strURL = m_strTarget;
    UrlDecode(&m_strURL);
    _DoDispatchRequest();
    WriteAccessLine();
    // The origin may keep its connection open: it is never waited for.
    DropRemote();
    ReleaseBodies();
    // An answer that leaves the connection open has been sent whole; any
    // other ends the connection here (a relay cut short has ended it already).
    if (!m_bKeepClient && m_comClient.IsValid()) CloseClient();
    return TRUE;
}

BOOL KvProxyRequest::KeepsConnection() { return m_bKeepClient && m_comClient.IsValid(); }

bool KvProxyRequest::DecideKeep(bool lengthKnown) {
    m_bKeepClient = m_bClientKeep && lengthKnown && !m_bBodyInClient ? 1 : 0;
    return m_bKeepClient != 0;
}

void KvProxyRequest::MarkConnection(KvHttpBuffer& answer, bool lengthKnown) {
    KvSetConnectionHeaders(answer, DecideKeep(lengthKnown));
}

void KvProxyRequest::ReleaseBodies() {
    // Bodies of an exchange (up to the read limit and the cache copy cap)
    // are not kept while the thread waits for its next connection.
    m_bufRemote.Empty();
    m_request.m_bufBody.Empty();
    m_response.m_bufBody.Empty();
    m_copyReservation.Release();
    std::string().swap(m_strPageHead);
}

void KvProxyRequest::_DoDispatchRequest() {
    // A request that passed here before went round a loop (a forward proxy
    // that leads back here): forwarding it again would only go round again.
    if (KvHasOwnVia(m_request)) {
        RefuseRequest(508);
        return;
    }
    if (m_request.m_strMethod.CompareNoCase("CONNECT") == 0) {
        ResponseTunnel();
        return;
    }
    if (m_strTarget == "*") {
        // "OPTIONS *" asks the proxy itself what it can do.
        if (m_request.m_strMethod.CompareNoCase("OPTIONS") == 0) ResponseOptions();
        else RefuseRequest(400);
        return;
    }
    if (m_strTarget.Left(1) == "/") {
        // A path without a host: the request is addressed to the proxy.
        ResponseProxyHome();
        return;
    }
    if (!BreakUrlComponent(m_strURL, m_strHost, m_nPort, m_strPath)) {
        LogError(KV_LOG_ERROR, "Break url %s to component fail.", m_strURL.c_str());
        return;
    }
    if (ResponseLocal()) return;
    ResponseForwarded();
}

int KvProxyRequest::BreakUrlComponent(const char* url, CString& host, int& port, CString& path) {
    // Scheme and host in any letter case, a user part (never sent on) and
    // a port with leading zeros all name the same origin.
    KvUrlParts parts;
    if (!KvSplitUrl(url ? url : "", parts)) return 0;
    if (parts.scheme != "http" && parts.scheme != "shttp") return 0;
    host = parts.host;
    host.Trim();
    if (host.IsEmpty()) return 0;
    port = parts.port ? parts.port : 80;
    path = parts.path;
    return 1;
}

int KvProxyRequest::ResponseLocal() { return 0; }

// ---------------------------------------------------------------------------
// Referer hook (not on the dispatch path).

namespace {

// Deployment values of the referer hook: the search services whose query
// pages get the portal's search card as referer. The custom-search prefix
// is the configured one ("CustomSearchPrefix"), shared with the cache rules.
const char* const kSearchPrefixes[] = {
    "http://search.portal.invalid/search?",
    "http://directory.portal.invalid/cgi-bin/search?",
    "http://books.portal.invalid/exec/obidos/external-search?",
    "http://siteinfo.portal.invalid/cgi-bin/search_form",
};

// "pub-" and 16 digits.
bool HasAdClientId(const char* url) {
    for (const char* p = std::strstr(url, "pub-"); p; p = std::strstr(p + 1, "pub-")) {
        int digits = 0;
        while (digits < 16 && p[4 + digits] >= '0' && p[4 + digits] <= '9') ++digits;
        if (digits == 16) return true;
    }
    return false;
}

}  // namespace

void KvProxyRequest::HyjackReferer() {
    const char* referer = m_request.GetHeaderValue("Referer");
    if (referer && *referer) return;
    const char* url = m_strURL.c_str();
    const std::string& customSearch = KvGetKavoriSettings().customSearch;
    bool set = false;
    if (!customSearch.empty() && std::strncmp(url, customSearch.c_str(), customSearch.size()) == 0) {
        set = HasAdClientId(url);
    } else {
        for (const char* prefix : kSearchPrefixes) {
            if (std::strncmp(url, prefix, std::strlen(prefix)) == 0) set = true;
        }
    }
    if (!set) return;
    CString card = "http://www." + KvGetPortalHosts().portalDomain + "/phpmod/htmcard.php?pg=se";
    m_request.SetHeaderValue("Referer", card);
}

int KvProxyRequest::IsValidDeveloperSubDomain(const char* name) {
    CString lower(name ? name : "");
    lower.MakeLower();
    return lower == "kavori" || lower == "webdev" ? 1 : 0;
}
