#include "proxy/cache/KvCacheKey.h"

#include <cctype>
#include <cstring>

#include "base/str/StrFunc.h"
#include "inet/url/TqParseURL.h"

namespace {

const char kHttpPrefix[] = "http://";
constexpr size_t kHttpPrefixLength = sizeof(kHttpPrefix) - 1;

bool StartsWithHttp(const char* url) {
    for (size_t i = 0; i < kHttpPrefixLength; ++i) {
        if (std::tolower((unsigned char)url[i]) != kHttpPrefix[i]) return false;
    }
    return true;
}

}  // namespace

CString KvCacheKeyHost(const char* host) {
    CString key(host ? host : "");
    key.MakeLower();
    return key;
}

bool KvCacheKeyFromUrl(const char* url, CString& host, CString& path) {
    host.Empty();
    path.Empty();
    if (!url) return false;
    while (*url && std::isspace((unsigned char)*url)) ++url;
    if (!StartsWithHttp(url)) return false;

    // The scheme table is case-sensitive: hand it the canonical prefix.
    CString canonical(kHttpPrefix);
    canonical += url + kHttpPrefixLength;
    unsigned long scheme = 0;
    unsigned short port = 0;
    CString schemeText, urlHost, urlPath;
    if (!TqParseURL(canonical, scheme, schemeText, urlHost, urlPath, port)) return false;
    if (scheme != kvSchemeHttp) return false;

    int at = urlHost.ReverseFind('@');
    if (at >= 0) urlHost = urlHost.Mid(at + 1);
    if (urlHost.IsEmpty()) return false;
    CString keyHost = urlHost;
    if (port != 0) keyHost.Format("%s:%u", urlHost.c_str(), (unsigned)port);
    KvCacheKeyFromParts(keyHost, urlPath, host, path);
    return true;
}

void KvCacheKeyFromParts(const char* host, const char* rawPath, CString& keyHost, CString& keyPath) {
    keyHost = KvCacheKeyHost(host);
    keyPath = (rawPath && *rawPath) ? rawPath : "/";
    StrUnEscape(&keyPath);
}
