// KvProxyRequestKavori: the order of decisions, redirect shortcuts and the
// refused requests.
#include "proxy/core/KvProxyRequestKavori.h"

#include "inet/http/KvHttpFunc.h"
#include "inet/log/KvLogError.h"
#include "inet/web/KvCGI.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvWebMgr.h"

IMPLEMENT_DYNCREATE(KvProxyRequestKavori, KvProxyRequest)

KvProxyRequestKavori::KvProxyRequestKavori() = default;

// The thread may still run the overrides of this class: stop it first.
KvProxyRequestKavori::~KvProxyRequestKavori() { Kill(); }

bool KvProxyRequestKavori::UseTargetWithoutSuffix() {
    if (m_request.m_strURL == m_strTarget) return true;
    // The suffix was cut: path and query are taken again from the target,
    // which must read as well as it did with the suffix.
    m_request.m_strURL = m_strTarget;
    int result = ParseHttpUrl(m_strTarget, &m_request);
    return result == 0 || result == m_request.m_nFirstLineResult;
}

int KvProxyRequestKavori::ResponseLocal() {
    if (!UseTargetWithoutSuffix()) {
        RefuseRequest(400);
        return 1;
    }
    // KvProxy's own address through itself: answered here, never
    // forwarded back to the listener.
    if (TargetIsOwnListener()) return ResponseProxyHome();
    if (LocalRedirect()) return 1;
    if (m_bDelete) return ResponseCacheDelete();

    KvWebProxyApp* app = GetApp();
    const KvKavoriSettings& settings = KvGetKavoriSettings();
    KvWebMgr* sites = KvWebMgr::GetInstance();
    // A local site answers here, from the whole request.
    if (sites->IsLocalHost(m_strHost) && !ReadBodyForLocalSite()) return 1;
    if (sites->GetResponse(m_strHost, GetHostIPAddr(), GetClientIPAddr(), &m_request, &m_response)) {
        SendAnswerOfProxy();
        return 1;
    }
    if (app) {
        KvListVerdict verdict = KvJudgeByLists(*app, m_strURL, m_request.GetHeaderValue("Referer"), m_bForce != 0);
        if (verdict.code == 904) {
            LogAccess(404, 0);
            ResponseError(904);
            return 1;
        }
        if (verdict.code == 903) {
            m_strMatchedRule = verdict.matchedRule;
            ResponseBlockedRequest();
            return 1;
        }
    }
    // "$bypass", long URLs, custom searches and the no-cache list: the
    // origin answers and the cache is neither read nor written.
    m_bBypass = KvIsCacheBypassed(app, settings, m_strURL, m_bBypass != 0) ? 1 : 0;
    // Only an answer that may be stored is copied while it is relayed.
    // An answer to credentials belongs to their user: never served from
    // the cache (it could be another user's) and never stored.
    const bool storable = !m_bBypass && m_request.m_strMethod.CompareNoCase("GET") == 0 &&
                          m_strHost.CompareNoCase("localhost") != 0 && !m_request.GetHeaderValue("Authorization");
    m_bSaveToCache = storable ? 1 : 0;
    if (!storable || IsHardReload()) return 0;
    return ResponseFromCache() ? 1 : 0;
}

int KvProxyRequestKavori::ResponseForwarded() {
    m_bKeepPageHead = HistoryWanted() ? 1 : 0;
    int forwarded = KvProxyRequest::ResponseForwarded();
    // The browser has its answer (and its connection is closed) by now.
    if (forwarded) SaveToCache();
    return forwarded;
}

void KvProxyRequestKavori::OnAnswerRelayed() {
    // Written before the browser learns its answer is complete, so that
    // the pages it loads one after the other are listed in that order.
    if (m_bBodyComplete && m_bKeepPageHead) {
        NoteVisit(m_strPageHead, m_response.GetHeaderValue("Content-Type"),
                  m_response.GetHeaderValue("Content-Encoding"), m_response.m_nStatus);
    }
}

int KvProxyRequestKavori::ResponseBlockedRequest() {
    LogAccess(404, 0);
    return ResponseError(903);
}

int KvProxyRequestKavori::LocalRedirect() {
    CString target;
    switch (KvFindShortcut(m_strURL, KvGetKavoriSettings())) {
    case KvShortcut::Zu: {
        KvCGI cgi;
        cgi.Parse(&m_request);
        target = cgi.GetValue("zu", "");
        if (!KvIsRedirectTarget(target)) return 0;
        break;
    }
    case KvShortcut::Stars:
        if (!KvStarRedirectTarget(m_strURL, target)) return 0;
        break;
    case KvShortcut::None: return 0;
    }
    LogAccess(302, 0);
    return ResponseRedirect(target);
}

void KvProxyRequestKavori::SendAnswerOfProxy() {
    SendResponse();  // which sets the connection headers of this exchange
    LogAccess(m_response.m_nStatus, 0);  // SendResponse counted the body
}
