// KvWebClient: a reusable client that sends one request at a time and
// keeps the last response.
//
// Grab builds the request from an address, a method, parameters (the
// query of a GET, the body of anything else) and extra header lines, sends
// it directly or through the client's proxy, and reads the answer with the
// download client's engine (KvFetch.h: https, decoding, limits; redirects
// are not followed, the caller sees them). Failures are logged as error
// lines and give FALSE.
//
// An object is used by one thread at a time.
#pragma once

#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "inet/http/KvHttpResponse.h"

class CsStrMap;
class KvHttpRequest;

class KvWebClient : public CObject {
    DECLARE_DYNCREATE(KvWebClient)
public:
    KvWebClient() = default;
    ~KvWebClient() override = default;

    void SetProxy(const char* host, int port);
    const CString& GetProxyAddr() const { return m_strProxyAddr; }
    int GetProxyPort() const { return m_nProxyPort; }
    int GetRecTimeOut() const { return m_nRecTimeOut; }
    void SetRecTimeOut(int ms) { m_nRecTimeOut = ms; }
    KvHttpResponse* GetResponse() { return &m_response; }
    // Why the last Grab failed; empty after a success.
    const CString& GetError() const { return m_strError; }

    // TRUE when a response (any status) was read into GetResponse().
    int Grab(const char* url, const char* method, CsStrMap* params, CsStrMap* headers);

protected:
    int Grab(KvHttpRequest* request);
    // Splits an http or https address; FALSE for anything else.
    int BreakUrlComponent(const char* url, CString& host, int& port, CString& path);

    CString m_strProxyAddr;
    int m_nProxyPort = 0;
    KvHttpResponse m_response;
    CString m_strUrl;
    CString m_strHost;
    int m_nPort = 0;
    int m_nRecTimeOut = 180000;  // the whole exchange, ms
    CString m_strError;
};
