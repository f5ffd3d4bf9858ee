// KvProxyServerKavori: the proxy server of the full system. It differs
// from KvProxyServer only in its request threads, which are
// KvProxyRequestKavori (local sites, lists and cache before forwarding).
//
// The host stores its runtime class in the application
// (KvWebProxyApp::SetProxyServerClass) before StartProxy.
#pragma once

#include "proxy/core/KvProxyServer.h"

class KvProxyServerKavori : public KvProxyServer {
    DECLARE_DYNCREATE(KvProxyServerKavori)
public:
    // The default listen port ([Proxy] Listen), request threads of KvProxyRequestKavori.
    KvProxyServerKavori();
    ~KvProxyServerKavori() override;
};
