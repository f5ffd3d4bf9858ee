#include "proxy/core/KvProxyLoop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "inet/http/KvHttpBuffer.h"

using namespace std::string_view_literals;

namespace {

CString MakeToken() {
    std::random_device source;
    CString token;
    token.Format("kvproxy-%08x%08x", (unsigned)source(), (unsigned)source());
    return token;
}

bool IsWildcard(std::string_view address) {
    return address.empty() || address == "*"sv || address == "0.0.0.0"sv || address == "::"sv || address == "[::]"sv;
}

bool IsNumericAddress(const std::string& text) {
    in6_addr any;
    return inet_pton(AF_INET, text.c_str(), &any) == 1 || inet_pton(AF_INET6, text.c_str(), &any) == 1;
}

bool IsLoopback(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET) {
        return (ntohl(reinterpret_cast<const sockaddr_in&>(addr).sin_addr.s_addr) >> 24) == 127;
    }
    if (addr.ss_family == AF_INET6) return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr);
    return false;
}

int PortOf(const sockaddr_storage& addr) {
    if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(addr).sin_port);
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(addr).sin6_port);
    return 0;
}

bool SameAddress(const sockaddr_storage& a, const sockaddr_storage& b) {
    if (a.ss_family != b.ss_family) return false;
    if (a.ss_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in&>(b).sin_addr.s_addr;
    }
    if (a.ss_family == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                           &reinterpret_cast<const sockaddr_in6&>(b).sin6_addr, sizeof(in6_addr)) == 0;
    }
    return false;
}

// The address as text, for comparing with the configured one.
CString AddressText(const sockaddr_storage& addr) {
    char text[INET6_ADDRSTRLEN] = "";
    if (addr.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(addr).sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(addr).sin6_addr, text, sizeof text);
    }
    return CString(text);
}

// Whether a "Via" value lists `token` as the received-by of an entry
// ("1.1 kvproxy-..., 1.0 other (comment)").
bool ListsToken(std::string_view value, std::string_view token) {
    size_t at = 0;
    while ((at = value.find(token, at)) != std::string_view::npos) {
        const bool startsWord = at > 0 && (value[at - 1] == ' ' || value[at - 1] == '\t');
        const size_t end = at + token.size();
        const bool endsWord = end == value.size() || value[end] == ',' || value[end] == ' ' || value[end] == '\t';
        if (startsWord && endsWord) return true;
        at = end;
    }
    return false;
}

}  // namespace

const CString& KvProxyViaToken() {
    static const CString token = MakeToken();
    return token;
}

CString KvProxyViaEntry(const char* requestVersion) {
    const bool old = requestVersion && strcasecmp(requestVersion, "HTTP/1.0") == 0;
    return CString(old ? "1.0 " : "1.1 ") + KvProxyViaToken();
}

bool KvHasOwnVia(const KvHttpBuffer& message) {
    bool found = false;
    const std::string_view token = KvProxyViaToken().view();
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (!found && strcasecmp(item->GetKey(), "Via") == 0) found = ListsToken(item->GetValue(), token);
    });
    return found;
}

bool KvIsOwnListener(int fd, int listenPort, const char* listenAddress) {
    sockaddr_storage peer{}, local{};
    socklen_t peerLength = sizeof peer, localLength = sizeof local;
    if (fd < 0 || listenPort <= 0) return false;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return false;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0) return false;
    if (PortOf(peer) != listenPort) return false;
    std::string configured(listenAddress ? listenAddress : "");
    if (configured.size() > 2 && configured.front() == '[') configured = configured.substr(1, configured.size() - 2);
    if (!IsWildcard(configured) && IsNumericAddress(configured)) return AddressText(peer).view() == configured;
    // Every local address may be ours (a wildcard, or a name such as
    // "localhost"): the loopback ones, and an address of this machine (the
    // connection then starts from that same address).
    return IsLoopback(peer) || SameAddress(peer, local);
}
