#include "inet/web/KvWebApp.h"

IMPLEMENT_DYNCREATE(KvWebApp, KvBaseApp)

KvWebApp::KvWebApp() {
    m_urlLocalWeb.SetUrl("http://localhost:82/");
}

KvWebApp::~KvWebApp() = default;

KvWebApp* KvGetWebApp() {
    return dynamic_cast<KvWebApp*>(KvGetApp());
}
