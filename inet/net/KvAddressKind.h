// Whether an IP address lies inside this machine or a private network:
// loopback, private, link-local or unspecified. The system's own downloads
// of addresses that a site's member typed refuse such addresses, so a form
// cannot make KvProxy fetch from inside.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

// 127.0.0.0/8, 10/8, 172.16/12, 192.168/16, 169.254/16 and 0.0.0.0/8; `ip`
// in host byte order.
bool KvIsInternalIPv4(uint32_t ip);
// ::1, ::, fe80::/10, fc00::/7, and IPv4 addresses mapped or embedded
// (::ffff:a.b.c.d, ::a.b.c.d) judged as IPv4.
bool KvIsInternalIPv6(const in6_addr& ip);
// Either family; false for any other.
bool KvIsInternalAddress(const sockaddr* addr);
