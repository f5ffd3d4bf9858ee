#include "ext/KvSEFetch/KvSEFetch.h"

#include <mutex>

#include "base/containers/KvObjectArray.h"
#include "base/file/KvIniFile.h"
#include "inet/fetch/KvDownload.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/html/KvSimpleLink.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

std::mutex g_lock;

KvSearchSettings& Current() {
    static KvSearchSettings settings{KvConfigDefault("Search", "google"), KvConfigDefault("Search", "yahoo"),
                                     KvConfigDefault("Search", "msn")};
    return settings;
}

CString Value(const KvIniFile& ini, const char* key) {
    CString value = KvConfigString(ini, "Search", key);
    value.Trim();
    return value;
}

}  // namespace

KvSearchSettings KvGetSearchSettings() {
    std::lock_guard<std::mutex> hold(g_lock);
    return Current();
}

void KvSetSearchSettings(const KvSearchSettings& settings) {
    std::lock_guard<std::mutex> hold(g_lock);
    Current() = settings;
}

void KvApplySearchSettings(const KvIniFile& ini) {
    KvSetSearchSettings({Value(ini, "google"), Value(ini, "yahoo"), Value(ini, "msn")});
}

CString KvSearchTemplate(const char* service) {
    const KvSearchSettings s = KvGetSearchSettings();
    const CString name(service ? service : "");
    if (name == "google") return s.google;
    if (name == "yahoo") return s.yahoo;
    if (name == "msn") return s.msn;
    return CString();
}

CString KvSearchUrl(const char* templ, const char* query) {
    CString url(templ ? templ : "");
    if (url.Find("{q}") < 0) return CString();
    url.Replace("{q}", UrlEscapeComponent(query ? query : ""));
    return url;
}

int KvServiceSearchToArray(const char* service, const char* query, KvObjectArray* links) {
    const CString url = KvSearchUrl(KvSearchTemplate(service), query);
    if (url.IsEmpty() || !links) return 0;
    CString text;
    KvDownloadOutcome outcome;
    if (!KvDownloadToString(url, text, 0, nullptr, outcome) || outcome.status < 200 || outcome.status > 299) return 0;
    KvObjectArray items;
    CString title, description, copyright, message;
    if (!KvConvertFeedToLinks(text, url, &items, query, title, description, copyright, message)) return 0;
    for (int i = 0; i < items.GetSize(); ++i) {
        const auto* item = static_cast<const KvLinkItem*>(items[i]);
        if (item->m_strUrl.IsEmpty()) continue;
        links->Add(new KvSimpleLinkItem(item->m_strUrl, item->m_strTitle, item->m_strDesc));
    }
    return 1;
}

int GoogleSearchToArray(const char* query, KvObjectArray* links) {
    return KvServiceSearchToArray("google", query, links);
}

int YahooSearchToArray(const char* query, KvObjectArray* links) { return KvServiceSearchToArray("yahoo", query, links); }

int MSNSearchToArray(const char* query, KvObjectArray* links) { return KvServiceSearchToArray("msn", query, links); }
