#include "proxy/core/KvDownloadSettings.h"

#include <strings.h>

#include <cstring>
#include <utility>

#include "base/file/KvIniFile.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/url/KvLocalHost.h"
#include "inet/web/KvWebApp.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"
#include "proxy/web/KvWebHosts.h"
#include "proxy/web/KvWebMgr.h"

namespace {

// The addresses of the services the user configured: their hosts are
// downloaded from wherever they lie.
constexpr std::pair<const char*, const char*> kServiceKeys[] = {
    {"Search", "google"}, {"Search", "yahoo"}, {"Search", "msn"}, {"Services", "WebSearch"}, {"Services", "BookService"}};

// `host` is `domain` or a name under it.
bool IsUnder(const char* host, const char* domain) {
    size_t h = std::strlen(host), d = std::strlen(domain);
    if (d == 0 || h < d || strcasecmp(host + h - d, domain) != 0) return false;
    return h == d || host[h - d - 1] == '.';
}

}  // namespace

bool KvIsLocalSiteHost(const char* host) {
    if (!host || !*host) return false;
    if (IsUnder(host, KV_HOST_PORTAL)) return true;
    const CString& portal = KvGetPortalHosts().portalDomain;
    if (!portal.IsEmpty() && IsUnder(host, portal)) return true;
    // The web manager knows the user's sites once a proxy application runs.
    return KvGetProxyApp() && KvWebMgr::GetInstance()->IsLocalHost(host);
}

void KvApplyDownloadSettings(const KvIniFile& ini, const KvWebApp& app) {
    KvFetchSettings s = KvGetFetchSettings();
    s.caFile = KvConfigString(ini, "General", "CAFile");
    s.caFile.Trim();
    if (!s.caFile.IsEmpty() && s.caFile[0] != '/' && !app.m_strBasePath.IsEmpty()) {
        s.caFile = app.m_strBasePath + "/" + s.caFile;
    }
    s.userAgent = KvConfigString(ini, "General", "UserAgent");
    s.timeoutMs = KvConfigInt(ini, "General", "FetchTimeout") * 1000;
    s.proxyHost = app.m_strForwardHost;
    s.proxyPort = app.m_nForwardPort;
    s.isLocalHost = &KvIsLocalSiteHost;
    s.allowInternal = KvConfigInt(ini, "General", "PrivateDownloads") != 0;
    s.trustedHosts.clear();
    for (const auto& [section, key] : kServiceKeys) {
        const CString host = KvWebAddressHost(KvConfigString(ini, section, key));
        if (!host.IsEmpty()) s.trustedHosts.push_back(host);
    }
    KvSetFetchSettings(s);
}

void KvSetDownloadListener(const char* host, int port) {
    KvFetchSettings s = KvGetFetchSettings();
    s.localProxyHost = host ? host : "";
    s.localProxyPort = port;
    KvSetFetchSettings(s);
}
