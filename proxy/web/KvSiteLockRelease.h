// A site's lock given up for a slow step (a download) of one request.
#pragma once

#include "base/platform/CString.h"
#include "base/thread/KvCriticalObj.h"

class KvHttpRequest;
class KvHttpResponse;

// Gives up the site's lock (every level this thread holds) for the life of
// the object and takes it back as deep as before. Another request of the
// site may run meanwhile and take the per-request members over: the caller
// keeps what it needs in locals and the members it answers with are put
// back.
class KvSiteLockRelease {
public:
    KvSiteLockRelease(KvCriticalObj& lock, KvHttpRequest*& request, KvHttpResponse*& response, CString& client)
        : m_lock(lock), m_request(request), m_response(response), m_client(client), m_savedRequest(request),
          m_savedResponse(response), m_savedClient(client) {
        while (m_lock.IsHeldByCurrentThread()) {
            m_lock.Unlock();
            ++m_depth;
        }
    }
    ~KvSiteLockRelease() {
        for (int i = 0; i < m_depth; ++i) m_lock.Lock();
        m_request = m_savedRequest;
        m_response = m_savedResponse;
        m_client = m_savedClient;
    }
    KvSiteLockRelease(const KvSiteLockRelease&) = delete;
    KvSiteLockRelease& operator=(const KvSiteLockRelease&) = delete;

private:
    KvCriticalObj& m_lock;
    KvHttpRequest*& m_request;
    KvHttpResponse*& m_response;
    CString& m_client;
    KvHttpRequest* m_savedRequest;
    KvHttpResponse* m_savedResponse;
    CString m_savedClient;
    int m_depth = 0;
};
