// KvProxyRequestKavori: the filters in front of CONNECT tunnels.
#include "inet/log/KvLogError.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyRequestKavori.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"

int KvProxyRequestKavori::ResponseTunnel() {
    KvWebProxyApp* app = GetApp();
    CString host;
    int port = 0;
    if (app && app->m_bTunnel && KvSplitAuthority(m_request.m_strURL, host, port)) {
        host.MakeLower();
        CString url = KvTunnelUrl(host, port);
        KvListVerdict verdict = KvJudgeByLists(*app, url, m_request.GetHeaderValue("Referer"), m_bForce != 0);
        if (verdict.code) {
            m_strURL = url;
            m_strMatchedRule = verdict.matchedRule;
            return RefuseTunnel(verdict.code);
        }
    }
    return KvProxyRequest::ResponseTunnel();
}

int KvProxyRequestKavori::RefuseTunnel(int code) {
    // The browser never shows a page sent in answer to a CONNECT: the
    // block page's status and one line suffice.
    m_response.Reset();
    m_response.m_strVersion = "HTTP/1.0";
    m_response.m_nStatus = 404;
    m_response.m_strStatus = "404 Not Found";
    CString line;
    if (code == 904) {
        line.Format("Popup Block: %s.\r\n", m_strURL.c_str());
    } else {
        line.Format("You are not allowed to connnect to this address: %s. Matched rule:%s\r\n", m_strURL.c_str(),
                    m_strMatchedRule.c_str());
    }
    m_response.m_bufBody.PutString(line);
    m_response.SetHeaderValue("Content-Type", "text/plain");
    m_response.SetHeaderValue("Content-Length", (int64_t)m_response.m_bufBody.GetCount());
    m_response.SetHeaderValue("Connection", "close");
    m_response.Send(&m_comClient);
    LogAccess(404, 0);
    LogError(KV_LOG_INFO, "Tunnel to %s refused (%d)", m_strURL.c_str(), code);
    return 0;
}
