// Downloads for the system itself: one GET of an http or https address
// (see KvFetch.h for redirects, proxies, TLS, decoding and limits).
//
// The request carries "Referer" (the given one, or the address itself),
// "Connection: close", one "Accept", "Accept-Language", the configured
// "User-Agent", "Host" (with the port only when it is not the default)
// and "Accept-Encoding: gzip".
//
// A host inside this machine or a private network is refused unless the
// settings trust it (KvFetchRequest::outsideOnly).
//
// Any thread may download; nothing is shared between calls.
#pragma once

#include "base/platform/CString.h"

class KvGenBuffer;

// TRUE when an answer arrived, whatever its status; its body is then in
// `out` (which takes the body's memory). FALSE for an unusable or local
// address, a failed connection or certificate, a time-out or a body over
// the limit. `viaLocalProxy`: plain http through this system's listener.
int DownloadToBuffer(const char* url, KvGenBuffer& out, int viaLocalProxy, const char* referer);
// The same with the body as text.
int DownloadToString(const char* url, CString& out, int viaLocalProxy, const char* referer);

// The same download for callers that report what happened: the status of
// the answer (0 when none came) and, on failure, why.
struct KvDownloadOutcome {
    int status = 0;
    CString error;
    CString finalUrl;  // the address that answered, after redirects
};
int KvDownloadToString(const char* url, CString& out, int viaLocalProxy, const char* referer,
                       KvDownloadOutcome& outcome);
