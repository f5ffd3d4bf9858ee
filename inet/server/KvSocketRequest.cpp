#include "inet/server/KvSocketRequest.h"

#include <unistd.h>

#include "inet/net/KvComSocketImp.h"

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

}  // namespace

KvSocketRequest::KvSocketRequest() = default;

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

void KvSocketRequest::OnRunThread() {
    if (InitState()) {
        while (IsRunning()) {
            DispatchRequest();
            if (IsClientBreak()) break;
            // A kept-alive connection stays while the client is quiet; the
            // next dispatch then waits for its request with the receive time-out.
            if (!m_bKeepAlive || m_comClient.DataWaiting((int)m_nTimeAlive) < 0) break;
        }
    }
    CloseConnections();
    ClosePendingSocket();
    m_bBusy.store(false);  // last: the server may hand the thread out again at once
}
