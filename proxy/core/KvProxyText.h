// Text helpers of the proxy pipeline: the URL suffixes, the request target
// sent upstream, HTML-safe values for the proxy's own pages, and the
// header names that never cross the proxy.
//
// Pure functions over their arguments: any thread may call them.
#pragma once

#include <cstdarg>

#include "base/platform/CString.h"

class KvHttpBuffer;

// The suffix flags a request target may end with.
enum KvProxySuffix {
    kvSuffixNone = 0,
    kvSuffixForce = 1,   // "$force": fetch again, whatever the cache holds
    kvSuffixDelete = 2,  // "$delete": remove the cached answer
    kvSuffixBypass = 3,  // "$bypass"
};

// Looks at the tail of `uri` from its first "$". When that whole tail is
// exactly "$force", "$delete" or "$bypass" it is cut off and its flag
// returned; any other tail stays and the result is kvSuffixNone.
KvProxySuffix KvProxyCutSuffix(CString& uri);

// The target to put on the upstream request line. For a request to the
// origin (`absolute` false) the path and query of `rawUri` as the browser
// sent them ("/" when the URI names none); for the forward proxy the whole
// absolute URI. Only bytes outside 0x21-0x7E are escaped ("%XX"), so
// "%2F", "%26", "+" and the like reach the server unchanged.
CString KvProxyUpstreamTarget(const char* rawUri, bool absolute);

// Text made safe for a proxy page: "&", "<", ">", '"' and "'" become
// entities, and "{" and "}" become "&#123;" and "&#125;" so that the
// template engine never expands a placeholder hidden in a request.
CString KvProxyHtmlText(const char* text);

// printf-style formatting in which every "%s" argument is passed through
// KvProxyHtmlText (numbers and the format's own text are written as they
// are). Understands the flags, width, precision and the length modifiers
// of the integer, character, string and floating-point conversions.
CString KvProxyFormatHtml(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Header names that belong to one connection ("Connection",
// "Proxy-Connection", "Keep-Alive", "TE", "Upgrade"), compared without
// case, and names listed in a "Connection" header of the message.
// ("Trailer" is not among them: it announces the trailer fields of a
// chunked body, which the relay passes on with the body.)
bool KvIsHopByHopHeader(const char* name);
bool KvIsListedInConnection(const KvHttpBuffer& message, const char* name);
// A comma-separated list in a header of that name (any of them, any
// letter case) holds the token (compared without case, blanks trimmed).
bool KvHeaderListsToken(const KvHttpBuffer& message, const char* header, const char* token);

// Removes every header of that name, whatever its letter case.
void KvRemoveHeaderAnyCase(KvHttpBuffer& message, const char* name);

// "host:port" or "[v6]:port" of a CONNECT target; false when there is no
// usable host or port (1-65535).
bool KvSplitAuthority(const char* authority, CString& host, int& port);

// True when `port` appears in a list such as "443, 8443" (blanks, commas
// or semicolons between the numbers).
bool KvPortInList(const char* list, int port);
