#include "proxy/core/KvProxyKavoriSettings.h"

#include <cctype>

#include "proxy/cache/KvCacheMgr.h"
#include "proxy/web/KvPortalHosts.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

KvKavoriSettings g_settings;

// The words of a value separated by blanks, tabs or commas.
std::vector<std::string> Words(const char* value) {
    std::vector<std::string> words;
    std::string word;
    for (const char* p = value ? value : ""; ; ++p) {
        const bool end = *p == '\0';
        if (end || std::isspace((unsigned char)*p) || *p == ',') {
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (end) break;
        } else {
            word.push_back(*p);
        }
    }
    return words;
}

std::string Trimmed(const char* value) {
    std::vector<std::string> words = Words(value);
    return words.empty() ? std::string() : words.front();
}

}  // namespace

const KvKavoriSettings& KvGetKavoriSettings() { return g_settings; }

void KvSetKavoriSettings(const KvKavoriSettings& settings) { g_settings = settings; }

int KvReadKavoriConfig(KvWebProxyApp& app) {
    KvKavoriSettings settings;
    settings.zuRedirects = Words(app.m_iniFile.GetValue("General", "ZuRedirectPrefixes"));
    settings.starRedirects = Words(app.m_iniFile.GetValue("General", "StarRedirectPrefixes"));
    settings.customSearch = Trimmed(app.m_iniFile.GetValue("General", "CustomSearchPrefix"));
    KvSetKavoriSettings(settings);

    CString domain = Trimmed(app.m_iniFile.GetValue("General", "PortalDomain")).c_str();
    domain.MakeLower();
    if (!domain.IsEmpty()) {
        KvPortalHosts hosts = KvGetPortalHosts();
        hosts.portalDomain = domain;
        KvSetPortalHosts(hosts);
    }
    KvCacheMgr::SetCacheSettings(app.m_strBasePath + "/Cache/", app.m_nCacheExpiredDays);
    return 1;
}
