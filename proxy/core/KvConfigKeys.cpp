#include "proxy/core/KvConfigKeys.h"

#include <strings.h>

#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/file/KvIniFile.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/web/KvWebHosts.h"

namespace {

constexpr KvConfigKey kKeys[] = {
    {"Directories", "basepath", "", "the program's folder, or ~/.local/share/kvproxy when installed",
     "base directory of templates, lists, cache and logs; relative to the file's folder"},
    {"Proxy", "Listen", "127.0.0.1:8168", "127.0.0.1:8168", "host:port the proxy listens on (port 0 too)"},
    {"Proxy", "Forward", "", "direct connections", "upstream proxy host:port that every request goes through"},
    {"Proxy", "RecTimeout", "180", "180", "seconds to wait for a silent browser or server"},
    {"Proxy", "KeepAliveTimeout", "60", "60", "seconds a browser's idle connection stays open for its next request; 0: closed after each answer"},
    {"Proxy", "HeadTimeout", "30", "30", "seconds a browser has to send a whole request head (0 keeps the default)"},
    {"Proxy", "MaxConnectionsPerClient", "128", "128", "most open connections of one client address"},
    {"Proxy", "CacheExpiredDays", "3650", "3650", "days after which a cached answer counts as expired"},
    {"Proxy", "Tunnel", "0", "off", "1: serve HTTPS (CONNECT) as tunnels"},
    {"Proxy", "TunnelPorts", "443", "443", "ports a tunnel may reach, comma-separated"},
    {"Proxy", "MaxCacheBody", "16", "16", "largest answer (MiB) of which a copy is kept for the cache"},
    {"Proxy", "CacheCopyBudget", "128", "128",
     "memory (MiB) that copies for the cache may take, all downloads together"},
    {"Proxy", "ErrorPages", "browser", "browser",
     "when our error page replaces an origin's error answer: browser, all or none"},
    {"Proxy", "MemoryCache", "64", "64", "memory (MiB) that keeps recent cache hits ready to send"},
    {"General", "UseWhiteList", "0", "off", "1: load whitelist.txt"},
    {"General", "UseBlackList", "0", "off", "1: load blacklist.txt"},
    {"General", "UsePopUpFilter", "0", "off", "1: load and apply popupfilter.txt"},
    {"General", "UseNoCacheList", "0", "off", "1: load and apply nocache.txt"},
    {"General", "PortalDomain", KV_HOST_PORTAL, KV_HOST_PORTAL, "a Referer under this domain passes the lists"},
    {"General", "ZuRedirectPrefixes", "", "none", "redirector prefixes whose target is the zu parameter"},
    {"General", "StarRedirectPrefixes", "", "none", "redirector prefixes whose target follows **"},
    {"General", "CustomSearchPrefix", "", "none", "addresses beginning with it are never cached"},
    {"General", "CAFile", "", "none", "extra trusted certificates (PEM) for downloads over https"},
    {"General", "UserAgent", "Mozilla/5.0 (X11; Linux x86_64) KvProxy/1.0", "Mozilla/5.0 (X11; Linux x86_64) KvProxy/1.0",
     "User-Agent of KvProxy's own downloads (feeds, pages)"},
    {"General", "FetchTimeout", "30", "30", "seconds one download of KvProxy's own may take"},
    {"General", "ImportDir", "Import", "Import",
     "the only folder from which the local sites' directory uploads read; relative: from basepath"},
    {"General", "FeedCopyright", "", "none", "copyright notice of the RSS feeds KvProxy writes"},
    {"General", "History", "1", "1", "1: write the pages a browser shows to history.txt; 0: keep no history"},
    {"General", "FeedRefresh", "0", "off", "1: RSS readers download their feeds when the refresh period has passed"},
    {"General", "PrivateDownloads", "0", "off",
     "1: the sites' downloads may reach this machine and private networks, not only the configured services"},
    {"Services", "WebSearch", "", "none", "base address of a web search's XML interface (meta-search)"},
    {"Services", "BookService", "", "none", "base address of a book web service (meta-search)"},
    {"Services", "BookSubscriptionId", "", "none", "subscription id of the book web service"},
    {"Services", "BookAssociateTag", "", "none", "associate tag appended to the bookseller's product pages"},
    {"Services", "BookShop", "", "none", "base address of the bookseller's product pages"},
    {"Services", "FeedReader", "", "none", "base address of an outside feed reader's subscription page"},
    {"Search", "google", "", "none", "address of a search service's RSS or Atom answer, {q} the query (meta-search)"},
    {"Search", "yahoo", "", "none", "address of a second search service's RSS or Atom answer, {q} the query"},
    {"Search", "msn", "https://www.bing.com/search?format=rss&q={q}", "https://www.bing.com/search?format=rss&q={q}",
     "address of a third search service's RSS or Atom answer, {q} the query"},
    {"Debugging", "debug", "0", "fatal errors only", "LogError kinds written (bit mask); fatal errors always"},
};

bool IsBlank(const char* text) {
    for (; text && *text; ++text) {
        if (*text != ' ' && *text != '\t') return false;
    }
    return true;
}

// The default of a key the code names; a name missing from the table is
// a programming error.
const KvConfigKey& Key(const char* section, const char* key) {
    static const KvConfigKey kNone = {"", "", "", "", ""};
    const KvConfigKey* found = KvFindConfigKey(section, key);
    assert(found && "every configuration key is in the table");
    return found ? *found : kNone;
}

}  // namespace

std::span<const KvConfigKey> KvConfigKeys() { return kKeys; }

const KvConfigKey* KvFindConfigKey(const char* section, const char* key) {
    if (!section || !key) return nullptr;
    for (const KvConfigKey& k : kKeys) {
        if (strcasecmp(k.section, section) == 0 && strcasecmp(k.key, key) == 0) return &k;
    }
    return nullptr;
}

const char* KvConfigDefault(const char* section, const char* key) { return Key(section, key).value; }

int KvConfigDefaultInt(const char* section, const char* key) { return std::atoi(KvConfigDefault(section, key)); }

CString KvConfigString(const KvIniFile& ini, const char* section, const char* key) {
    const char* value = ini.GetValue(section, key);
    return IsBlank(value) ? CString(KvConfigDefault(section, key)) : CString(value);
}

int KvConfigInt(const KvIniFile& ini, const char* section, const char* key) {
    const int fallback = KvConfigDefaultInt(section, key);
    const char* value = ini.GetValue(section, key);
    if (IsBlank(value)) return fallback;
    const int number = std::atoi(value);
    return fallback > 0 && number <= 0 ? fallback : number;
}

int KvConfigIntZeroAllowed(const KvIniFile& ini, const char* section, const char* key) {
    const int fallback = KvConfigDefaultInt(section, key);
    const char* value = ini.GetValue(section, key);
    if (IsBlank(value)) return fallback;
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(value, &end, 10);
    if (end == value || !IsBlank(end) || errno == ERANGE || number < 0 || number > INT_MAX) return fallback;
    return (int)number;
}

CString KvDefaultListenHost() {
    CsString host;
    int port = 0;
    BreakHostPort(KvConfigDefault("Proxy", "Listen"), host, port);
    return host.GetStr();
}

int KvDefaultListenPort() {
    CsString host;
    int port = 0;
    BreakHostPort(KvConfigDefault("Proxy", "Listen"), host, port);
    return port;
}
