#include "proxy/core/KvProxyKavoriSettings.h"

#include <cctype>

#include "proxy/cache/KvCacheMgr.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvHistoryLog.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"
#include "proxy/web/KvWebImportDir.h"

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
    const KvIniFile& ini = app.m_iniFile;
    settings.zuRedirects = Words(KvConfigString(ini, "General", "ZuRedirectPrefixes"));
    settings.starRedirects = Words(KvConfigString(ini, "General", "StarRedirectPrefixes"));
    settings.customSearch = Trimmed(KvConfigString(ini, "General", "CustomSearchPrefix"));
    KvSetKavoriSettings(settings);

    KvPortalHosts hosts = KvGetPortalHosts();
    hosts.portalDomain = Trimmed(KvConfigString(ini, "General", "PortalDomain")).c_str();
    hosts.portalDomain.MakeLower();
    KvSetPortalHosts(hosts);
    KvSetImportDir(Trimmed(KvConfigString(ini, "General", "ImportDir")).c_str());
    KvCacheMgr::SetCacheSettings(app.m_strBasePath + "/Cache/", app.m_nCacheExpiredDays);
    // "History=0" turns it off (a number read as such would fall back to the default).
    KvHistoryLog::Shared().Configure(std::string(app.m_strBasePath.c_str()) + "/history.txt",
                                     Trimmed(KvConfigString(ini, "General", "History")) != "0");
    return 1;
}
