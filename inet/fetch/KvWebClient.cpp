#include "inet/fetch/KvWebClient.h"

#include "base/containers/CsList.h"
#include "inet/fetch/KvFetch.h"
#include "inet/fetch/KvFetchUrl.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/log/KvLogError.h"

IMPLEMENT_DYNCREATE(KvWebClient, CObject)

void KvWebClient::SetProxy(const char* host, int port) {
    m_strProxyAddr = host ? host : "";
    m_nProxyPort = port;
}

int KvWebClient::BreakUrlComponent(const char* url, CString& host, int& port, CString& path) {
    KvFetchTarget target;
    if (!KvSplitFetchUrl(url, target)) return FALSE;
    host = target.host;
    port = target.port;
    path = target.pathQuery;
    return TRUE;
}

int KvWebClient::Grab(const char* url, const char* method, CsStrMap* params, CsStrMap* headers) {
    m_strUrl = url ? url : "";
    CString path;
    if (!BreakUrlComponent(m_strUrl, m_strHost, m_nPort, path)) {
        LogError(KV_LOG_ERROR, "Not valid request %s.", m_strUrl.c_str());
        m_strError = "not an http or https address";
        return FALSE;
    }
    KvHttpRequest request;
    if (!CreateHttpRequest(request, m_strUrl, method, params, headers)) {
        LogError(KV_LOG_ERROR, "Unable to create request %s", m_strUrl.c_str());
        return FALSE;
    }
    return Grab(&request);
}

int KvWebClient::Grab(KvHttpRequest* request) {
    m_response.Reset();
    m_strError.Empty();
    KvFetchRequest fetch;
    fetch.url = request->m_strURL;
    fetch.method = request->m_strMethod;
    fetch.maxRedirects = 0;
    fetch.proxyPort = m_nProxyPort > 0 ? m_nProxyPort : 0;
    fetch.proxyHost = m_strProxyAddr;
    fetch.timeoutMs = m_nRecTimeOut > 0 ? m_nRecTimeOut : 0;
    request->m_mapHeader.ForEach([&](CsStrMapItem* item) {
        fetch.headers.emplace_back(item->GetKey(), item->GetValue());
    });
    fetch.body.assign(request->m_bufBody.GetData(), request->m_bufBody.GetCount());
    if (!KvFetch(fetch, m_response, m_strError)) {
        LogError(KV_LOG_ERROR, "Grab %s fail. %s", m_strUrl.c_str(), m_strError.c_str());
        return FALSE;
    }
    return TRUE;
}
