#include "inet/net/KvAddressKind.h"

bool KvIsInternalIPv4(uint32_t ip) {
    const uint32_t a = ip >> 24, b = (ip >> 16) & 0xFF;
    return a == 127 || a == 10 || a == 0 || (a == 172 && (b & 0xF0) == 16) || (a == 192 && b == 168) ||
           (a == 169 && b == 254);
}

bool KvIsInternalIPv6(const in6_addr& ip) {
    if (IN6_IS_ADDR_LOOPBACK(&ip) || IN6_IS_ADDR_UNSPECIFIED(&ip) || IN6_IS_ADDR_LINKLOCAL(&ip)) return true;
    if ((ip.s6_addr[0] & 0xFE) == 0xFC) return true;  // unique local
    if (IN6_IS_ADDR_V4MAPPED(&ip) || IN6_IS_ADDR_V4COMPAT(&ip)) {
        const uint32_t v4 = ((uint32_t)ip.s6_addr[12] << 24) | ((uint32_t)ip.s6_addr[13] << 16) |
                            ((uint32_t)ip.s6_addr[14] << 8) | ip.s6_addr[15];
        return KvIsInternalIPv4(v4);
    }
    return false;
}

bool KvIsInternalAddress(const sockaddr* addr) {
    if (!addr) return false;
    if (addr->sa_family == AF_INET) {
        return KvIsInternalIPv4(ntohl(reinterpret_cast<const sockaddr_in*>(addr)->sin_addr.s_addr));
    }
    if (addr->sa_family == AF_INET6) return KvIsInternalIPv6(reinterpret_cast<const sockaddr_in6*>(addr)->sin6_addr);
    return false;
}
