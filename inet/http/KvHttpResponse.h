// KvHttpResponse: an HTTP response: the status line, and the operations
// that complete a response the system builds itself (default headers,
// dates, local files, the "not modified" answer).
//
// Finish always writes the version "HTTP/1.0" and the emulated server
// headers; a caller that wants the system's own server name calls
// SetKvProxyAsServer after Finish.
#pragma once

#include "base/platform/CString.h"
#include "inet/http/KvHttpBuffer.h"

class KvTime;

class KvHttpResponse : public KvHttpBuffer {
    DECLARE_DYNCREATE(KvHttpResponse)
public:
    KvHttpResponse();
    ~KvHttpResponse() override;

    // Also empties the version and status text and clears m_bCacheable.
    void Reset() override;
    // "HTTP/1.1 200 OK": version, status text, status code. 0.
    [[nodiscard]] int ParseFirstLineHeader(char* line) override;
    // The status text begins with exactly three digits (then a blank or
    // nothing), as a status line must.
    bool HasThreeDigitStatus() const;
    int SendFirstLineHeader(KvComObject* con) override;
    int TransferFirstLineHeaderTo(KvGenBuffer* buf) override;

    // Version "HTTP/1.0", status "200 OK" when none, the emulated server
    // headers, then (each only when absent) "Content-Length" (the body
    // size), "Content-Type" ("text/html") and the dates: "Date" and
    // "Last-Modified" now, or for a cacheable response "Date" now, a fixed
    // "Last-Modified" and "Expires" in ten minutes. FALSE when a header
    // cannot be added.
    int Finish();
    // A bodiless "304 Not Modified" answer with the given modification time.
    int NotModifiedResponse(KvTime& lastModified);
    // The whole file as the body with its content type, modification time
    // and a far expiry, then Finish. FALSE (the response unchanged) for a
    // missing or unreadable file.
    int CreateFromLocalFile(const char* path);
    // Headers that keep browsers and proxies from storing the answer.
    int SetDynamicContent();
    int EmulateApacheHeader();
    int SetKvProxyAsServer();

    CString m_strStatus;        // status code and reason phrase, e.g. "200 OK"
    BOOL m_bCacheable = FALSE;  // chooses the date headers Finish adds
    CString m_strExtra;         // for the proxy's use
};
