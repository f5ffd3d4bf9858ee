// TqParseURL: splits an absolute URL into scheme, host, path and port.
//
// The scheme is recognised by a fixed table of prefixes ("http://", "ftp://",
// "file://", ...), compared exactly and case-sensitively; the first prefix
// the URL starts with wins. There is no entry for "https://". Reentrant.
#pragma once

#include "base/platform/CString.h"

// Scheme ids of the table; 0 means no scheme.
enum KvUrlScheme {
    kvSchemeNone = 0,
    kvSchemeFtp = 1,
    kvSchemeHttp = 2,  // "http://" and "shttp://"
    kvSchemeGopher = 3,
    kvSchemeFile = 4,
    kvSchemeMailto = 5,
    kvSchemeNews = 6,
    kvSchemeNntp = 7,
    kvSchemeTelnet = 8,
    kvSchemeWais = 9,
    kvSchemeMid = 10,
    kvSchemeCid = 11,
    kvSchemeProspero = 12,
    kvSchemeAfs = 13,
};

// TRUE when `url` (leading white space skipped) starts with a prefix of the
// table. Then `scheme` is its id and `schemeText` the prefix. For "file://"
// the host is a drive ("C|" or "C:") when the rest has one, and the path the
// remainder; for the other schemes the host runs up to the first "/" and the
// path from there on, and a ":port" at the end of the host is split off.
// FALSE (outputs unspecified) for a null or blank URL, an unknown scheme, a
// port outside 0..65535, or a host with more than one colon (outside a user
// part and IPv6 brackets).
[[nodiscard]] int TqParseURL(const char* url, unsigned long& scheme, CString& schemeText, CString& host,
               CString& path, unsigned short& port);

// The table's default port of a scheme id (80 for http); 0 when it has none.
unsigned short TqSchemeDefaultPort(unsigned long scheme);

// The table's prefix of a scheme id ("http://"); empty for an unknown id.
const char* TqSchemePrefix(unsigned long scheme);
