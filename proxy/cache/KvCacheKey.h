// The key under which a URL's answer is kept in a cache store.
//
// Every store operation that starts from a URL, or from the host and path
// of a request, derives its key here, so storing, reading and deleting
// always agree:
//   host  the host name in lower case (a user part "user@" dropped),
//         followed by ":" and the port when the URL names a non-zero port
//         ("example.com:8080"); the same URL without a port is another key.
//   path  everything from the first "/" after the host (query included),
//         "/" when there is none, un-escaped exactly once ("%XX" to the
//         byte, "+" to a blank).
// Only the http scheme has keys (the prefix compared without letter case).
//
// The store operations that take (host, path) directly expect a key, i.e.
// a path that was already un-escaped; the host is lower-cased again there
// (harmless). Pure functions, callable from any thread.
#pragma once

#include "base/platform/CString.h"

// Key of an absolute "http://" URL as the browser sent it. False (and both
// outputs empty) for another scheme, a missing host or a bad port.
bool KvCacheKeyFromUrl(const char* url, CString& host, CString& path);

// Key of a request's host (with ":port" when the caller wants the port in
// the key) and its path as received (still escaped).
void KvCacheKeyFromParts(const char* host, const char* rawPath, CString& keyHost, CString& keyPath);

// The host part of a key: lower-cased.
CString KvCacheKeyHost(const char* host);
