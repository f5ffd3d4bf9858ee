// KvFetch: the engine of the download client.
//
// One request to an http or https address, on today's web:
// - https through TLS with verification (KvFetchStream.h);
// - through the upstream proxy of the settings (plain http by absolute
//   address, https by CONNECT), or with viaLocalProxy plain http through
//   this system's own listener (so its cache and lists apply; https then
//   goes as it would without it);
// - redirects (301, 302, 303, 307, 308) followed up to maxRedirects, a
//   relative Location resolved against the current address, never from
//   https down to http;
// - chunked and gzip bodies decoded, within the settings' body limit;
// - one deadline (the settings' time-out) for the whole download;
// - local host names (KvFetchSettings::isLocalHost) and other schemes
//   refused before any connection; with outsideOnly, addresses inside
//   this machine and its private networks too.
//
// Any number of threads may fetch at once; everything is on the stack.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/platform/CString.h"

class KvHttpResponse;

struct KvFetchRequest {
    CString url;
    CString method = "GET";
    // Header lines sent after the request line, in order; "Host" is added
    // behind them for every hop (and "Accept-Encoding: gzip" when
    // acceptGzip and the lines have none).
    std::vector<std::pair<CString, CString>> headers;
    std::string body;  // sent with its "Content-Length" when not empty
    bool viaLocalProxy = false;
    // Refuse hosts whose addresses lie inside this machine or a private
    // network (see KvAddressKind.h), unless the settings trust them: for
    // addresses that someone typed into a site. A direct connection checks
    // the addresses it connects to; through a proxy, which looks the name
    // up itself, the host is looked up here first and refused when any of
    // its addresses is inside.
    bool outsideOnly = false;
    bool acceptGzip = true;
    int maxRedirects = 5;  // 0: the first answer, whatever it is
    // -1: the settings' upstream proxy; 0: connect directly; above 0: the
    // proxy at proxyHost:proxyPort.
    int proxyPort = -1;
    CString proxyHost;
    int timeoutMs = 0;  // 0: the settings' time-out
};

// True when an answer arrived (any status): `response` then holds its
// status, headers and decoded body ("Content-Encoding" and chunked framing
// removed, "Content-Length" the decoded size). False with a reason in
// `error` otherwise. `finalUrl` (when given) is the address that answered.
bool KvFetch(const KvFetchRequest& request, KvHttpResponse& response, CString& error,
             CString* finalUrl = nullptr);

// The status classes the feed readers need.
inline bool KvIsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
