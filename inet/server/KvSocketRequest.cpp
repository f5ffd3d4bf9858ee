#include "inet/server/KvSocketRequest.h"

#include <unistd.h>

#include <cassert>
#include <string_view>

#include "base/app/KvLogCaught.h"
#include "inet/log/KvLogError.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketWait.h"

IMPLEMENT_DYNCREATE(KvSocketRequest, KvSocketThread)

namespace {

// The connection's socket implementation, created and attached owned when
// missing; null when allocation fails.
KvComSocketImp* SocketImpOf(KvComObject& com) {
    if (!com.Imp()) {
        KvComSocketImp* imp = new (std::nothrow) KvComSocketImp;
        if (!imp) return nullptr;
        com.Attach(imp, TRUE);
    }
    return dynamic_cast<KvComSocketImp*>(com.Imp());
}

// The answer to a request whose serving failed before anything was sent.
constexpr char kFailedBody[] =
    "<html><body><h1>Internal Server Error</h1><p>This request could not be served.</p></body></html>";
constexpr char kFailedAnswer[] =
    "HTTP/1.0 500 Internal Server Error\r\n"
    "Content-Type: text/html\r\n"
    "Content-Length: 96\r\n"
    "Connection: close\r\n"
    "\r\n"
    "<html><body><h1>Internal Server Error</h1><p>This request could not be served.</p></body></html>";
static_assert(sizeof(kFailedBody) - 1 == 96, "the Content-Length above counts the body");
static_assert(std::string_view(kFailedAnswer).ends_with(kFailedBody), "the answer carries the body");

}  // namespace

KvSocketRequest::KvSocketRequest() : m_nIdleSince(KvNowMs()) {}

KvSocketRequest::~KvSocketRequest() {
    Kill();
    ClosePendingSocket();
}

void KvSocketRequest::SetRequestID(UINT socket) {
    ClosePendingSocket();
    m_nRequestID = socket;
    m_bSocketPending = (SOCKET)socket != INVALID_SOCKET;
}

void KvSocketRequest::ClosePendingSocket() {
    if (m_bSocketPending && (SOCKET)m_nRequestID != INVALID_SOCKET) close((SOCKET)m_nRequestID);
    m_bSocketPending = false;
}

BOOL KvSocketRequest::InitState() {
    KvComSocketImp* client = SocketImpOf(m_comClient);
    KvComSocketImp* remote = SocketImpOf(m_comRemote);
    if (!m_comClient.Imp() || !m_comRemote.Imp()) return FALSE;
    m_comClient.SetTimeOut((int)m_nTimeOut);
    m_comRemote.SetTimeOut((int)m_nTimeOut);
    if (client && m_bSocketPending) {
        client->Attach((SOCKET)m_nRequestID);
        m_bSocketPending = false;
    }
    (void)remote;
    return TRUE;
}

BOOL KvSocketRequest::CloseConnections() {
    m_comClient.Disconnect(0);
    m_comRemote.Disconnect(0);
    return TRUE;
}

BOOL KvSocketRequest::DispatchRequest() { return TRUE; }

BOOL KvSocketRequest::IsClientBreak() { return !m_comClient.IsValid(); }

void KvSocketRequest::ServeConnection() {
    if (!InitState()) return;
    while (IsRunning()) {
        m_comClient.ClearSent();
        DispatchRequest();
        if (IsClientBreak()) break;
        // A kept-alive connection stays while the client is quiet; the
        // next dispatch then waits for its request with the receive time-out.
        if (!KeepsConnection() || m_comClient.DataWaiting((int)m_nTimeAlive) <= 0) break;
    }
}

void KvSocketRequest::AnswerFailedRequest() noexcept {
    char what[256];
    KvDescribeCaught(what, sizeof what);
    LogError(KV_LOG_ERROR, "Request from %s failed: %s", m_strClientIPAddr.c_str(), what);
    try {
        if (m_comClient.IsValid() && !m_comClient.HasSent()) {
            m_comClient.Send(kFailedAnswer, (int)sizeof(kFailedAnswer) - 1);
        }
    } catch (...) {
        KvLogCaught("answering a failed request");
    }
}

void KvSocketRequest::OnRunThread() {
    assert(IsBusy());  // the server marks a thread busy before it runs it
    try {
        ServeConnection();
    } catch (...) {
        AnswerFailedRequest();
    }
    try {
        CloseConnections();
    } catch (...) {
        KvLogCaught("closing a request's connections");
        m_comClient.Disconnect(1);
        m_comRemote.Disconnect(1);
    }
    ClosePendingSocket();
    m_nIdleSince.store(KvNowMs());
    m_bBusy.store(false);  // last: the server may hand the thread out again at once
}
