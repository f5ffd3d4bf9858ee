#include "inet/fetch/KvFetch.h"

#include <strings.h>

#include <vector>

#include "inet/fetch/KvFetchAnswer.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/fetch/KvFetchStream.h"
#include "inet/fetch/KvFetchUrl.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/log/KvLogError.h"
#include "inet/net/KvAddressKind.h"
#include "inet/net/KvResolver.h"
#include "inet/net/KvSocketWait.h"

namespace {

// Where one hop's connection goes and how the request names its target.
struct Route {
    CString host;
    int port = 0;
    bool absoluteTarget = false;  // the request line carries the whole address
    bool tunnel = false;          // CONNECT through the proxy first
};

// A listener on every address is reached on the loopback address.
CString Reachable(const CString& listenHost) {
    if (listenHost.IsEmpty() || listenHost == "0.0.0.0") return "127.0.0.1";
    if (listenHost == "::" || listenHost == "[::]") return "::1";
    return listenHost;
}

Route ChooseRoute(const KvFetchTarget& target, bool viaLocalProxy, const KvFetchSettings& s) {
    Route r;
    if (!target.https && viaLocalProxy && s.localProxyPort > 0) {
        r.host = Reachable(s.localProxyHost);
        r.port = s.localProxyPort;
        r.absoluteTarget = true;
    } else if (s.proxyPort > 0 && !s.proxyHost.IsEmpty()) {
        r.host = s.proxyHost;
        r.port = s.proxyPort;
        r.absoluteTarget = !target.https;
        r.tunnel = target.https;
    } else {
        r.host = target.host;
        r.port = target.port;
    }
    return r;
}

bool HasHeader(const KvFetchRequest& request, const char* name) {
    for (const auto& [key, value] : request.headers) {
        if (strcasecmp(key.c_str(), name) == 0) return true;
    }
    return false;
}

CString ComposeHead(const KvFetchRequest& request, const CString& method, bool withBody,
                    const KvFetchTarget& target, const Route& route) {
    CString head = method + " " + (route.absoluteTarget ? KvFetchUrlText(target) : target.pathQuery) + " HTTP/1.0\r\n";
    for (const auto& [key, value] : request.headers) {
        if (strcasecmp(key.c_str(), "Host") == 0 || strcasecmp(key.c_str(), "Content-Length") == 0) continue;
        if (key.FindOneOf("\r\n") >= 0 || value.FindOneOf("\r\n") >= 0) continue;
        head += key + ": " + value + "\r\n";
    }
    head += "Host: " + KvHostHeader(target) + "\r\n";
    if (request.acceptGzip && !HasHeader(request, "Accept-Encoding")) head += "Accept-Encoding: gzip\r\n";
    if (withBody) head.AppendFormat("Content-Length: %zu\r\n", request.body.size());
    return head + "\r\n";
}

// Whether the request's host must lie outside this machine and its
// private networks.
bool MustBeOutside(const KvFetchRequest& request, const KvFetchTarget& target, const KvFetchSettings& s) {
    if (!request.outsideOnly || s.allowInternal) return false;
    for (const CString& trusted : s.trustedHosts) {
        if (strcasecmp(trusted.c_str(), target.host.c_str()) == 0) return false;
    }
    return true;
}

// A proxy looks the name up itself: refused here when any of its addresses
// is inside. A name that this machine cannot look up is left to the proxy.
bool LooksInside(const KvFetchTarget& target, int64_t deadline, CString& error) {
    std::vector<KvResolvedAddress> found;
    if (KvResolveHost(target.host, (unsigned)target.port, found, deadline) != KvResolveStatus::Found) return false;
    for (const KvResolvedAddress& a : found) {
        if (!KvIsInternalAddress(reinterpret_cast<const sockaddr*>(&a.addr))) continue;
        error = KvInsideRefusal(target.host, a);
        return true;
    }
    return false;
}

// Connects (through the proxy's tunnel when the route says so) and starts
// TLS for https; `outsideOnly` for a direct connection to the target.
bool Open(KvFetchStream& stream, const KvFetchTarget& target, const Route& route, const KvFetchSettings& s,
          int64_t deadline, bool outsideOnly, CString& error) {
    if (!stream.Connect(route.host, route.port, deadline, error, outsideOnly)) return false;
    if (route.tunnel) {
        CString hostPort = KvHostPort(target);
        CString connect = "CONNECT " + hostPort + " HTTP/1.1\r\nHost: " + hostPort + "\r\n\r\n";
        if (!stream.WriteAll(connect.c_str(), (size_t)connect.GetLength(), deadline, error)) return false;
        int status = KvReadProxyHead(stream, deadline, error);
        if (status == 0) return false;
        if (status < 200 || status > 299) {
            error.Format("proxy refused the tunnel to %s with status %d", hostPort.c_str(), status);
            return false;
        }
    }
    if (target.https && !stream.StartTls(target.host, s.caFile, deadline, error)) {
        LogError(KV_LOG_ERROR, "Download of https://%s:%d/ refused: %s", target.host.c_str(), target.port,
                 error.c_str());
        return false;
    }
    return true;
}

// One request and its answer.
bool Exchange(const KvFetchRequest& request, const CString& method, bool withBody, const KvFetchTarget& target,
              const KvFetchSettings& s, int64_t deadline, KvHttpResponse& response, CString& error) {
    if (s.isLocalHost && s.isLocalHost(target.host)) {
        error.Format("%s is a local site of this system and is not downloaded", target.host.c_str());
        return false;
    }
    Route route = ChooseRoute(target, request.viaLocalProxy, s);
    const bool direct = !route.absoluteTarget && !route.tunnel;
    const bool outsideOnly = MustBeOutside(request, target, s);
    if (outsideOnly && !direct && LooksInside(target, deadline, error)) return false;
    KvFetchStream stream;
    if (!Open(stream, target, route, s, deadline, outsideOnly && direct, error)) return false;
    CString head = ComposeHead(request, method, withBody, target, route);
    if (!stream.WriteAll(head.c_str(), (size_t)head.GetLength(), deadline, error)) return false;
    if (withBody && !stream.WriteAll(request.body.data(), request.body.size(), deadline, error)) return false;
    bool headOnly = method.CompareNoCase("HEAD") == 0;
    return KvReadFetchAnswer(stream, deadline, s.maxBody, headOnly, response, error);
}

}  // namespace

bool KvFetch(const KvFetchRequest& request, KvHttpResponse& response, CString& error, CString* finalUrl) {
    KvFetchSettings s = KvGetFetchSettings();
    if (request.proxyPort >= 0) {
        s.proxyPort = request.proxyPort;
        s.proxyHost = request.proxyHost;
    }
    if (request.timeoutMs > 0) s.timeoutMs = request.timeoutMs;
    const int64_t deadline = KvDeadlineAfter(s.timeoutMs > 0 ? s.timeoutMs : 30000);
    CString url = request.url;
    CString method = request.method.IsEmpty() ? CString("GET") : request.method;
    bool withBody = !request.body.empty();
    KvFetchTarget target;
    if (!KvSplitFetchUrl(url, target)) {
        error.Format("not an http or https address: %s", url.c_str());
        return false;
    }
    for (int hop = 0;; ++hop) {
        if (!Exchange(request, method, withBody, target, s, deadline, response, error)) {
            error = KvFetchUrlText(target) + ": " + error;
            return false;
        }
        const char* location = response.GetHeaderValue("Location");
        bool redirect = KvIsRedirectStatus(response.m_nStatus) && location && *location;
        if (!redirect || request.maxRedirects <= 0) break;
        if (hop >= request.maxRedirects) {
            error.Format("%s: more than %d redirects", request.url.c_str(), request.maxRedirects);
            return false;
        }
        CString next = KvResolveReference(KvFetchUrlText(target), location);
        KvFetchTarget nextTarget;
        if (!KvSplitFetchUrl(next, nextTarget)) {
            error.Format("%s: redirect to an unusable address %s", url.c_str(), location);
            return false;
        }
        if (target.https && !nextTarget.https) {
            error.Format("%s: redirect from https down to http refused (%s)", url.c_str(), next.c_str());
            return false;
        }
        // A 303, and a 301 or 302 answering anything but GET or HEAD, is
        // followed with a GET, as browsers do.
        int status = response.m_nStatus;
        bool keepMethod = status == 307 || status == 308 || method.CompareNoCase("HEAD") == 0 ||
                          (status != 303 && method.CompareNoCase("GET") == 0);
        if (!keepMethod) {
            method = "GET";
            withBody = false;
        }
        target = nextTarget;
        url = next;
    }
    if (finalUrl) *finalUrl = KvFetchUrlText(target);
    return true;
}
