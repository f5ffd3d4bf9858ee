// KvProxyRequestKavori: answering from the cache, storing forwarded
// answers, and deleting on request ("$delete").
#include "proxy/cache/KvCacheMgr.h"
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyRequestKavori.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

bool IsStoredStatus(int status) { return status == 200 || status == 301 || status == 302; }

}  // namespace

int KvProxyRequestKavori::ResponseFromCache() {
    KvWebProxyApp* app = GetApp();
    if (app && app->m_bCacheDisabled) return 0;
    if (m_strHost.CompareNoCase("localhost") == 0 || m_request.m_strMethod.CompareNoCase("GET") != 0) return 0;
    if (!KvCacheMgr::GetInstance()->GetCache(&m_request, &m_response)) {
        m_response.Reset();  // a miss leaves nothing behind for the relay
        return 0;
    }
    SendAnswerOfProxy();
    m_response.m_bufBody.Empty();  // a large answer is not kept while the thread idles
    return 1;
}

void KvProxyRequestKavori::SaveToCache() {
    // A copy is whole only when the relay ended where the framing says and
    // the body stayed within the copy cap: anything else is never stored.
    const bool storable = m_bSaveToCache && m_bBodyComplete && !m_bBodyCopyDropped &&
                          IsStoredStatus(m_response.m_nStatus) && m_strHost.CompareNoCase("localhost") != 0 &&
                          m_request.m_strMethod.CompareNoCase("GET") == 0;
    if (storable) {
        if (KvCacheMgr::GetInstance()->AddCache(&m_request, &m_response)) {
            LogError(KV_LOG_INFO, "Save to cache: %s", m_request.m_strURL.c_str());
        } else {
            LogError(KV_LOG_INFO, "Saving to cache failed: %s", m_request.m_strURL.c_str());
        }
    }
    // The copy (up to the cap) is not kept while the thread idles.
    m_response.m_bufBody.Empty();
}

int KvProxyRequestKavori::ResponseCacheDelete() {
    KvCacheMgr::GetInstance()->DeleteCache(&m_request);
    m_response.Reset();
    // The link is the address as the browser gave it, so that it fetches
    // the very object again; the text shows it decoded.
    m_response.m_bufBody.PutString(KvCacheDeletedBody(m_strURL, m_strTarget));
    ResponseFinish("text/html");
    SendAnswerOfProxy();
    return 1;
}
