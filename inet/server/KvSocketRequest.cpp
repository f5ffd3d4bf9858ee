#include "inet/server/KvSocketRequest.h"

#include <unistd.h>

#include <cassert>
#include <string_view>

#include "base/app/KvLogCaught.h"
#include "inet/log/KvLogError.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketWait.h"
#include "inet/server/KvConnectionPark.h"
#include "inet/server/KvSocketServer.h"

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

// How long a thread waits for the next request of a kept-alive connection
// before it hands the connection back to the server.
constexpr int kNextRequestGraceMs = 2;

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
        if (!client->Prime(m_strPending.data(), m_strPending.size())) return FALSE;
    }
    m_strPending.clear();
    m_strPending.shrink_to_fit();
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
    const bool parks = m_pSocketServer && m_pSocketServer->IsParkConnections();
    while (IsRunning()) {
        m_comClient.ClearSent();
        DispatchRequest();
        if (IsClientBreak() || !KeepsConnection()) break;
        if (parks) {
            bool broken = false;
            if (HandBackIfIdle(broken) || broken) break;
            continue;
        }
        // A kept-alive connection stays while the client is quiet; the
        // next dispatch then waits for its request with the receive time-out.
        if (m_comClient.DataWaiting((int)m_nTimeAlive) <= 0) break;
    }
}

bool KvSocketRequest::HandBackIfIdle(bool& broken) {
    auto* imp = dynamic_cast<KvComSocketImp*>(m_comClient.Imp());
    if (!imp || !imp->IsValid()) {
        broken = true;
        return false;
    }
    // A browser that sends its next request at once (pipelined, or right
    // behind the answer) is served here without a hand-over.
    int waiting = m_comClient.DataWaiting(kNextRequestGraceMs);
    if (waiting < 0 && waiting != KV_COM_TIMEOUT) {
        broken = true;
        return false;
    }
    std::string pending(imp->PeekBuffered());
    if (KvConnectionPark::HasWholeHead(pending)) return false;
    const SOCKET socket = imp->Detach();
    imp->Disconnect(1);  // empties the buffer; the socket is no longer its own
    m_bHandedBack = true;
    m_pSocketServer->ParkConnection(socket, std::move(pending), m_strClientIPAddr.c_str());
    return true;
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
    if (m_bCounted && !m_bHandedBack && m_pSocketServer) m_pSocketServer->ClientLeft(m_strClientIPAddr.c_str());
    m_bCounted = m_bHandedBack = false;
    m_strPending.clear();
    m_nIdleSince.store(KvNowMs());
    KvSocketServer* server = m_pSocketServer;  // the server may hand the thread out again at once
    m_bBusy.store(false);
    if (server) server->ThreadFreed();
}
