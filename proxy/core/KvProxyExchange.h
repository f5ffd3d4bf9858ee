// KvProxyExchange: what one exchange on a browser's connection decides
// and learns, from its request to the end of its answer.
//
// A request thread serves a connection's exchanges one after the other;
// each begins with a fresh value of this state (KvProxyRequest::
// BeginExchange), so nothing one exchange decided can leak into the next,
// and a field added here starts afresh without a line to forget.
#pragma once

#include <cstdint>
#include <string>

#include "base/platform/CString.h"
#include "base/str/KvString.h"
#include "proxy/core/KvProxyBody.h"

struct KvProxyExchange {
    int m_bDelete = 0;          // "$delete"
    int m_bForce = 0;           // "$force"
    int m_bBypass = 0;          // "$bypass"
    int m_bSaveToCache = 0;     // set by the cache extension: keep a copy of the body
    int m_bViaForwardProxy = 0;
    KvString m_strURL;          // request target without suffix, URL-decoded
    CString m_strHost;          // host of the URL, trimmed, lower case
    int m_nPort = 80;
    CString m_strPath;          // path and query of the URL
    CString m_strMatchedRule;   // the black-list rule that matched

    CString m_strTarget;          // the request target as received, suffix cut
    KvBodyPlan m_planRequestBody; // body still in the browser's connection
    int m_bBodyComplete = 0;      // the last relay ended where the framing says
    int m_bBodyCopyDropped = 0;   // the body outgrew the copy cap: not for the cache
    int64_t m_nRelayed = 0;       // body bytes passed to the browser
    int m_bAwaitContinue = 0;     // the browser holds its body back until asked for it
    int m_bPageOverOrigin = 0;    // the error page replaces an origin's answer (its headers are kept)
    int m_nAccessStatus = 0;      // status for the access line (0: none noted yet)
    int64_t m_nAccessBytes = 0;   // body bytes the browser was sent in this exchange
    int m_bKeepPageHead = 0;      // keep the first bytes of an HTML page's body (its title, for the history)
    std::string m_strPageHead;    // those bytes, as they came (content coding and all)
    int m_bClientKeep = 0;        // the browser lets its connection carry another request
    int m_bBodyInClient = 0;      // the request body is not yet read to its end
    int m_bKeepClient = 0;        // the answer sent leaves the connection open
    CString m_strRemoteHost;      // the endpoint connected to: the origin or the upstream proxy
    int m_nRemotePort = 0;
    int m_bRemoteReused = 0;      // the origin's connection was kept from an earlier request
    int m_bRemoteClosedEarly = 0; // it failed before a byte of an answer came
    int m_bRequestSent = 0;       // the whole request (body and all) went to the origin
    int m_bOriginKeeps = 0;       // the origin's final head leaves its connection open
    int64_t m_nOriginKeepMs = -1; // how long it says it keeps it idle (-1: unsaid)
    int m_bOriginFramed = 0;      // the answer's end was known without a close
};
