// KvProxyRequestKavori: requests for KvProxy's own address. A person who
// types the proxy's address into a browser (an origin-form request, or an
// absolute one through the proxy to its own listener) gets the portal's
// page for that path; such a request is never forwarded, so it cannot go
// round in circles.
#include <arpa/inet.h>

#include "inet/url/KvUrlCanonical.h"
#include "proxy/core/KvProxyRequestKavori.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/web/KvOwnListener.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"

namespace {

// The host of a "Host" value ("name", "name:port", "[v6]:port"), lower
// case, IPv6 without brackets; empty when it does not read as one.
CString HostOfAuthority(const char* authority) {
    KvUrlParts parts;
    if (!KvSplitUrl(std::string("http://") + (authority ? authority : ""), parts)) return "";
    CString host = parts.host;
    if (host.GetLength() >= 2 && host[0] == '[') host = host.Mid(1, host.GetLength() - 2);
    return host;
}

bool IsAddressLiteral(const CString& host) {
    unsigned char addr[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), addr) == 1 || inet_pton(AF_INET6, host.c_str(), addr) == 1;
}

// "scheme://authority" of an absolute URL, lower case; empty for others.
CString OriginOf(const char* url) {
    KvUrlParts parts;
    if (!url || !KvSplitUrl(url, parts) || parts.scheme.IsEmpty()) return "";
    CString origin = parts.scheme + "://" + parts.host;
    if (parts.portWritten) origin.AppendFormat(":%d", parts.port);
    return origin;
}

}  // namespace

bool KvProxyRequestKavori::TargetIsOwnListener() const {
    const KvListenAddress listener = KvGetOwnListener();
    return listener.port > 0 && m_nPort == listener.port && KvIsOwnListenerName(m_strHost);
}

bool KvProxyRequestKavori::OriginFormMayShowPortal() const {
    const char* value = m_request.GetHeaderValue("Host");
    if (!value || !*value) return true;
    const CString host = HostOfAuthority(value);
    if (host.IsEmpty()) return false;
    return IsAddressLiteral(host) || KvIsOwnListenerName(host) || host.CompareNoCase(KV_HOST_PORTAL) == 0;
}

bool KvProxyRequestKavori::AnswerAsPortal(const CString& path) {
    KvWebMgr* sites = KvWebMgr::GetInstance();
    if (!sites->IsLocalHost(KV_HOST_PORTAL)) return false;
    // The page that sent a form from the proxy's address is the portal's
    // own page under another name: its Origin and Referer say so, so the
    // portal's same-site check takes them as its own.
    const CString portal = CString("http://") + KV_HOST_PORTAL;
    const CString own = OriginOf("http://" + CString(m_request.GetHeaderValue("Host")));
    for (const char* header : {"Origin", "Referer"}) {
        const char* value = m_request.GetHeaderValue(header);
        if (!own.IsEmpty() && value && OriginOf(value).CompareNoCase(own) == 0) {
            KvUrlParts parts;
            KvSplitUrl(value, parts);
            m_request.SetHeaderValue(header, CString(header) == "Origin" ? portal : portal + parts.path);
        }
    }
    m_request.m_strURL = portal + path;
    m_request.SetHeaderValue("Host", KV_HOST_PORTAL);
    if (!ReadBodyForLocalSite()) return true;  // the connection is done with
    if (!sites->GetResponse(KV_HOST_PORTAL, GetHostIPAddr(), GetClientIPAddr(), &m_request, &m_response)) return false;
    SendAnswerOfProxy();
    return true;
}

int KvProxyRequestKavori::ResponseProxyHome() {
    const bool originForm = m_strTarget.Left(1) == "/";
    if (originForm && !OriginFormMayShowPortal()) return KvProxyRequest::ResponseProxyHome();
    if (AnswerAsPortal(KvProxyUpstreamTarget(m_strTarget, false))) return 1;
    return KvProxyRequest::ResponseProxyHome();
}
