// KvProxyRequest: forwarding a request to the origin (or the upstream
// proxy) and relaying the answer.
#include <strings.h>
#include <sys/socket.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>

#include "base/thread/KvThread.h"
#include "inet/log/KvLogError.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/server/KvSocketServer.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvErrorPagePolicy.h"
#include "proxy/core/KvHistoryText.h"
#include "proxy/core/KvProxyKeepAlive.h"
#include "proxy/core/KvProxyLoop.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

bool HasLineBreak(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

void PutHeader(KvGenBuffer& out, const char* name, const char* value) {
    if (!*name || HasLineBreak(name) || HasLineBreak(value)) return;
    out.PutString(name);
    out.PutString(*value ? ": " : ":");  // an empty value goes as it came
    out.PutString(value);
    out.PutString("\r\n", 2);
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = (char)std::tolower((unsigned char)ch);
    return out;
}

// Tells the headers that end at this hop: the fixed names and those the
// message's "Connection" headers list. The list is read once, so a head
// of many fields costs linear time whatever it names.
class HopHeaderTest {
public:
    explicit HopHeaderTest(const KvHttpBuffer& message) {
        message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
            if (strcasecmp(item->GetKey(), "Connection") != 0) return;
            std::string_view list(item->GetValue());
            while (!list.empty()) {
                size_t comma = list.find(',');
                std::string_view token = list.substr(0, comma);
                while (!token.empty() && (token.front() == ' ' || token.front() == '\t')) token.remove_prefix(1);
                while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
                if (!token.empty()) m_listed.insert(Lower(token));
                if (comma == std::string_view::npos) break;
                list.remove_prefix(comma + 1);
            }
        });
    }
    bool operator()(const char* name) const {
        return KvIsHopByHopHeader(name) || (!m_listed.empty() && m_listed.count(Lower(name)) != 0);
    }

private:
    std::unordered_set<std::string> m_listed;
};

// Removes the headers of one connection in one pass, keeping the order.
void RemoveHopHeaders(KvHttpBuffer& message) { message.RemoveHeadersWhere(HopHeaderTest(message)); }

// Ends the browser's connection with a reset, so that an answer cut short
// can never pass for a complete one that ends at the close (a chunked or
// close-delimited body, whose end the browser cannot check otherwise).
void AbortConnection(KvComObject& com) {
    if (auto* imp = dynamic_cast<KvComSocketImp*>(com.Imp())) {
        if (imp->IsValid()) {
            linger hard{1, 0};
            imp->GetSocketObj().SetSockOpt(SO_LINGER, &hard, (int)sizeof hard);
        }
    }
    com.Disconnect(1);
}

}  // namespace

int KvProxyRequest::ResponseForwarded() {
    int connected = ConnectRemoteHost();
    if (KvWebProxyApp* app = GetApp()) app->SetOnline(connected);
    if (!connected) return 0;
    // A kept connection was looked at when it was made.
    if (!m_bViaForwardProxy && !m_bRemoteReused && ReachedOwnListener()) {
        // Sent on, the request would come straight back here (and again).
        DropRemote();
        return ResponseProxyHome();
    }
    if (!ComposeRemoteRequest()) return 0;
    int relayed = DoChatting();
    ReleaseRemote();
    if (!relayed) return 0;
    OnAnswerRelayed();
    // The browser has its whole answer: a connection it does not keep is
    // ended now, before the answer is stored in the cache.
    if (!m_bKeepClient) CloseClient();
    return 1;
}

int KvProxyRequest::ConnectFailureCode() {
    auto* imp = dynamic_cast<KvComSocketImp*>(m_comRemote.Imp());
    switch (imp ? imp->GetSocketObj().GetErrorCode() : 0) {
    case KV_WSAECONNREFUSED: return KV_PROXY_REFUSED;
    case KV_WSAETIMEDOUT: return KV_PROXY_TIMED_OUT;
    case KV_WSAEINVAL:  // the name did not resolve
    case KV_WSAHOST_NOT_FOUND:
    case KV_WSATRY_AGAIN:
    case KV_WSANO_DATA: return KV_PROXY_NO_DOMAIN;
    default: return KV_PROXY_UNREACHABLE;
    }
}

bool KvProxyRequest::ReachedOwnListener() {
    auto* imp = dynamic_cast<KvComSocketImp*>(m_comRemote.Imp());
    const KvSocketServer* server = GetSocketServer();
    if (!imp || !server) return false;
    return KvIsOwnListener(imp->GetSocketObj().GetHandle(), (int)server->GetBoundPort(),
                           server->GetListenAddress());
}

void KvProxyRequest::CloseClient() {
    // With nothing more from the browser a plain close ends the connection
    // in good order at once; otherwise what it still sends is read first,
    // so that the close cannot turn into a reset that destroys the answer.
    if (m_comClient.DataWaiting(0) == 0) m_comClient.Disconnect(1);
    else m_comClient.Disconnect(0);
}

int KvProxyRequest::ConnectRemoteHost() {
    KvWebProxyApp* app = GetApp();
    m_bViaForwardProxy = app && app->m_nForwardPort != 0 && !app->m_strForwardHost.IsEmpty();
    if (m_strHost == "localhost") m_bViaForwardProxy = 0;
    m_strRemoteHost = m_bViaForwardProxy ? app->m_strForwardHost : m_strHost;
    m_nRemotePort = m_bViaForwardProxy ? app->m_nForwardPort : m_nPort;
    if (TakeKeptRemote()) return 1;
    return ConnectFresh();
}

int KvProxyRequest::ConnectFresh() {
    m_bRemoteReused = 0;
    if (m_comRemote.Connect(m_strRemoteHost, m_nRemotePort) == 0) return 1;
    LogError(KV_LOG_ERROR, "Unable to connect %s:%d", m_strRemoteHost.c_str(), m_nRemotePort);
    return RefuseRequest(m_bViaForwardProxy ? KV_PROXY_UPSTREAM_DOWN : ConnectFailureCode());
}

int KvProxyRequest::ComposeRemoteRequest() {
    KvGenBuffer& out = m_bufRemote;
    out.Empty();
    // The path and query go as the browser wrote them; for the upstream
    // proxy the scheme and authority are written afresh (lower case, no
    // user part, the port as a plain number), never as they came.
    CString target = m_strTarget;  // a CONNECT's authority goes as it is
    if (m_request.m_strMethod.CompareNoCase("CONNECT") != 0) {
        target = KvProxyUpstreamTarget(m_strTarget, false);
        if (m_bViaForwardProxy) target = "http://" + TargetAuthority() + target;
    }
    out.PutString(m_request.m_strMethod);
    out.PutString(" ", 1);
    out.PutString(target);
    out.PutString(" ", 1);
    out.PutString(m_request.m_strVersion);
    out.PutString("\r\n", 2);

    // "Host" always names the target: a browser's own "Host" beside an
    // absolute target would fetch another site's answer, which the cache
    // would then keep under this URL.
    PutHeader(out, "Host", TargetAuthority());
    const HopHeaderTest isHop(m_request);
    m_request.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        const char* name = item->GetKey();
        if (isHop(name) || strcasecmp(name, "Host") == 0) return;
        // Credentials for a proxy are for the upstream proxy only.
        if (!m_bViaForwardProxy && strcasecmp(name, "Proxy-Authorization") == 0) return;
        PutHeader(out, name, item->GetValue());
    });
    // The proxy names itself, so that a request that comes back is known.
    PutHeader(out, "Via", KvProxyViaEntry(m_request.m_strVersion));
    // A tunnel's connection ends with the tunnel; any other may be kept
    // for the next request to the same endpoint.
    const bool tunnel = m_request.m_strMethod.CompareNoCase("CONNECT") == 0;
    out.PutString(tunnel ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n");
    return 1;
}

CString KvProxyRequest::TargetAuthority() const {
    CString authority = m_strHost;
    if (authority.Find(':') >= 0 && authority.Find('[') < 0) authority = "[" + authority + "]";  // IPv6
    if (m_nPort != 80) authority.AppendFormat(":%d", m_nPort);
    return authority;
}

int KvProxyRequest::SendRemoteRequest() {
    const int length = (int)m_bufRemote.GetCount();
    if (m_comRemote.Send(m_bufRemote.GetData(), length) != length) return 0;
    // A body read in full goes from where it was read: it is not copied
    // behind the head.
    const KvGenBuffer& body = m_request.m_bufBody;
    if (!body.IsEmpty() && m_comRemote.Send(body.GetData(), (int)body.GetCount()) != (int)body.GetCount()) return 0;
    // A body held back waits for the origin's word (ReceiveRemoteHeader).
    if (m_bAwaitContinue) return 1;
    if (m_planRequestBody.framing == KvBodyFraming::None) {
        m_bRequestSent = 1;
        return 1;
    }
    return SendStreamedBody();
}

int KvProxyRequest::SendStreamedBody() {
    // A large or chunked body still sits in the browser's connection.
    KvRelayResult r = KvRelayBody(m_comClient, m_comRemote, m_planRequestBody, nullptr);
    m_planRequestBody = KvBodyPlan{};
    if (r.end == KvRelayEnd::Complete) {
        m_bBodyInClient = 0;
        m_bRequestSent = 1;
        return 1;
    }
    LogError(KV_LOG_INFO, "Request body not forwarded: %s after %ld bytes", KvRelayEndText(r.end), (long)r.bytes);
    return r.end == KvRelayEnd::SinkFailed ? 0 : -1;
}

int KvProxyRequest::ReceiveRemoteHeader() {
    if (m_bAwaitContinue) {
        m_bAwaitContinue = 0;
        switch (AwaitOriginContinue()) {
        case OriginWord::Answered: return 1;  // the body is never sent
        case OriginWord::Failed: return 0;
        case OriginWord::SendBody: break;
        }
        int sent = SendStreamedBody();
        if (sent <= 0) return sent;
    }
    const bool interimToBrowser = m_request.m_strVersion.CompareNoCase("HTTP/1.1") == 0;
    for (int i = 0; i < kMaxInterimAnswers; ++i) {
        const int read = ReadOriginHead();
        if (read <= 0) {
            // A kept connection the origin closed as it was reused ends
            // before the first byte of an answer.
            m_bRemoteClosedEarly = i == 0 && read != KV_COM_TIMEOUT && !m_response.HeadBegan();
            return 0;
        }
        const int status = m_response.m_nStatus;
        if (status < 100 || status >= 200 || status == 101) {
            m_bOriginKeeps = status != 101 && KvOriginOffersToKeep(m_response);
            m_nOriginKeepMs = KvOriginKeepAliveMs(m_response);
            return 1;
        }
        // "100 Continue" only ever answers a held-back body, whose own
        // answer is behind; other interim answers go on to a browser that
        // understands them.
        if (interimToBrowser && status != 100) PassInterimAnswer();
    }
    return 0;
}

int KvProxyRequest::ReadOriginHead() {
    m_response.Reset();
    const int read = m_response.ReceiveHeader(&m_comRemote);
    if (read == KV_HTTP_BAD_HEADER || (read > 0 && !m_response.HasThreeDigitStatus())) {
        // A broken answer (a Content-Length that is not a plain number, a
        // status that is not three digits, a head past its limits) is
        // refused with 502: relayed, it could be read more than one way.
        m_response.m_nStatus = 0;
        return 1;
    }
    return read;
}

void KvProxyRequest::PassInterimAnswer() {
    RemoveHopHeaders(m_response);
    KvGenBuffer head(256);
    if (m_response.ComposeHeader(&head) > 0) m_comClient.Send(head.GetData(), (int)head.GetCount());
}

int KvProxyRequest::AskOrigin() {
    m_bRemoteClosedEarly = 0;
    int sent = SendRemoteRequest();
    if (sent < 0) return -1;  // the browser stopped sending its body
    if (sent == 0) {
        LogError(KV_LOG_CONNECT, "write header to: %s failed: %E", m_request.m_strHost.c_str());
        m_bRemoteClosedEarly = 1;
        return 0;
    }
    return ReceiveRemoteHeader();  // -1: the browser stopped sending the body it held back
}

int KvProxyRequest::DoChatting() {
    const bool mayAskAgain = m_bRemoteReused && MayAskAgain();
    int head = AskOrigin();
    if (head == 0 && mayAskAgain && m_bRemoteClosedEarly && !IsCurrentThreadStopped()) {
        // The origin closed the kept connection just as it was reused
        // (its idle time ran out): nothing was answered, so a request that
        // may be repeated goes again on a new connection.
        LogError(KV_LOG_INFO, "Kept connection to %s:%d closed by the server; asking again on a new one",
                 m_strRemoteHost.c_str(), m_nRemotePort);
        DropRemote();
        if (!ConnectFresh()) return 0;
        head = AskOrigin();
    }
    if (head < 0) return 0;
    if (head == 0) {
        LogAccess(503, 0);
        if (IsCurrentThreadStopped()) return 0;
        return ResponseError(503);
    }
    const int status = m_response.m_nStatus;
    if (status < 100) {
        LogAccess(502, 0);
        return ResponseError(502);
    }
    if (status >= 400 && ShowsOwnErrorPage()) {
        // The proxy's page replaces the server's (a page load, by default).
        DropRemote();
        m_bPageOverOrigin = 1;
        ResponseError(status);
        m_bPageOverOrigin = 0;
        LogAccess(status, 0);
        if (!m_bKeepClient) CloseClient();
        return 1;
    }
    ParseResponseHeader();
    if (!SendResponseHead()) return 0;
    return RelayResponseBody();
}

bool KvProxyRequest::ShowsOwnErrorPage() const {
    const KvWebProxyApp* app = GetApp();
    const KvErrorPages mode = app ? app->m_nErrorPages : KvErrorPages::Browser;
    return KvShowsOwnErrorPage(mode, m_request, m_response);
}

int KvProxyRequest::SendResponseHead() {
    RemoveHopHeaders(m_response);
    // A transfer coding frames the body: a "Content-Length" beside it would
    // tell the browser another end than the one the relay keeps to.
    const KvBodyFraming framing = KvResponseBodyPlan(m_response, m_request.m_strMethod).framing;
    if (framing == KvBodyFraming::Chunked || framing == KvBodyFraming::UntilClose) {
        KvRemoveHeaderAnyCase(m_response, "Content-Length");
    }
    MarkConnection(m_response, framing != KvBodyFraming::UntilClose);
    // When the origin's connection already holds body bytes, the relay
    // sends them right behind the head: both may leave in one segment, so
    // the browser wakes once for a small answer.
    auto* remote = dynamic_cast<KvComSocketImp*>(m_comRemote.Imp());
    const bool bodyAtHand = framing == KvBodyFraming::Length && remote && remote->GetBufferedCount() > 0;
    return m_response.SendHeader(&m_comClient, bodyAtHand) > 0;
}

void KvProxyRequest::ReserveKnownCopy(const KvBodyPlan& plan, KvBodyCopy& copy) {
    if (plan.framing != KvBodyFraming::Length) return;  // the copy reserves as it grows
    const size_t length = (size_t)plan.length;
    // The copy and its stored form at once: a copy that could not be
    // stored for want of room is never made. Without room the body goes
    // through without a copy.
    if (plan.length < 0 || length > copy.cap || !m_copyReservation.GrowTo(length + KvStoredFormReserve(length))) {
        copy.dropped = true;
        return;
    }
    copy.buffer->SetAllocSize(length);
}

int KvProxyRequest::RelayResponseBody() {
    KvWebProxyApp* app = GetApp();
    const KvBodyPlan plan = KvResponseBodyPlan(m_response, m_request.m_strMethod);
    m_response.m_bufBody.Empty();
    KvBodyCopy copy;
    const bool keepHead =
        m_bKeepPageHead && KvIsHtmlPage(m_response.m_nStatus, m_response.GetHeaderValue("Content-Type"));
    if (keepHead) {
        copy.head = &m_strPageHead;
        copy.headCap = kHistoryHeadBytes;
    }
    if (m_bSaveToCache) {
        copy.buffer = &m_response.m_bufBody;
        copy.cap = app ? app->m_nMaxCacheCopy : (size_t)KvConfigDefaultInt("Proxy", "MaxCacheBody") << 20;
        copy.reservation = &m_copyReservation;
        ReserveKnownCopy(plan, copy);
    }
    KvRelayResult r = KvRelayBody(m_comRemote, m_comClient, plan, m_bSaveToCache || keepHead ? &copy : nullptr);
    m_nRelayed = r.bytes;
    m_bOriginFramed = plan.framing != KvBodyFraming::UntilClose;
    m_bBodyCopyDropped = copy.dropped ? 1 : 0;
    if (r.end == KvRelayEnd::Complete) {
        m_bBodyComplete = 1;
        if (copy.dropped) m_bSaveToCache = 0;  // too large to keep: relayed, never stored
        if (plan.framing == KvBodyFraming::Chunked && m_bSaveToCache) {
            // The copy holds the decoded body: describe it as such.
            KvRemoveHeaderAnyCase(m_response, "Transfer-Encoding");
            KvRemoveHeaderAnyCase(m_response, "Trailer");  // its fields went with the chunks
            KvRemoveHeaderAnyCase(m_response, "Content-Length");
            m_response.SetHeaderValue("Content-Length", (int64_t)m_response.m_bufBody.GetCount());
        }
        m_response.m_nContentLength = r.bytes;
        LogAccess(m_response.m_nStatus, r.bytes);
        return 1;
    }
    m_bSaveToCache = 0;
    switch (r.end) {
    case KvRelayEnd::SinkFailed: LogError(KV_LOG_INFO, "Unable to send to client"); break;
    case KvRelayEnd::SourceClosed:
        if (plan.framing == KvBodyFraming::Length) {
            LogError(KV_LOG_INFO, "Response have a wrong size: %ld %ld", (long)r.bytes, (long)plan.length);
            break;
        }
        [[fallthrough]];
    default:
        LogError(KV_LOG_INFO, "Error chatting with server. Maybe server timeout. Received: %ld from %ld (%s)",
                 (long)r.bytes, (long)plan.length, KvRelayEndText(r.end));
        break;
    }
    LogAccess(m_response.m_nStatus, r.bytes);
    if (plan.framing == KvBodyFraming::Length && r.end != KvRelayEnd::SinkFailed) {
        // The browser knows the length it was promised and tells a short
        // body by itself: a clean end lets it report exactly what is missing.
        CloseClient();
    } else {
        AbortConnection(m_comClient);
    }
    return 0;
}
