// KvProxyRequest: the worker thread that serves one browser connection of
// the proxy (KvProxyServer hands the connections out).
//
// For each request read from the browser the worker either answers it
// itself (ResponseLocal, which a derived request fills with the local
// sites, the lists and the cache) or forwards it to the origin server,
// directly or through the configured upstream ("forward") proxy, and
// relays the answer back unchanged while keeping a copy of the body for
// the cache. Errors are answered with the proxy's error page. A browser
// connection carries exchanges one after the other while the browser asks
// for it and every answer's end is known without a close (see
// KvProxyKeepAlive.h); each answer's head says whether it stays open.
//
// The request target sent upstream is the browser's own (after the
// "$force", "$delete" and "$bypass" suffixes are cut), escaped only where
// a byte is outside 0x21-0x7E; the decoded URL (m_strURL) serves the
// lists, the local sites, the cache keys and the log.
//
// With "[Proxy] Tunnel=1" a CONNECT to an allowed port is answered
// "200 Connection established" and bytes then flow both ways unchanged.
//
// Every operation runs on the request's own thread; a request object
// serves one connection at a time. The application (KvWebProxyApp) is
// read for its configuration and told whether connects succeed.
#pragma once

#include <cstdint>
#include <string>

#include "base/str/KvString.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/server/KvSocketRequest.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvProxyBody.h"
#include "proxy/core/KvProxyExchange.h"

class KvParseImp;
class KvWebProxyApp;

// Codes of the proxy's own error pages beyond the HTTP statuses.
enum : int {
    KV_PROXY_UPSTREAM_DOWN = 901,  // the forward proxy cannot be reached (page status 500)
    KV_PROXY_NO_DOMAIN = 902,      // the origin's name does not resolve (404)
    KV_PROXY_BLOCKED = 903,        // black list (404)
    KV_PROXY_POPUP = 904,          // pop-up filter (404)
    KV_PROXY_REFUSED = 905,        // the origin refused the connection (502)
    KV_PROXY_TIMED_OUT = 906,      // the origin did not answer the connect in time (502)
    KV_PROXY_UNREACHABLE = 907,    // the origin cannot be reached otherwise (502)
};

class KvProxyRequest : public KvSocketRequest, public KvProxyExchange {
    DECLARE_DYNCREATE(KvProxyRequest)
public:
    KvProxyRequest();
    ~KvProxyRequest() override;

protected:
    BOOL InitState() override;
    // Reads one request and answers it.
    BOOL DispatchRequest() override;
    // Also frees the exchange's bodies: the run may have ended in an exception.
    BOOL CloseConnections() override;
    // The browser's connection carries a further request.
    BOOL KeepsConnection() override;

    // --- the request's own operations, in slot order ---
    // The browser's head and body; 0 when the connection is done with
    // (an answer has been sent, or the browser left without asking).
    virtual int ReadClientRequest();
    // Kept for callers that report a problem in words: does nothing, 1.
    virtual int ResponseError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // The error page for a code (see ResponseError in KvProxyPages.cpp); 0.
    virtual int ResponseError(int code);
    virtual int ResponseHelloWorld();
    // Status line and headers of a locally built answer whose body is in
    // the response buffer; sends nothing. 1.
    virtual int ResponseFinish(const char* contentType);
    // Answers the request without the origin; 0 here (nothing is local).
    virtual int ResponseLocal();
    // Forwards the request and relays the answer; 1 when it went through.
    virtual int ResponseForwarded();
    // An answer relayed whole, before the browser's connection is closed
    // (or left open for its next request): whatever must be done before
    // the browser can ask again. The base does nothing.
    virtual void OnAnswerRelayed() {}
    // Sets a "Referer" on search queries that lack one; not on the dispatch path.
    virtual void HyjackReferer();
    virtual int IsValidDeveloperSubDomain(const char* name);
    // A CONNECT request: the tunnel when the configuration allows it.
    virtual int ResponseTunnel();

    // --- steps ---
    void _DoDispatchRequest();
    int BreakUrlComponent(const char* url, CString& host, int& port, CString& path);
    // The connection to the origin (or the upstream proxy): one kept from
    // an earlier request when there is one, else a new one. 1, or 0 after
    // the error page.
    int ConnectRemoteHost();
    // A new connection to the endpoint ConnectRemoteHost chose; as it.
    int ConnectFresh();
    int ComposeRemoteRequest();
    // "host[:port]" of the target (the port only when it is not 80).
    CString TargetAuthority() const;
    int DoChatting();
    int ParseResponseHeader() { return 1; }
    // "HTTP/1.0 500 Internal Server Error", minimal headers and the text; 0.
    int ResponseFatalError(const char* text);
    int ResponseRedirect(const char* location);
    int ShowErrorPage(int status, KvParseImp& vars);
    int ResponseFromResource(UINT id, ...);
    // Appends formatted text to the response body.
    void PutLine(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // --- helpers of the steps ---
    // The body the browser sends, read or left for the relay; 0 when the
    // connection is done with.
    int ReadClientBody();
    // The body as planned: read when small and of known length, else left
    // for the relay; 0 when the connection is done with.
    int ReadPlannedBody();
    // Exactly the planned Content-Length bytes; as ReadPlannedBody.
    int ReceivePlannedBody();
    // A body the browser holds back until asked ("Expect: 100-continue"),
    // for an answer made here: the proxy says "100 Continue" itself and
    // reads it. 1 when there was none; else as ReadPlannedBody.
    int ReadHeldBackBody();
    // The whole body for a local site, which answers from the request
    // alone: a held-back body is asked for, and one larger than the
    // pipeline reads ahead (an upload) is read now, up to the largest
    // upload a site takes; a larger one is refused with 413. As
    // ReadPlannedBody.
    int ReadBodyForLocalSite();
    // Sends the composed head and a body read in full, or streams a
    // body left in the browser's connection.
    int SendRemoteRequest();
    // The origin's final head: 1, 0 when the origin failed, -1 when the
    // browser stopped sending a body it held back. A held-back body is
    // sent when the origin asks for it; other interim (1xx) answers are
    // passed on to an HTTP/1.1 browser.
    int ReceiveRemoteHeader();
    // The body left in the browser's connection, streamed to the origin:
    // 1, 0 when the origin is gone, -1 when the browser stopped sending.
    int SendStreamedBody();
    // Interim answers (1xx) taken before the final one.
    static constexpr int kMaxInterimAnswers = 16;
    // How long a held-back body waits for the origin's word (ms).
    static constexpr int kContinueWaitMs = 1000;
    enum class OriginWord { SendBody, Answered, Failed };
    // Waits (a second at most) for the origin's word on a held-back body:
    // whether to send it (the browser has had its "100 Continue"), or a
    // final answer came first (in m_response), or the origin failed.
    OriginWord AwaitOriginContinue();
    // The origin's next head into m_response: the head's size, or 0 or a
    // negative code when none came. A broken head counts as read, with
    // status 0 (the caller refuses it with 502).
    int ReadOriginHead();
    // An interim answer of the origin (in m_response) to the browser.
    void PassInterimAnswer();
    // The origin's error answer just read is replaced by the proxy's page
    // ([Proxy] ErrorPages); otherwise it is relayed as it came.
    bool ShowsOwnErrorPage() const;
    // The origin's head as the browser gets it, without the headers of
    // one connection and with the connection header of this exchange.
    int SendResponseHead();
    // Relays the origin's body; 1 when it ended where its framing says.
    int RelayResponseBody();
    // A body of known length: its copy's share of the budget taken at once
    // (or the copy dropped before it starts).
    void ReserveKnownCopy(const KvBodyPlan& plan, KvBodyCopy& copy);
    // Both directions of a tunnel until both have ended (or a side breaks
    // off or stays idle); the bytes that reached the browser.
    int64_t PumpTunnel();
    // The page template under the base directory, rendered and sent.
    int SendTemplatePage(const char* templateName, KvParseImp& vars, int status, const char* statusText);
    // The head (and body unless the request was HEAD) of m_response.
    int SendResponse();
    // Notes the status of the exchange and body bytes sent outside
    // SendResponse; the access line is written when the exchange ends.
    void LogAccess(int status, int64_t bytes);
    // The access line of the exchange (status and every body byte the
    // browser was sent), once; nothing when the exchange answered nothing.
    void WriteAccessLine();
    // The error page for a browser's request the proxy refuses; 0.
    int RefuseRequest(int code);
    // "OPTIONS *": 200 with the methods the proxy passes on.
    int ResponseOptions();
    // The page for a request addressed to the proxy itself (directly, or
    // through the proxy to its own listener): 1.
    virtual int ResponseProxyHome();
    // The page code for the origin connect that just failed.
    int ConnectFailureCode();
    // The connection just made to the origin ends at this proxy's own
    // listener.
    bool ReachedOwnListener();
    KvWebProxyApp* GetApp() const;
    // Closes the origin's connection at once (it may be kept alive there).
    void DropRemote();
    // After a relayed answer: the origin's connection is kept for the next
    // request to the same endpoint when it is clean, else closed.
    void ReleaseRemote();
    // A kept connection to the endpoint, taken over; false when none.
    bool TakeKeptRemote();
    // The connection can carry another request: the whole request went,
    // the whole answer came, and the origin said it stays open.
    bool RemoteReusable() const;
    // Sends the request and reads the origin's final head: 1, 0 when the
    // origin failed, -1 when the browser stopped sending its body.
    int AskOrigin();
    // The request can go again on a new connection when a kept one turns
    // out closed: its method is idempotent and its body, if any, is here.
    bool MayAskAgain() const;
    // The connection headers of the answer about to go out; the browser's
    // connection stays open after it only when its end is known without a
    // close (`lengthKnown`) and the browser and its request allow it.
    void MarkConnection(KvHttpBuffer& answer, bool lengthKnown);
    // The same decision for an answer whose head is written otherwise:
    // whether the connection stays open after it.
    bool DecideKeep(bool lengthKnown);
    // A fresh exchange before its request is read: the messages emptied
    // (their blocks kept) and every decision of the last one forgotten.
    void BeginExchange();
    // Ends the browser's connection after a complete answer.
    void CloseClient();
    // Frees the bodies of the exchange just ended.
    void ReleaseBodies();

public:
    KvHttpRequest m_request;    // the browser's request
    KvHttpResponse m_response;  // the answer for the browser
    KvGenBuffer m_bufRemote;      // the head of the request composed for upstream (its block reused)
    KvCopyReservation m_copyReservation;  // the cache copy's share of the memory budget
};
