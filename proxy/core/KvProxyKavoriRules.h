// The rules of the full decision path, apart from the sockets: which
// redirect shortcut a URL takes, what the pop-up filter and the black list
// say, whether the cache may be used, the "Cache Deleted" page and the URL
// under which a tunnel is judged.
//
// Functions over their arguments and the application's prepared lists:
// any request thread may call them.
#pragma once

#include <cstddef>

#include "base/platform/CString.h"

class KvWebProxyApp;
struct KvKavoriSettings;

// URLs this long or longer are never cached (nor tested against the
// no-cache list).
constexpr int KV_LONG_URL = 256;

// Which redirect shortcut a URL begins with (prefixes compared with case).
enum class KvShortcut { None, Zu, Stars };
KvShortcut KvFindShortcut(const char* url, const KvKavoriSettings& settings);

// The target of a result redirector: everything after a "**" that stands
// at position 1 or later, URL-decoded. False when there is none, or when
// the target is empty or holds a control byte (it goes into a header).
bool KvStarRedirectTarget(const char* url, CString& target);
// A "zu" value usable as a redirect target: non-empty, no control byte.
bool KvIsRedirectTarget(const char* target);

// The verdict of the pop-up filter and the black list on a URL.
struct KvListVerdict {
    int code = 0;         // 0 pass, 904 pop-up filter, 903 black list
    CString matchedRule;  // the black-list rule, for the 903 page
};
// A white-listed URL (or one with a referer on the portal's domain) and a
// forced one pass; otherwise the pop-up filter, then the black list. Each
// list is tried on the URL as received and on its canonical form
// (KvCanonicalUrl).
KvListVerdict KvJudgeByLists(KvWebProxyApp& app, const char* url, const char* referer, bool forced);

// True when the answer must come from the origin and stay out of the
// cache: the "$bypass" suffix, a long URL, the custom-search prefix, or a
// URL on the no-cache list.
bool KvIsCacheBypassed(KvWebProxyApp* app, const KvKavoriSettings& settings, const CString& url, bool bypassFlag);

// The body of the "Cache Deleted" page: `url` shown, `link` (the address
// to fetch again) in the link, both HTML-escaped.
CString KvCacheDeletedBody(const char* url, const char* link);

// "https://" + host + "/" (with ":port" when it is not 443): how a CONNECT
// target meets the lists.
CString KvTunnelUrl(const char* host, int port);
