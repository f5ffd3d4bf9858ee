// KvProxyRequest: CONNECT tunnels.
#include <poll.h>

#include <cstring>
#include <memory>

#include "inet/net/KvComSocketImp.h"
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"
#include "inet/net/KvSocketWait.h"
#include "base/thread/KvThread.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

constexpr int kTunnelPiece = 64 * 1024;
const char kEstablished[] = "HTTP/1.0 200 Connection established\r\n\r\n";

int SocketHandle(KvComObject& com) {
    auto* imp = dynamic_cast<KvComSocketImp*>(com.Imp());
    return imp && imp->IsValid() ? imp->GetSocketObj().GetHandle() : -1;
}

// Passes on what `from` already holds; false when a side is gone.
bool ForwardHeld(KvComObject& from, KvComObject& to, char* buf) {
    for (;;) {
        int held = from.DataWaiting(0);
        if (held <= 0) return held == 0 && from.IsValid();
        int n = from.Receive(buf, held < kTunnelPiece ? held : kTunnelPiece);
        if (n <= 0) return false;
        if (to.Send(buf, n) != n) return false;
    }
}

}  // namespace

int KvProxyRequest::ResponseTunnel() {
    KvWebProxyApp* app = GetApp();
    if (!app || !app->m_bTunnel) {
        // Without the tunnel a CONNECT is not served (nothing is answered).
        LogError(KV_LOG_ERROR, "Break url %s to component fail.", m_strURL.c_str());
        return 0;
    }
    if (!KvSplitAuthority(m_request.m_strURL, m_strHost, m_nPort)) {
        LogAccess(400, 0);
        return ResponseError(400);
    }
    m_strHost.MakeLower();
    m_strPath.Empty();
    if (!KvPortInList(app->m_strTunnelPorts, m_nPort)) {
        LogError(KV_LOG_INFO, "Tunnel to %s:%d refused: the port is not allowed", m_strHost.c_str(), m_nPort);
        LogAccess(403, 0);
        return ResponseError(403);
    }
    int connected = ConnectRemoteHost();
    app->SetOnline(connected);
    if (!connected) return 0;

    if (m_bViaForwardProxy) {
        // The upstream proxy makes the tunnel; its answer goes to the browser.
        ComposeRemoteRequest();
        if (!SendRemoteRequest() || !ReceiveRemoteHeader()) {
            LogAccess(502, 0);
            return ResponseError(502);
        }
        for (const char* name : {"Connection", "Proxy-Connection", "Keep-Alive"}) {
            KvRemoveHeaderAnyCase(m_response, name);
        }
        if (m_response.SendHeader(&m_comClient) <= 0) return 0;
        if (m_response.m_nStatus < 200 || m_response.m_nStatus >= 300) {
            LogAccess(m_response.m_nStatus, 0);
            return 1;
        }
    } else if (m_comClient.Send(kEstablished, (int)sizeof kEstablished - 1) < 0) {
        return 0;
    }
    LogAccess(200, 0);
    PumpTunnel();
    DropRemote();
    m_comClient.Disconnect(1);
    return 1;
}

int KvProxyRequest::PumpTunnel() {
    std::unique_ptr<char[]> buf(new char[kTunnelPiece]);
    KvComObject* sides[2] = {&m_comClient, &m_comRemote};
    // Bytes that came behind the CONNECT head (or the upstream's answer).
    if (!ForwardHeld(m_comClient, m_comRemote, buf.get()) || !ForwardHeld(m_comRemote, m_comClient, buf.get())) {
        return 1;
    }
    const int idle = (int)m_nTimeOut;
    for (;;) {
        int fds[2] = {SocketHandle(m_comClient), SocketHandle(m_comRemote)};
        if (fds[0] < 0 || fds[1] < 0) return 1;
        int ready = -1;
        KvWait w = KvSocketWaitAny(fds, 2, POLLIN, KvDeadlineAfter(idle), &ready);
        if (w != KvWait::Ready || ready < 0 || ready > 1) return 1;  // idle, stopped or failed
        KvComObject& from = *sides[ready];
        KvComObject& to = *sides[1 - ready];
        int n = from.Receive(buf.get(), kTunnelPiece);
        if (n <= 0) return 1;  // one side closed: the tunnel ends
        if (to.Send(buf.get(), n) != n) return 1;
    }
}
