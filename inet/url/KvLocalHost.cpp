#include "inet/url/KvLocalHost.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "inet/net/KvAddressKind.h"

namespace {

bool EndsWith(const CString& text, const char* tail) {
    const int n = (int)std::strlen(tail);
    return text.GetLength() >= n && text.Right(n) == tail;
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
    if (inet_aton(host.c_str(), &v4) != 0) return KvIsInternalIPv4(ntohl(v4.s_addr));
    in6_addr v6{};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && KvIsInternalIPv6(v6);
}
