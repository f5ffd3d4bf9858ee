// Addresses as the download client reads them.
//
// The client speaks http and https only; every other scheme is refused
// before any connection. References found in answers (a redirect's
// Location, a feed item's link) are resolved against the address they
// came from the way browsers do: "//host/x", "/x", "x", "?q", "#f".
#pragma once

#include "base/platform/CString.h"

struct KvFetchTarget {
    bool https = false;
    CString host;       // without brackets for IPv6, lower case
    int port = 0;       // the scheme's default when the address names none
    CString pathQuery;  // "/" at least; the fragment is dropped
};

// Splits an absolute http or https address. False for any other scheme,
// an empty or malformed host, or a port outside 1..65535.
bool KvSplitFetchUrl(const char* url, KvFetchTarget& out);

// "host", "host:8080" or "[::1]:8443": the host as a request's "Host"
// header names it, the port only when it is not the scheme's default.
CString KvHostHeader(const KvFetchTarget& target);
// "host:port" with IPv6 in brackets (a CONNECT target).
CString KvHostPort(const KvFetchTarget& target);
// The absolute address again (scheme, host header form, path and query).
CString KvFetchUrlText(const KvFetchTarget& target);

// `ref` resolved against the absolute address `base` (any scheme with
// "//"); an absolute `ref` is returned as it is (blanks trimmed). Empty
// when neither gives an absolute address.
CString KvResolveReference(const char* base, const char* ref);
