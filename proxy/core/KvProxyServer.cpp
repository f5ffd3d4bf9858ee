#include "proxy/core/KvProxyServer.h"

#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvProxyRequest.h"

IMPLEMENT_DYNCREATE(KvProxyServer, KvSocketServer)

KvProxyServer::KvProxyServer() {
    SetPort((short)KvDefaultListenPort());
    SetRTRequest(RUNTIME_CLASS(KvProxyRequest));
}

KvProxyServer::~KvProxyServer() { Kill(); }

BOOL KvProxyServer::OnInitThread() {
    m_nListenError = 0;
    if (KvSocketServer::OnInitThread()) return TRUE;
    // Remembered for the host, which tells the user why the proxy did not start.
    m_nListenError = m_socket.GetErrorCode();
    if (m_nListenError == 0) m_nListenError = KV_WSAEINVAL;
    return FALSE;
}
