// The application's filter lists: pop-up filter and no-cache list (read
// with the configuration), white and black lists (prepared by the first
// request that needs them).
#include <strings.h>

#include <cstring>

#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"

namespace {

// The host of a referer URL, lower-cased ("" when it has none).
CString RefererHost(const char* referer) {
    const char* start = std::strstr(referer, "://");
    start = start ? start + 3 : referer;
    size_t len = std::strcspn(start, "/?#");
    CString host(start, (int)len);
    int at = host.ReverseFind('@');
    if (at >= 0) host = host.Mid(at + 1);
    int colon = host.Find(':');
    if (colon >= 0) host = host.Left(colon);
    host.MakeLower();
    return host;
}

// The referer is a page of the portal's own domain: its host is the domain
// or a name under it. Only the host counts, so a foreign page cannot claim
// the portal by putting the domain into its path or query.
bool RefererOnPortal(const char* referer) {
    if (!referer || !*referer) return false;
    CString domain = KvGetPortalHosts().portalDomain;
    if (domain.IsEmpty()) return false;
    domain.MakeLower();
    CString host = RefererHost(referer);
    if (host == domain) return true;
    return host.GetLength() > domain.GetLength() + 1 && host.Right(domain.GetLength() + 1) == "." + domain;
}

}  // namespace

int KvWebProxyApp::ReadPopUpFilter(const char* file) {
    m_lstPopUpFilter.LoadFile(file);
    return m_lstPopUpFilter.InitTheList();
}

int KvWebProxyApp::ReadNoCacheList(const char* file) {
    m_lstNoCache.LoadFile(file);
    return m_lstNoCache.InitTheList();
}

int KvWebProxyApp::InitWhiteAndBlackList() {
    // Many request threads may ask at once; the lists are made once.
    if (m_bListsReady.load(std::memory_order_acquire)) return 1;
    std::lock_guard<std::mutex> guard(m_csLists);
    if (m_bListsReady.load(std::memory_order_relaxed)) return 1;
    m_lstWhite.RemoveAll();
    m_lstBlack.RemoveAll();
    if (m_bUseWhiteList) m_lstWhite.LoadFile(m_strBasePath + "/" + m_strWhiteListFile);
    m_lstWhite.AddKavoriItems();
    m_lstWhite.InitTheList();
    if (m_bUseBlackList) m_lstBlack.LoadFile(m_strBasePath + "/" + m_strBlackListFile);
    m_lstBlack.InitTheList();
    m_bListLoaded = 1;
    m_bListsReady.store(true, std::memory_order_release);
    return 1;
}

int KvWebProxyApp::IsInWhiteList(const char* url, const char* referer) {
    if (RefererOnPortal(referer)) return 1;
    InitWhiteAndBlackList();
    return m_lstWhite.IsMatch(url);
}

int KvWebProxyApp::IsInBlackList(const char* url, CString& matchedRule) {
    InitWhiteAndBlackList();
    return m_lstBlack.IsMatch(url, &matchedRule);
}

int KvWebProxyApp::IsMatchPopUpFilter(const char* url) {
    return m_bUsePopUpFilter ? m_lstPopUpFilter.IsMatch(url) : 0;
}

int KvWebProxyApp::IsMatchNoCacheList(const char* url) {
    return m_bUseNoCacheList ? m_lstNoCache.IsMatch(url) : 0;
}
