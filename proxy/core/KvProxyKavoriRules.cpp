#include "proxy/core/KvProxyKavoriRules.h"

#include <cstring>

#include "inet/url/KvUrlCanonical.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyText.h"
#include "proxy/core/KvWebProxyApp.h"

namespace {

bool StartsWith(const char* text, const std::string& prefix) {
    return !prefix.empty() && std::strncmp(text, prefix.c_str(), prefix.size()) == 0;
}

bool AnyPrefix(const char* text, const std::vector<std::string>& prefixes) {
    for (const std::string& prefix : prefixes) {
        if (StartsWith(text, prefix)) return true;
    }
    return false;
}

}  // namespace

KvShortcut KvFindShortcut(const char* url, const KvKavoriSettings& settings) {
    if (!url) return KvShortcut::None;
    if (AnyPrefix(url, settings.zuRedirects)) return KvShortcut::Zu;
    if (AnyPrefix(url, settings.starRedirects)) return KvShortcut::Stars;
    return KvShortcut::None;
}

bool KvIsRedirectTarget(const char* target) {
    if (!target || !*target) return false;
    for (const unsigned char* p = (const unsigned char*)target; *p; ++p) {
        if (*p < 0x20 || *p == 0x7F) return false;  // a line break would split the header
    }
    return true;
}

bool KvStarRedirectTarget(const char* url, CString& target) {
    const char* stars = url ? std::strstr(url, "**") : nullptr;
    if (!stars || stars == url) return false;
    target = stars + 2;
    UrlDecode(&target);
    return KvIsRedirectTarget(target);
}

KvListVerdict KvJudgeByLists(KvWebProxyApp& app, const char* url, const char* referer, bool forced) {
    KvListVerdict verdict;
    if (forced) return verdict;
    // Rules are met by the URL as received and by its canonical form, so
    // another spelling of a blocked address ("host:0080", "//a", "/./a")
    // is blocked too; the white list passes either.
    const char* received = url ? url : "";
    const CString canonical = KvCanonicalUrl(received);
    const bool twoForms = !canonical.IsEmpty() && canonical != received;
    const char* ref = referer ? referer : "";
    if (app.IsInWhiteList(received, ref) || (twoForms && app.IsInWhiteList(canonical, ref))) return verdict;
    if (app.IsMatchPopUpFilter(received) || (twoForms && app.IsMatchPopUpFilter(canonical))) {
        verdict.code = 904;
    } else if (app.IsInBlackList(received, verdict.matchedRule) ||
               (twoForms && app.IsInBlackList(canonical, verdict.matchedRule))) {
        verdict.code = 903;
    }
    return verdict;
}

bool KvIsCacheBypassed(KvWebProxyApp* app, const KvKavoriSettings& settings, const CString& url, bool bypassFlag) {
    if (bypassFlag || url.GetLength() >= KV_LONG_URL) return true;
    if (StartsWith(url.c_str(), settings.customSearch)) return true;
    return app && app->IsMatchNoCacheList(url);
}

CString KvCacheDeletedBody(const char* url, const char* link) {
    CString body;
    body.Format("<h1>Cache Deleted</h1><body>Cache for %s deleted. Click <a href=\"%s\">HERE</a> to Refresh.</body>",
                KvProxyHtmlText(url).c_str(), KvProxyHtmlText(link).c_str());
    return body;
}

CString KvTunnelUrl(const char* host, int port) {
    CString url = "https://";
    const char* name = host ? host : "";
    // An IPv6 address goes in brackets, as in any URL, so lists can name it.
    const bool v6 = std::strchr(name, ':') != nullptr;
    if (v6) url += "[";
    url += name;
    if (v6) url += "]";
    if (port != 443) url.AppendFormat(":%d", port);
    url += "/";
    return url;
}
