#include "proxy/feeds/KvFeedSettings.h"

#include <mutex>

#include "base/file/KvIniFile.h"
#include "proxy/core/KvConfigKeys.h"

namespace {

std::mutex g_lock;

KvFeedSettings& Current() {
    static KvFeedSettings settings;
    return settings;
}

CString Value(const KvIniFile& ini, const char* section, const char* key) {
    CString value = KvConfigString(ini, section, key);
    value.Trim();
    return value;
}

}  // namespace

KvFeedSettings KvGetFeedSettings() {
    std::lock_guard<std::mutex> hold(g_lock);
    return Current();
}

void KvSetFeedSettings(const KvFeedSettings& settings) {
    std::lock_guard<std::mutex> hold(g_lock);
    Current() = settings;
}

void KvApplyFeedSettings(const KvIniFile& ini) {
    KvFeedSettings s;
    s.webSearch = Value(ini, "Services", "WebSearch");
    s.bookService = Value(ini, "Services", "BookService");
    s.subscriptionId = Value(ini, "Services", "BookSubscriptionId");
    s.associateTag = Value(ini, "Services", "BookAssociateTag");
    s.bookShop = Value(ini, "Services", "BookShop");
    s.feedReader = Value(ini, "Services", "FeedReader");
    s.copyright = Value(ini, "General", "FeedCopyright");
    KvSetFeedSettings(s);
}
