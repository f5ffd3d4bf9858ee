// KvProxyServer: the proxy's listening server. It accepts browser
// connections on the configured address and hands each to a request thread
// made from its request class (KvProxyRequest, or a derived class that a
// derived server stores).
//
// Made, started and destroyed by the application (KvWebProxyApp).
#pragma once

#include "inet/server/KvSocketServer.h"

class KvProxyServer : public KvSocketServer {
    DECLARE_DYNCREATE(KvProxyServer)
public:
    // The default listen port ([Proxy] Listen), request threads of KvProxyRequest.
    KvProxyServer();
    ~KvProxyServer() override;
    // The socket error of a failed start (10048: the port is taken), 0 else.
    int GetListenError() const { return m_nListenError; }

protected:
    BOOL OnInitThread() override;
    int m_nListenError = 0;
};
