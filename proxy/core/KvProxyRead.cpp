// KvProxyRequest: reading the browser's request.
#include <strings.h>

#include <cstring>

#include "base/thread/KvThread.h"
#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpSyntax.h"
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyKeepAlive.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvWebModShared.h"

namespace {

// A body up to this size is read before the origin is contacted (the
// local sites and a retry need it whole); a larger one is streamed.
constexpr int64_t kBodyReadLimit = 8 << 20;
// A local site's largest upload and room for the form around it.
constexpr int64_t kLocalBodyLimit = kvmod::kMaxUploadBytes + (1 << 20);

// The message names a transfer coding ("Transfer-Encoding" with a value).
bool HasTransferCoding(const KvHttpBuffer& message) {
    bool any = false;
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (any || strcasecmp(item->GetKey(), "Transfer-Encoding") != 0) return;
        for (const char* p = item->GetValue(); *p && !any; ++p) any = *p != ' ' && *p != '\t';
    });
    return any;
}

// A framing header without a value: one server takes it as absent, another
// as broken, so the two would find different ends of the body.
bool HasEmptyFramingHeader(const KvHttpBuffer& message) {
    bool empty = false;
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        const char* name = item->GetKey();
        if (strcasecmp(name, "Transfer-Encoding") != 0 && strcasecmp(name, "Content-Length") != 0) return;
        const char* p = item->GetValue();
        while (*p == ' ' || *p == '\t') ++p;
        empty = empty || !*p;
    });
    return empty;
}

// The request line and header lines have one reading only: anything else
// is refused rather than forwarded to a server that may read it otherwise.
bool IsWellFormedHead(const KvHttpRequest& request) {
    return KvIsWellFormedRequestLine(request.m_strRequestLine.view()) && request.m_nMalformedFields == 0 &&
           !HasEmptyFramingHeader(request);
}

}  // namespace

int KvProxyRequest::ReadClientRequest() {
    int head = m_request.ReceiveHeader(&m_comClient);
    if (head < 0) {
        // A connection that closes (or stays silent) before its first byte
        // is a browser's spare connection: closed without a word.
        if (head == KV_COM_CLOSED || head == KV_COM_TIMEOUT) return 0;
        if (head == KV_HTTP_BAD_HEADER) return RefuseRequest(400);
        return ResponseError(503);
    }
    if (m_request.m_strRequestLine.IsEmpty() || !IsWellFormedHead(m_request)) return RefuseRequest(400);
    // The server's keep-alive setting off ([Proxy] KeepAliveTimeout=0):
    // every answer closes the connection, whatever the browser asks.
    m_bClientKeep = IsKeepAlive() && KvClientAsksToKeep(m_request) ? 1 : 0;
    return ReadClientBody();
}

int KvProxyRequest::RefuseRequest(int code) {
    LogAccess(code, 0);
    return ResponseError(code);
}

int KvProxyRequest::ReadClientBody() {
    m_planRequestBody = KvRequestBodyPlan(m_request);
    if (HasTransferCoding(m_request)) {
        // Only chunks frame a request body a server can find the end of;
        // anything else would leave the origin guessing where it ends.
        if (m_planRequestBody.framing != KvBodyFraming::Chunked) {
            m_planRequestBody = KvBodyPlan{};
            return RefuseRequest(400);
        }
        // The chunks decide: a "Content-Length" beside them could make the
        // origin read the body (and what follows it) another way.
        KvRemoveHeaderAnyCase(m_request, "Content-Length");
    }
    if (m_planRequestBody.framing == KvBodyFraming::None) return 1;
    // Until it is read to its end, the connection cannot carry another request.
    m_bBodyInClient = 1;

    const char* expect = m_request.GetHeaderValue("Expect");
    if (expect && strcasestr(expect, "100-continue")) {
        if (m_request.m_strVersion.CompareNoCase("HTTP/1.0") != 0) {
            // The browser holds its body back until it is asked for it: the
            // origin decides, so the expectation goes on with the head and
            // the body stays in the connection until the origin's word.
            m_bAwaitContinue = 1;
            return 1;
        }
        // An HTTP/1.0 browser expects no interim answer, nor do we send one.
        KvRemoveHeaderAnyCase(m_request, "Expect");
    }
    return ReadPlannedBody();
}

int KvProxyRequest::ReadPlannedBody() {
    if (m_planRequestBody.framing != KvBodyFraming::Length || m_planRequestBody.length > kBodyReadLimit) {
        return 1;  // streamed to the origin by the relay
    }
    return ReceivePlannedBody();
}

int KvProxyRequest::ReceivePlannedBody() {
    // Exactly Content-Length bytes, however many segments they come in.
    int64_t got = m_request.ReceiveBody(&m_comClient, m_planRequestBody.length);
    if (got == m_planRequestBody.length) {
        m_planRequestBody = KvBodyPlan{};
        m_bBodyInClient = 0;
        return 1;
    }
    if (got == KV_COM_CLOSED || got == 0) return 0;  // the browser left
    if (got == KV_COM_TIMEOUT && IsCurrentThreadStopped()) return 0;
    return RefuseRequest(got == KV_COM_TIMEOUT ? 504 : 503);
}

int KvProxyRequest::ReadBodyForLocalSite() {
    if (!ReadHeldBackBody()) return 0;
    if (m_planRequestBody.framing != KvBodyFraming::Length) return 1;  // read, or none
    if (m_planRequestBody.length > kLocalBodyLimit) return RefuseRequest(413);
    return ReceivePlannedBody();
}

void KvProxyRequest::LogAccess(int status, int64_t bytes) {
    m_nAccessStatus = status;
    m_nAccessBytes += bytes;
}

void KvProxyRequest::WriteAccessLine() {
    if (m_nAccessStatus == 0 && m_nAccessBytes == 0) return;
    const int status = m_nAccessStatus ? m_nAccessStatus : m_response.m_nStatus;
    const CString& line = m_request.m_strOrgRequestLine;
    LogError(KV_LOG_ACCESS, "%s - - [%T] \"%s\" %d %ld", GetClientIPAddr().c_str(),
             line.IsEmpty() ? " " : line.c_str(), status, (long)m_nAccessBytes);
    m_nAccessStatus = 0;
    m_nAccessBytes = 0;
}
