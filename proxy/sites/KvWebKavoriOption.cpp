// KvWebKavori: the set-up page ("option.php"): how to point browsers and
// tools at this proxy, the configuration in force (read-only), the sizes of
// the lists and of the cache on disk. Every value shown is escaped: the
// configuration file is text anyone with access to the data folder wrote.
#include <ftw.h>
#include <strings.h>
#include <sys/stat.h>

#include <string>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/sites/KvWebKavori.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebHosts.h"

namespace {

// Keys whose values are an account's credentials: shown as set or not.
bool IsSecretKey(const char* key) { return strcasecmp(key, "BookSubscriptionId") == 0; }

// The address a browser on this machine uses: a wildcard listener is
// reached through the loopback address, an IPv6 one in brackets.
CString BrowserAddress(const CString& host, unsigned port) {
    CString name = host;
    if (name.IsEmpty() || name == "0.0.0.0") name = "127.0.0.1";
    if (name == "::" || name == "[::]") name = "::1";
    if (name.Find(':') >= 0 && name[0] != '[') name = "[" + name + "]";
    return StrFormat("%s:%u", name.c_str(), port);
}

// Non-empty lines of a list file; -1 when the file cannot be read.
int CountPatterns(const CString& path) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return -1;
    int count = 0;
    bool content = false;
    for (int c = fgetc(file);; c = fgetc(file)) {
        if (c == EOF || c == '\n' || c == '\r') {
            if (content) ++count;
            content = false;
            if (c == EOF) break;
        } else if (c != ' ' && c != '\t') {
            content = true;
        }
    }
    fclose(file);
    return count;
}

// The bytes and files below a folder (nftw keeps no state of its own).
thread_local long long tCacheBytes = 0;
thread_local long long tCacheFiles = 0;

int AddCacheFile(const char*, const struct stat* st, int type, struct FTW*) {
    if (type == FTW_F) {
        tCacheBytes += st->st_size;
        ++tCacheFiles;
    }
    return 0;
}

CString HumanSize(long long bytes) {
    if (bytes < 1024) return StrFormat("%lld bytes", bytes);
    if (bytes < 1024 * 1024) return StrFormat("%.1f KiB", bytes / 1024.0);
    if (bytes < 1024LL * 1024 * 1024) return StrFormat("%.1f MiB", bytes / (1024.0 * 1024));
    return StrFormat("%.2f GiB", bytes / (1024.0 * 1024 * 1024));
}

}  // namespace

CString KvWebKavori::RenderConfigRows() {
    KvWebProxyApp* app = KvGetProxyApp();
    CString rows = "<tr><th>Key</th><th>Value in force</th><th>Meaning</th></tr>\r\n";
    CString section;
    for (const KvConfigKey& key : KvConfigKeys()) {
        if (section.CompareNoCase(key.section) != 0) {
            section = key.section;
            rows += "<tr class=\"kv-section\"><td colspan=\"3\"><code>[" + HtmlEscape(section) + "]</code></td></tr>\r\n";
        }
        CString value = app ? KvConfigString(app->m_iniFile, key.section, key.key) : CString(key.value);
        // The listener may come from the command line: the one in use.
        if (app && strcasecmp(key.key, "Listen") == 0) value = BrowserAddress(app->m_strListenHost, app->GetBoundPort());
        if (strcasecmp(key.key, "basepath") == 0) value = m_strBasePath;
        CString shown;
        if (value.IsEmpty()) {
            shown = "<span class=\"hint\">" + HtmlEscape(key.shown) + "</span>";
        } else if (IsSecretKey(key.key)) {
            shown = "<span class=\"hint\">set (not shown)</span>";
        } else {
            shown = "<code>" + HtmlEscape(value) + "</code>";
        }
        rows += "<tr><td class=\"kv-key\"><code>" + HtmlEscape(key.key) +
                "</code></td><td class=\"kv-value\">" + shown + "</td><td class=\"kv-meaning\">" + HtmlEscape(key.meaning) +
                "</td></tr>\r\n";
    }
    return rows;
}

CString KvWebKavori::RenderListRows() {
    KvWebProxyApp* app = KvGetProxyApp();
    struct ListFile {
        const char* file;
        const char* label;
        int inUse;
    };
    const ListFile lists[] = {
        {"whitelist.txt", "White list (never blocked)", app ? app->m_bUseWhiteList : 0},
        {"blacklist.txt", "Black list (blocked)", app ? app->m_bUseBlackList : 0},
        {"popupfilter.txt", "Pop-up filter", app ? app->m_bUsePopUpFilter : 0},
        {"nocache.txt", "No-cache list (never from the cache)", app ? app->m_bUseNoCacheList : 0},
    };
    CString rows = "<tr><th>List</th><th>File</th><th>Patterns</th><th>In use</th></tr>\r\n";
    for (const ListFile& list : lists) {
        const int count = CountPatterns(m_strBasePath + "/" + list.file);
        rows += "<tr><td>" + HtmlEscape(list.label) + "</td><td class=\"kv-key\"><code>" + HtmlEscape(list.file) +
                "</code></td><td data-label=\"Patterns\">" + (count < 0 ? CString("no file") : StrFormat("%d", count)) +
                "</td><td data-label=\"In use\">" + (list.inUse ? "yes" : "no") + "</td></tr>\r\n";
    }
    return rows;
}

int KvWebKavori::ResponseOption() {
    KvWebProxyApp* app = KvGetProxyApp();
    const CString address = app ? BrowserAddress(app->m_strListenHost, app->GetBoundPort()) : CString("127.0.0.1:8168");
    const int colon = address.ReverseFind(':');
    tCacheBytes = tCacheFiles = 0;
    (void)nftw((m_strBasePath + "/Cache").c_str(), AddCacheFile, 16, FTW_PHYS);
    KvParseImp imp;
    imp.AddVariable("current_path", RenderHomeLink() + " &gt; <a href=\"/option.php\">Set-up</a>");
    imp.AddVariable("proxy_address", HtmlEscape(address));
    imp.AddVariable("proxy_host", HtmlEscape(address.Left(colon)));
    imp.AddVariable("proxy_port", HtmlEscape(address.Mid(colon + 1)));
    imp.AddVariable("pac_url", StrFormat("%s/proxy.pac", KV_PORTAL_URL));
    imp.AddVariable("pac_url_direct", HtmlEscape("http://" + address + "/proxy.pac"));
    imp.AddVariable("config_rows", RenderConfigRows());
    imp.AddVariable("list_rows", RenderListRows());
    imp.AddVariable("cache_size", HtmlEscape(HumanSize(tCacheBytes)));
    imp.AddVariable("cache_files", StrFormat("%lld", tCacheFiles));
    imp.AddVariable("cache_state", app && app->m_bCacheDisabled ? " (not consulted)" : "");
    imp.AddVariable("base_dir", HtmlEscape(m_strBasePath));
    CString configFile = app ? app->m_strConfigFile : CString();
    if (configFile.IsEmpty()) configFile = KvWebProxyApp::DefaultConfigFile();
    imp.AddVariable("config_file", HtmlEscape(configFile));
    return ResponseTemplatePage("/_template/option.htm", "KvProxy Set-up", imp);
}
