// The key under which a URL's answer is kept in a cache store.
//
// Every store operation that starts from a URL, or from the host and path
// of a request, derives its key here, so storing, reading and deleting
// always agree:
//   host  the host name in lower case (a user part "user@" dropped),
//         followed by ":" and the port when the URL names a port other
//         than 80 ("example.com:8080"); "example.com:80" is "example.com".
//   path  everything from the first "/" after the host (query included),
//         "/" when there is none, in the normal form of its escapes: an
//         escaped unreserved character (letter, digit, "-", ".", "_", "~")
//         is decoded, every other escape stays escaped with upper-case hex
//         digits, and a byte that may not stand in a URL as it is (a blank,
//         a control byte, a byte past 0x7E, a "%" that begins no escape) is
//         escaped. So "?q=a%26b" and "?q=a&b", or "/a%2Fb" and "/a/b", are
//         different keys, while "/%7Euser" and "/~user" are one. Letter case
//         of the path counts.
// Only the http scheme has keys (the prefix compared without letter case).
//
// The store operations that take (host, path) directly expect a key; the
// host is lower-cased again there (harmless). Pure functions, callable
// from any thread.
#pragma once

#include "base/platform/CString.h"

// Key of an absolute "http://" URL as the browser sent it. False (and both
// outputs empty) for another scheme, a missing host or a bad port.
bool KvCacheKeyFromUrl(const char* url, CString& host, CString& path);

// Key of a request's host (with ":port" when the caller wants the port in
// the key) and its path as received (still escaped).
void KvCacheKeyFromParts(const char* host, const char* rawPath, CString& keyHost, CString& keyPath);

// The normal form of a path's escapes (see above).
CString KvCacheKeyPath(const char* rawPath);

// The host part of a key: lower-cased.
CString KvCacheKeyHost(const char* host);
