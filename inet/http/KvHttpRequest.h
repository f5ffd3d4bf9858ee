// KvHttpRequest: an HTTP request: the request line and the parts of its
// target (scheme, authority, host name and its labels, port, path).
//
// ParseFirstLineHeader splits the request line into method, target and
// version and, for a known method, parses the target with ParseHttpUrl
// (KvHttpFunc.h). Written out, the request line is m_strRequestLine as it
// stands (the proxy rebuilds it for the origin).
#pragma once

#include "base/platform/CString.h"
#include "inet/http/KvHttpBuffer.h"

class KvHttpRequest : public KvHttpBuffer {
    DECLARE_DYNCREATE(KvHttpRequest)
public:
    KvHttpRequest();
    ~KvHttpRequest() override;

    // Also empties every request field and frees the label array.
    void Reset() override;
    // 0; -1 when method, target or version is missing; KV_HTTP_BAD_TARGET
    // for an unknown method (the target is then left unparsed) or an
    // unusable target.
    [[nodiscard]] int ParseFirstLineHeader(char* line) override;
    int SendFirstLineHeader(KvComObject* con) override;
    int TransferFirstLineHeaderTo(KvGenBuffer* buf) override;

    // Replaces the host name's labels: a lower-case copy cut at ".", at
    // most kMaxDomainParts labels (empty ones skipped). The label count,
    // -1 when memory runs out, KV_HTTP_BAD_TARGET when there are more.
    int SetDomain(const char* hostName);
    void FreeDomain();

    static constexpr int kMaxDomainParts = 8192;

    CString m_strRequestLine;     // the request line as received
    CString m_strOrgRequestLine;  // a second copy of it, made at parse time
    CString m_strMethod;          // first token of the request line, as sent
    CString m_strURL;             // second token: the request target
    BOOL m_bSecure = FALSE;       // the target uses the "https://" scheme
    CString m_strHostName;        // host of the target, without user part and port
    int m_nPort = 0;              // port of the target
    CString m_strPath;            // path from the first "/" (with query); "/" when none
    CString m_strHost;            // the authority as written (user part, host, port)
    CString m_strExtra;           // for the proxy's use; emptied by Reset
    char* m_strDomain = nullptr;  // lower-case host name, cut into labels in place (owned)
    char** m_ppDomainPart = nullptr;  // the labels of m_strDomain, in order (owned array)
    int m_nDomainPart = 0;            // number of labels
};
