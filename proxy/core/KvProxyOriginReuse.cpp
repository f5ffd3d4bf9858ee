// KvProxyRequest: keeping origin connections for the next request.
//
// A connection goes back to the application's pool only after an
// exchange that left it in a known state: the whole request sent, the
// whole answer read to the end its framing gives, nothing more sent by the
// origin, and the origin's word that it stays open. Tunnels and answers
// read to the close never qualify.
#include <strings.h>

#include <algorithm>

#include "base/thread/KvThread.h"
#include "inet/net/KvComSocketImp.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

// The pool's key of an endpoint.
std::string EndpointKey(const CString& host, int port) {
    std::string key(host.c_str());
    key += ':';
    key += std::to_string(port);
    return key;
}

// What the origin says it keeps a connection idle, less a second, so that
// the proxy gives it up before the origin does; -1 leaves the pool's own.
int64_t KeepForMs(int64_t originSays) { return originSays < 0 ? -1 : std::max<int64_t>(0, originSays - 1000); }

}  // namespace

bool KvProxyRequest::TakeKeptRemote() {
    KvWebProxyApp* app = GetApp();
    auto* imp = dynamic_cast<KvComSocketImp*>(m_comRemote.Imp());
    if (!app || !imp || m_request.m_strMethod.CompareNoCase("CONNECT") == 0) return false;
    const int fd = app->GetOriginPool().Take(EndpointKey(m_strRemoteHost, m_nRemotePort));
    if (fd < 0) return false;
    imp->Prime(nullptr, 0);
    imp->Attach(fd);
    m_comRemote.SetErrorCode(KV_COM_OK);
    m_bRemoteReused = 1;
    return true;
}

bool KvProxyRequest::RemoteReusable() const {
    return m_bRequestSent && m_bBodyComplete && m_bOriginFramed && m_bOriginKeeps &&
           m_request.m_strMethod.CompareNoCase("CONNECT") != 0 && !IsCurrentThreadStopped();
}

void KvProxyRequest::ReleaseRemote() {
    KvWebProxyApp* app = GetApp();
    auto* imp = dynamic_cast<KvComSocketImp*>(m_comRemote.Imp());
    // Bytes past the answer's end would be read as the next answer.
    if (!app || !imp || !imp->IsValid() || imp->GetBufferedCount() != 0 || !RemoteReusable()) {
        DropRemote();
        return;
    }
    const int fd = imp->Detach();
    app->GetOriginPool().Give(EndpointKey(m_strRemoteHost, m_nRemotePort), fd, KeepForMs(m_nOriginKeepMs));
}

bool KvProxyRequest::MayAskAgain() const {
    if (m_planRequestBody.framing != KvBodyFraming::None || m_bAwaitContinue) return false;
    static const char* const kIdempotent[] = {"GET", "HEAD", "OPTIONS", "TRACE", "PUT", "DELETE"};
    for (const char* method : kIdempotent) {
        if (strcasecmp(m_request.m_strMethod.c_str(), method) == 0) return true;
    }
    return false;
}
