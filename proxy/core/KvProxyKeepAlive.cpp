#include "proxy/core/KvProxyKeepAlive.h"

#include <strings.h>

#include <cstring>
#include <string_view>

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvProxyText.h"

namespace {

// "Connection" or "Proxy-Connection" of the message names the token.
bool NamesToken(const KvHttpBuffer& message, const char* token) {
    return KvHeaderListsToken(message, "Connection", token) || KvHeaderListsToken(message, "Proxy-Connection", token);
}

}  // namespace

bool KvClientAsksToKeep(const KvHttpRequest& request) {
    if (request.m_strMethod.CompareNoCase("CONNECT") == 0) return false;
    if (NamesToken(request, "close")) return false;
    const CString& version = request.m_strVersion;
    if (version.CompareNoCase("HTTP/1.1") == 0) return true;
    return version.CompareNoCase("HTTP/1.0") == 0 && NamesToken(request, "keep-alive");
}

bool KvOriginOffersToKeep(const KvHttpResponse& response) {
    if (NamesToken(response, "close")) return false;
    const CString& version = response.m_strVersion;
    if (version.CompareNoCase("HTTP/1.1") == 0) return true;
    return version.CompareNoCase("HTTP/1.0") == 0 && NamesToken(response, "keep-alive");
}

int64_t KvOriginKeepAliveMs(const KvHttpResponse& response) {
    const char* value = response.GetHeaderValue("Keep-Alive");
    if (!value) return -1;
    const char* at = strcasestr(value, "timeout=");
    if (!at) return -1;
    at += 8;
    int64_t seconds = 0;
    int digits = 0;
    for (; *at >= '0' && *at <= '9' && digits < 9; ++at, ++digits) seconds = seconds * 10 + (*at - '0');
    return digits > 0 ? seconds * 1000 : -1;
}

void KvRemoveConnectionHeaders(KvHttpBuffer& message) {
    for (const char* name : {"Connection", "Proxy-Connection", "Keep-Alive"}) KvRemoveHeaderAnyCase(message, name);
}

void KvSetConnectionHeaders(KvHttpBuffer& message, bool keep) {
    KvRemoveConnectionHeaders(message);
    message.SetHeaderValue("Connection", keep ? "keep-alive" : "close");
}

const char* KvConnectionLine(bool keep) { return keep ? "Connection: keep-alive\r\n" : "Connection: close\r\n"; }
