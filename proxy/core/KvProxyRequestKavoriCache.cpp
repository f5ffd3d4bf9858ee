// KvProxyRequestKavori: answering from the cache, storing forwarded
// answers, and deleting on request ("$delete").
#include <strings.h>

#include <algorithm>
#include <string_view>

#include "inet/log/KvLogError.h"
#include "inet/url/KvUrlCanonical.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheBodyStream.h"
#include "proxy/cache/KvCacheMemory.h"
#include "proxy/cache/KvCacheMgr.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvHistoryText.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyKeepAlive.h"
#include "proxy/core/KvProxyRequestKavori.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

// A stored form this long or longer is sent in pieces from the cache file.
constexpr size_t kStreamFrom = 1u << 20;
// A body up to this size goes out in one write with its head.
constexpr size_t kJoinBodyLimit = 64 * 1024;

bool IsStoredStatus(int status) { return status == 200 || status == 301 || status == 302; }

// A "no-cache" directive in a comma-separated list of the header(s).
bool NamesNoCache(const KvHttpBuffer& message, const char* header) {
    return KvHeaderListsToken(message, header, "no-cache");
}

}  // namespace

void KvProxyRequestKavori::CacheKey(CString& host, CString& path) const {
    host = m_strHost;
    if (m_nPort != 80) host.AppendFormat(":%d", m_nPort);
    path = KvProxyUpstreamTarget(m_strTarget, false);
}

bool KvProxyRequestKavori::RedirectsToItself() const {
    const int status = m_response.m_nStatus;
    const char* location = m_response.GetHeaderValue("Location");
    if (status < 300 || status >= 400 || !location) return false;
    const CString url = "http://" + TargetAuthority() + KvProxyUpstreamTarget(m_strTarget, false);
    const CString canonical = KvCanonicalUrl(url.view());
    return !canonical.IsEmpty() && KvCanonicalUrl(KvResolveUrl(url.view(), location).view()) == canonical;
}

bool KvProxyRequestKavori::IsHardReload() const {
    return NamesNoCache(m_request, "Cache-Control") || NamesNoCache(m_request, "Pragma");
}

int KvProxyRequestKavori::ResponseFromCache() {
    KvWebProxyApp* app = GetApp();
    if (app && app->m_bCacheDisabled) return 0;
    if (m_strHost.CompareNoCase("localhost") == 0 || m_request.m_strMethod.CompareNoCase("GET") != 0) return 0;
    CString host, path;
    CacheKey(host, path);
    m_bKeepPageHead = HistoryWanted() ? 1 : 0;
    // A revalidation is the store's to answer: it compares the dates.
    KvTime since;
    KvCacheMemory& front = KvCacheMemory::Shared();
    const std::string key =
        front.Budget() && !KvCacheIfModifiedSince(&m_request, since) ? KvCacheMgr::ReadyKey(host, path) : "";
    if (!key.empty()) {
        if (std::shared_ptr<const KvCacheReady> ready = front.Find(key); ready && SendReady(*ready)) {
            if (m_bKeepPageHead) NoteReadyVisit(*ready);
            return 1;
        }
    }
    const uint64_t snapshot = key.empty() ? 0 : front.Snapshot(key);
    KvCacheHit hit;
    hit.streamFrom = kStreamFrom;
    if (!KvCacheMgr::GetInstance()->GetCache(host, path, &m_request, &m_response, &hit)) {
        m_response.Reset();  // a miss leaves nothing behind for the relay
        return 0;
    }
    if (hit.stream) {
        SendStreamedAnswer(*hit.stream);
    } else {
        SendAnswerOfProxy();
        if (m_bKeepPageHead) {
            const KvGenBuffer& body = m_response.m_bufBody;
            m_strPageHead.assign(body.GetData(), std::min(body.GetCount(), kHistoryHeadBytes));
        }
        // The kept head has no connection headers: each exchange writes its own.
        KvRemoveConnectionHeaders(m_response);
        if (!key.empty() && m_response.m_bufBody.GetCount() <= KvCacheMemory::kLargestObject)
            front.Offer(key, KvCacheMakeReady(m_response, hit.expires, hit.expired), snapshot);
    }
    if (m_bKeepPageHead) {
        NoteVisit(m_strPageHead, m_response.GetHeaderValue("Content-Type"),
                  m_response.GetHeaderValue("Content-Encoding"), m_response.m_nStatus);
    }
    m_response.m_bufBody.Empty();  // a large answer is not kept while the thread idles
    return 1;
}

bool KvProxyRequestKavori::SendReady(const KvCacheReady& ready) {
    std::string& out = m_readyOut;
    out.clear();
    if (!ready.ComposeHead(out) || !std::string_view(out).ends_with("\r\n\r\n")) return false;
    // The kept head has no connection headers: this exchange's goes last.
    const bool keep = DecideKeep(true);  // a kept answer always has its length
    out.resize(out.size() - 2);
    out.append(KvConnectionLine(keep));
    out.append("\r\n", 2);
    const bool join = ready.body.size() <= kJoinBodyLimit;
    if (join) out.append(ready.body);
    int sent = m_comClient.Send(out.data(), (int)out.size());
    if (sent >= 0 && !join) sent = m_comClient.Send(ready.body.data(), (int)ready.body.size());
    if (sent >= 0) m_nAccessBytes += (int64_t)ready.body.size();
    out.clear();
    if (out.capacity() > 2 * kJoinBodyLimit) out.shrink_to_fit();
    m_response.m_nStatus = ready.status;
    LogAccess(ready.status, 0);
    return true;
}

void KvProxyRequestKavori::SendStreamedAnswer(KvCacheBodyStream& stream) {
    MarkConnection(m_response, KvResponseBodyPlan(m_response, m_request.m_strMethod).framing != KvBodyFraming::UntilClose);
    if (m_response.SendHeader(&m_comClient) >= 0) {
        std::string_view piece;
        while (stream.Next(piece)) {
            if (m_comClient.Send(piece.data(), (int)piece.size()) < 0) break;
            if (m_bKeepPageHead && m_strPageHead.size() < kHistoryHeadBytes)
                m_strPageHead.append(piece.substr(0, kHistoryHeadBytes - m_strPageHead.size()));
            m_nAccessBytes += (int64_t)piece.size();
        }
        // The browser sees an answer shorter than its Content-Length.
        if (stream.Failed()) LogError(KV_LOG_ERROR, "Cache read failed while sending: %s", m_request.m_strURL.c_str());
    }
    LogAccess(m_response.m_nStatus, 0);
}

void KvProxyRequestKavori::KeepStoredReady(const CString& host, const CString& path) {
    KvCacheMemory& front = KvCacheMemory::Shared();
    if (!front.Budget() || m_response.m_bufBody.GetCount() > KvCacheMemory::kLargestObject) return;
    // Read back as a hit would be: the entry is what the stores now serve
    // (another store may come first for this key).
    const std::string key = KvCacheMgr::ReadyKey(host, path);
    const uint64_t snapshot = front.Snapshot(key);
    KvHttpRequest plain;
    KvHttpResponse stored;
    KvCacheHit hit;
    hit.streamFrom = kStreamFrom;
    if (!KvCacheMgr::GetInstance()->GetCache(host, path, &plain, &stored, &hit) || hit.stream) return;
    KvRemoveConnectionHeaders(stored);
    front.Offer(key, KvCacheMakeReady(stored, hit.expires, hit.expired), snapshot);
}

void KvProxyRequestKavori::SaveToCache() {
    // A copy is whole only when the relay ended where the framing says and
    // the body stayed within the copy cap: anything else is never stored.
    const bool storable = m_bSaveToCache && m_bBodyComplete && !m_bBodyCopyDropped &&
                          IsStoredStatus(m_response.m_nStatus) && m_strHost.CompareNoCase("localhost") != 0 &&
                          m_request.m_strMethod.CompareNoCase("GET") == 0 && !RedirectsToItself();
    // The stored form is made beside the copy: it needs its share too.
    const size_t body = m_response.m_bufBody.GetAllocSize();
    if (storable && !m_copyReservation.GrowTo(body + KvStoredFormReserve(m_response.m_bufBody.GetCount()))) {
        LogError(KV_LOG_INFO, "Not saved to cache (copies for the cache use their whole budget): %s",
                 m_request.m_strURL.c_str());
    } else if (storable) {
        CString host, path;
        CacheKey(host, path);
        if (KvCacheMgr::GetInstance()->AddCache(host, path, &m_response)) {
            LogError(KV_LOG_INFO, "Save to cache: %s", m_request.m_strURL.c_str());
            KeepStoredReady(host, path);
        } else {
            LogError(KV_LOG_INFO, "Saving to cache failed: %s", m_request.m_strURL.c_str());
        }
    }
    // The copy (up to the cap) is not kept while the thread idles.
    m_response.m_bufBody.Empty();
    m_copyReservation.Release();
}

int KvProxyRequestKavori::ResponseCacheDelete() {
    CString host, path;
    CacheKey(host, path);
    KvCacheMgr::GetInstance()->DeleteCache(host, path);
    m_response.Reset();
    // The link is the address as the browser gave it, so that it fetches
    // the very object again; the text shows it decoded.
    m_response.m_bufBody.PutString(KvCacheDeletedBody(m_strURL, m_strTarget));
    ResponseFinish("text/html");
    SendAnswerOfProxy();
    return 1;
}
