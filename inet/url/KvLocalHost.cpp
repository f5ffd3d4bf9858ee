#include "inet/url/KvLocalHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace {

bool EndsWith(const CString& text, const char* tail) {
    const int n = (int)std::strlen(tail);
    return text.GetLength() >= n && text.Right(n) == tail;
}

bool IsLocalIPv4(uint32_t ip) {
    const uint32_t a = ip >> 24, b = (ip >> 16) & 0xFF;
    return a == 127 || a == 10 || a == 0 || (a == 172 && (b & 0xF0) == 16) || (a == 192 && b == 168) ||
           (a == 169 && b == 254);
}

}  // namespace

CString KvWebAddressHost(const char* url) {
    CString text(url ? url : "");
    const int scheme = text.Find("://");
    if (scheme < 0) return CString();
    CString rest = text.Mid(scheme + 3);
    int end = 0;
    while (end < rest.GetLength() && rest[end] != '/' && rest[end] != '?' && rest[end] != '#') ++end;
    CString authority = rest.Left(end);
    const int at = authority.ReverseFind('@');
    if (at >= 0) authority = authority.Mid(at + 1);
    CString host;
    if (authority.Left(1) == "[") {
        const int close = authority.Find(']');
        host = close > 0 ? authority.Mid(1, close - 1) : CString();
    } else {
        const int colon = authority.Find(':');
        host = colon >= 0 ? authority.Left(colon) : authority;
    }
    host.MakeLower();
    // A final dot names the same host.
    while (host.Right(1) == ".") host = host.Left(host.GetLength() - 1);
    return host;
}

bool KvIsLocalHost(const char* hostText) {
    CString host(hostText ? hostText : "");
    host.MakeLower();
    if (host.IsEmpty()) return true;
    if (host == "localhost" || EndsWith(host, ".localhost") || EndsWith(host, ".local") ||
        EndsWith(host, ".home.arpa")) {
        return true;
    }
    in_addr v4{};
    if (inet_aton(host.c_str(), &v4) != 0) return IsLocalIPv4(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6) || IN6_IS_ADDR_UNSPECIFIED(&v6) || IN6_IS_ADDR_LINKLOCAL(&v6)) return true;
    if ((v6.s6_addr[0] & 0xFE) == 0xFC) return true;  // unique local
    if (IN6_IS_ADDR_V4MAPPED(&v6) || IN6_IS_ADDR_V4COMPAT(&v6)) {
        const uint32_t ip = ((uint32_t)v6.s6_addr[12] << 24) | ((uint32_t)v6.s6_addr[13] << 16) |
                            ((uint32_t)v6.s6_addr[14] << 8) | v6.s6_addr[15];
        return IsLocalIPv4(ip);
    }
    return false;
}
