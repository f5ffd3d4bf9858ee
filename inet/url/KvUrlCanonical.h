// One spelling per address: absolute URLs split into their parts and
// written in a canonical form, so that rules written for one spelling of
// an address also meet its others ("host:0080", "HTTP://", "//a/./b").
//
// Pure functions over their arguments: any thread may call them.
#pragma once

#include <string_view>

#include "base/platform/CString.h"

// The parts of an absolute URL "scheme://[user@]host[:port][/path][?query]".
struct KvUrlParts {
    CString scheme;  // lower case, without "://"
    CString host;    // lower case, without the user part and a final "."
                     // (an IPv6 address keeps its brackets)
    int port = 0;    // the number written, or the scheme's default (0 when it has none)
    bool portWritten = false;  // the URL names a port
    CString path;    // path and query as written, fragment dropped; "/" when the URL names none
};

// Splits an absolute URL. False without a scheme followed by "://", without
// a host, or with a port that is not a decimal number from 1 to 65535
// (leading zeros are read as a number: "028080" is 28080).
bool KvSplitUrl(std::string_view url, KvUrlParts& parts);

// The path with repeated slashes collapsed and "." and ".." segments
// removed, the query (from the first "?") left as it is; "/" when empty.
CString KvCanonicalPath(std::string_view path);

// "scheme://host[:port]" + canonical path: scheme and host lower-cased,
// user part dropped, the port as a number and left out when it is the
// scheme's default. Empty when the URL does not split.
CString KvCanonicalUrl(std::string_view url);

// The default port of a scheme name in lower case (http 80, https 443,
// ftp 21); 0 for others.
int KvSchemeDefaultPort(std::string_view scheme);

// A reference (such as a "Location" value) resolved against an absolute
// base URL: absolute references as they are, "//host/x" with the base's
// scheme, "/x" on the base's authority, "?q" on the base's path, "x" and
// "../x" beside the base's last segment, "" and "#f" the base itself (its
// fragment dropped). Dot segments are left for KvCanonicalUrl. Empty when
// the base does not split.
CString KvResolveUrl(std::string_view base, std::string_view reference);
