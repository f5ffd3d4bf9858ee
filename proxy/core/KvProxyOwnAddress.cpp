// KvProxyRequestKavori: requests for KvProxy's own address. A person who
// types the proxy's address into a browser (an origin-form request, or an
// absolute one through the proxy to its own listener) gets the portal's
// page for that path; such a request is never forwarded, so it cannot go
// round in circles.
#include <arpa/inet.h>

#include <string>

#include "inet/http/KvHttpResponse.h"
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

// "host[:port]" of an http URL as parsed (an IPv6 host in brackets).
CString AuthorityOf(const char* url) {
    KvUrlParts parts;
    if (!url || !KvSplitUrl(url, parts) || parts.host.IsEmpty()) return "";
    CString authority = parts.host;
    if (parts.portWritten) authority.AppendFormat(":%d", parts.port);
    return authority;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// The portal writes its own absolute address into redirects and pages
// (style sheets, images, links home); a browser that reached it under the
// proxy's address, perhaps without using the proxy yet, is given that
// address instead so the page works there.
void PortalAddressesAsOwn(KvHttpResponse& answer, const CString& own) {
    const std::string portal = std::string("http://") + KV_HOST_PORTAL;
    const std::string mine(own.c_str());
    if (const char* location = answer.GetHeaderValue("Location")) {
        std::string value(location);
        if (value == portal || value.rfind(portal + "/", 0) == 0) {
            answer.SetHeaderValue("Location", (mine + value.substr(portal.size())).c_str());
        }
    }
    const char* type = answer.GetHeaderValue("Content-Type");
    const std::string kind(type ? type : "");
    if (kind.rfind("text/", 0) != 0 && kind.find("javascript") == std::string::npos) return;
    std::string body(answer.m_bufBody.GetData(), answer.m_bufBody.GetCount());
    const size_t before = body.size();
    ReplaceAll(body, portal + "/", mine + "/");
    ReplaceAll(body, portal + "\"", mine + "\"");
    if (body.size() == before && body.find(portal) == std::string::npos) return;
    answer.m_bufBody.Empty();
    answer.m_bufBody.PutString(body.data(), body.size());
    answer.SetHeaderValue("Content-Length", (int64_t)body.size());
    answer.m_nContentLength = (int64_t)body.size();
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

bool KvProxyRequestKavori::AnswerAsPortal(const CString& path, const CString& authority) {
    KvWebMgr* sites = KvWebMgr::GetInstance();
    if (!sites->IsLocalHost(KV_HOST_PORTAL)) return false;
    // The page that sent a form from the proxy's address is the portal's
    // own page under another name: its Origin and Referer say so, so the
    // portal's same-site check takes them as its own.
    const CString portal = CString("http://") + KV_HOST_PORTAL;
    const CString own = OriginOf("http://" + authority);
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
    if (!own.IsEmpty()) PortalAddressesAsOwn(m_response, own);
    SendAnswerOfProxy();
    return true;
}

int KvProxyRequestKavori::ResponseProxyHome() {
    const bool originForm = m_strTarget.Left(1) == "/";
    if (originForm && !OriginFormMayShowPortal()) return KvProxyRequest::ResponseProxyHome();
    // The address the browser used: the Host it named (checked above), or
    // the target's own.
    const char* host = m_request.GetHeaderValue("Host");
    CString authority = originForm ? AuthorityOf("http://" + CString(host ? host : "")) : AuthorityOf(m_strTarget);
    if (authority.IsEmpty()) authority = KvOwnListenerAuthority();
    if (AnswerAsPortal(KvProxyUpstreamTarget(m_strTarget, false), authority)) return 1;
    return KvProxyRequest::ResponseProxyHome();
}
