// Whether a web address points at this machine or a private network, for
// addresses that come from a request (a user's template) and must not make
// KvProxy fetch from inside.
#pragma once

#include "base/platform/CString.h"

// The host of an "http://" or "https://" address, lower-cased, without
// user, port or IPv6 brackets; empty when there is none.
CString KvWebAddressHost(const char* url);

// True for local names ("localhost", "*.localhost", "*.local",
// "*.home.arpa") and for literal addresses that are loopback, private,
// link-local or unspecified: 127.0.0.0/8, 10/8, 172.16/12, 192.168/16,
// 169.254/16, 0.0.0.0/8, and ::1, ::, fc00::/7, fe80::/10 and IPv4 mapped
// into IPv6. IPv4 is read in every form the resolver accepts ("127.1",
// "2130706433", "0x7f.1").
bool KvIsLocalHost(const char* host);
