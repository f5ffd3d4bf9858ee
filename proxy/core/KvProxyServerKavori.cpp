#include "KvProxyServerKavori.h"

#include "KvProxyRequestKavori.h"

IMPLEMENT_DYNCREATE(KvProxyServerKavori, KvProxyServer)

KvProxyServerKavori::KvProxyServerKavori() {
    SetPort(8168);
    SetRTRequest(RUNTIME_CLASS(KvProxyRequestKavori));
}

KvProxyServerKavori::~KvProxyServerKavori() { Kill(); }
