#include "proxy/cache/KvCacheKey.h"

#include <cctype>
#include <cstring>
#include <string>

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

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
}

// Characters that stand in a URL as they are: the unreserved and the
// reserved ones (delimiters, whose escaped form means something else).
bool StandsAsItIs(unsigned char c) {
    return c < 0x80 && (IsUnreserved(c) || std::strchr(":/?#[]@!$&'()*+,;=", c) != nullptr) && c != 0;
}

void PutEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
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
    if (port != 0 && port != 80) keyHost.Format("%s:%u", urlHost.c_str(), (unsigned)port);
    KvCacheKeyFromParts(keyHost, urlPath, host, path);
    return true;
}

void KvCacheKeyFromParts(const char* host, const char* rawPath, CString& keyHost, CString& keyPath) {
    keyHost = KvCacheKeyHost(host);
    keyPath = KvCacheKeyPath((rawPath && *rawPath) ? rawPath : "/");
}

CString KvCacheKeyPath(const char* rawPath) {
    std::string out;
    const char* p = rawPath ? rawPath : "";
    out.reserve(std::strlen(p) + 8);
    for (; *p; ++p) {
        const unsigned char c = (unsigned char)*p;
        if (c == '%') {
            const int hi = StrHexDigitValue(p[1]);
            const int lo = hi >= 0 ? StrHexDigitValue(p[2]) : -1;
            if (lo < 0) {
                PutEscaped(out, '%');  // a stray "%" stands for itself
                continue;
            }
            const unsigned char value = (unsigned char)(hi * 16 + lo);
            if (IsUnreserved(value)) out.push_back((char)value);
            else PutEscaped(out, value);
            p += 2;
        } else if (StandsAsItIs(c)) {
            out.push_back((char)c);
        } else {
            PutEscaped(out, c);
        }
    }
    return CString(std::move(out));
}
