// KvProxyRequestKavori: the proxy worker of the full system. Before a
// request is forwarded it takes, in this order: the redirect shortcuts,
// cache deletion ("$delete"), the local sites behind virtual host names,
// the white list, the pop-up filter (904 page), the black list (903 page)
// and the persistent cache. A forwarded answer is stored in the cache when
// it may be (GET, status 200/301/302, not host "localhost", its body
// relayed whole and within the copy cap). A hard reload of the browser
// skips the stored copy and replaces it.
//
// Local sites are never subject to the lists or the cache. "$force" passes
// the pop-up filter and the black list; so does a white-listed URL or a
// referer on the portal's domain. "$bypass", a URL of 256 characters or
// more, the custom-search prefix and the no-cache list send the request to
// the origin and keep the answer out of the cache. A CONNECT tunnel meets
// the same filters as "https://host/" before it is opened.
//
// Runs on its request thread like KvProxyRequest; shared state (lists,
// cache, web manager) does its own locking.
#pragma once

#include <string>
#include <string_view>

#include "proxy/core/KvProxyRequest.h"

class KvCacheBodyStream;
struct KvCacheReady;

class KvProxyRequestKavori : public KvProxyRequest {
    DECLARE_DYNCREATE(KvProxyRequestKavori)
public:
    KvProxyRequestKavori();
    ~KvProxyRequestKavori() override;

protected:
    // 1 when the request was answered (or refused) here, 0 to forward it.
    int ResponseLocal() override;
    // The base forward and relay, then the store of the answer.
    int ResponseForwarded() override;
    // The history line of a page load.
    void OnAnswerRelayed() override;
    // The filters on "https://host/", then the base tunnel.
    int ResponseTunnel() override;
    // A request for the proxy's own address (origin-form, or through the
    // proxy to its own listener): the portal's page for the path, or the
    // plain page when the portal cannot answer. 1.
    int ResponseProxyHome() override;

    // --- the decision path's own operations, in slot order ---
    // The 903 page with the matched rule. 0.
    virtual int ResponseBlockedRequest();
    // 1 when a redirect shortcut answered the request.
    virtual int LocalRedirect();
    // 1 when the answer came from the cache.
    virtual int ResponseFromCache();
    // Drops the cached answer and sends the "Cache Deleted" page. 1.
    virtual int ResponseCacheDelete();
    // Stores the forwarded answer when it may be kept.
    virtual void SaveToCache();

    // --- helpers ---
    // The browser's request as the local sites and the cache see it: the
    // target without its "$" suffix. false when that target no longer
    // parses as the one with the suffix did (the request is refused).
    bool UseTargetWithoutSuffix();
    // The cache key of the request: the host connected to (with the port
    // when not 80) and the path as it is sent upstream, so an answer is
    // only ever stored under what was fetched.
    void CacheKey(CString& host, CString& path) const;
    // A hard reload ("Cache-Control: no-cache" or "Pragma: no-cache"):
    // fetched from the origin, and the answer replaces the stored copy.
    bool IsHardReload() const;
    // The answer is a redirect whose "Location" (resolved against the
    // request's URL) names that URL again: stored, it would be a loop
    // served from the cache.
    bool RedirectsToItself() const;
    // m_response, filled here, to the browser.
    void SendAnswerOfProxy();
    // A hit kept in memory, its times set now; false (nothing sent) when
    // it cannot be used.
    bool SendReady(const KvCacheReady& ready);
    // The head in m_response, then the body read from the cache file.
    void SendStreamedAnswer(KvCacheBodyStream& stream);
    // The answer just stored, read back into the memory front of the cache.
    void KeepStoredReady(const CString& host, const CString& path);
    // The short refusal of a blocked tunnel (the browser shows its own page).
    int RefuseTunnel(int code);
    // The request is a page load that the history records (when it is on).
    bool HistoryWanted() const;
    // Records the visit, written after the browser has its answer, when
    // the answer is an HTML page; `body` holds its first bytes.
    void NoteVisit(std::string_view body, const char* contentType, const char* contentEncoding, int status);
    // The visit of a hit kept in memory (its head holds the headers).
    void NoteReadyVisit(const KvCacheReady& ready);
    // The split target names the proxy's own listener (name and port).
    bool TargetIsOwnListener() const;
    // An origin-form request whose "Host" may be shown the portal: none,
    // an address literal, a name of the listener or the portal's own (a
    // name that only resolves here through DNS rebinding gets the plain
    // page, so no other site's page can read the portal).
    bool OriginFormMayShowPortal() const;
    // The request turned into one for the portal at `path` and answered by
    // it, its own addresses in the answer given as `authority` (the
    // "host:port" the browser used); false when there is no portal site.
    bool AnswerAsPortal(const CString& path, const CString& authority);

    std::string m_readyOut;  // a kept hit's head (and small body) as it goes out
};
