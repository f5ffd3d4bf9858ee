#include "proxy/core/KvProxyServerKavori.h"

#include "proxy/core/KvProxyRequestKavori.h"

IMPLEMENT_DYNCREATE(KvProxyServerKavori, KvProxyServer)

KvProxyServerKavori::KvProxyServerKavori() {
    SetPort(8168);
    SetRTRequest(RUNTIME_CLASS(KvProxyRequestKavori));
}

KvProxyServerKavori::~KvProxyServerKavori() { Kill(); }
