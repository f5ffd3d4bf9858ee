#include "proxy/core/KvProxyServerKavori.h"

#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvProxyRequestKavori.h"

IMPLEMENT_DYNCREATE(KvProxyServerKavori, KvProxyServer)

KvProxyServerKavori::KvProxyServerKavori() {
    SetPort((short)KvDefaultListenPort());
    SetRTRequest(RUNTIME_CLASS(KvProxyRequestKavori));
}

KvProxyServerKavori::~KvProxyServerKavori() { Kill(); }
