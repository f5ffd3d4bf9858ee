// When the proxy's own error page takes the place of an origin's error
// answer ([Proxy] ErrorPages).
//
// The page is for a person looking at a page. Programs read the origin's
// answer itself: a 416's "Content-Range", a 429's "Retry-After" and its
// JSON body, a 401's challenge. So by default the page replaces only the
// HTML (or empty) error answer to a browser's page load, and every other
// error answer passes unchanged.
//
// Pure functions over their arguments: any thread may call them.
#pragma once

class KvHttpRequest;
class KvHttpResponse;

enum class KvErrorPages {
    Browser,  // a page load (Accept names text/html) whose error body is HTML or empty
    All,      // every origin answer of status 400 or more
    None,     // never: error answers pass as the origin sent them
};

// The mode a configuration value names ("browser", "all", "none", letter
// case ignored); false for any other text.
bool KvParseErrorPages(const char* value, KvErrorPages& mode);

// The request's "Accept" headers name text/html (with a quality above 0).
bool KvAcceptsHtml(const KvHttpRequest& request);

// The origin's error answer (status 400 or more, head read) is replaced
// by the proxy's own page under `mode`.
bool KvShowsOwnErrorPage(KvErrorPages mode, const KvHttpRequest& request, const KvHttpResponse& response);
