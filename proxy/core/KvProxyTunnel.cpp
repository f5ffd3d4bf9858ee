// KvProxyRequest: CONNECT tunnels.
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvTunnelRelay.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

const char kEstablished[] = "HTTP/1.0 200 Connection established\r\n\r\n";

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
    int64_t toClient = PumpTunnel();
    LogAccess(200, toClient);
    DropRemote();
    m_comClient.Disconnect(1);
    return 1;
}

int64_t KvProxyRequest::PumpTunnel() {
    KvTunnelResult r = KvRelayTunnel(m_comClient, m_comRemote, (int)m_nTimeOut);
    LogError(KV_LOG_INFO, "Tunnel to %s:%d %s: %ld bytes out, %ld back", m_strHost.c_str(), m_nPort,
             KvTunnelEndText(r.end), (long)r.toRemote, (long)r.toClient);
    return r.toClient;
}
