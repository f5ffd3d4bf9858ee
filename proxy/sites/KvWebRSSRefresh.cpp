// KvWebRSS: reading a feed and storing it, for "Update Now" and for the
// background refresher.
#include <vector>

#include "base/str/StrFunc.h"
#include "base/thread/KvCriticalObj.h"
#include "base/time/KvTime.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/log/KvLogError.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/sites/KvWebRSS.h"

namespace {

constexpr double kMinuteDays = 1.0 / 1440;

struct DueFeed {
    int folder;
    CString url;
    CString keywords;
};

}  // namespace

double KvWebRSS::PeriodDays(int count, const CString& unit) {
    double days = 1;
    if (unit == "minutes") days = kMinuteDays;
    else if (unit == "hours") days = 1.0 / 24;
    else if (unit == "weeks") days = 7;
    const double period = (count < 1 ? 1 : count) * days;
    return period < kMinuteDays ? kMinuteDays : period;
}

bool KvWebRSS::FetchFeed(const CString& url, const CString& keywords, KvFetchedFeed& feed) {
    // A download asked for goes to the network, not to the proxy's copy
    // (also one that the previous download's answer left behind after it
    // was removed).
    (void)OpenAndDeleteCacheObject("vcache", url);
    return DownloadRssRdfToLinks(url, &feed.items, keywords, feed.title, feed.description, feed.copyright,
                                 feed.message);
}

bool KvWebRSS::StoreFeed(int cat, const CString& url, KvFetchedFeed& feed) {
    // The folder is read again: it may have changed or gone while the feed
    // was fetched.
    KvWebFolderRSS folder;
    if (!m_repo.GetFolder(cat, &folder) || folder.m_strRssUrl != url) return false;
    if (!feed.items.IsEmpty() && !m_repo.AddNewItems(cat, &feed.items)) {
        LogError(KV_LOG_ERROR, "RSS reader %s: the items of %s could not be stored.", m_strDomain.c_str(), url.c_str());
        return false;
    }
    if (!feed.copyright.IsEmpty()) folder.m_strRssCopyright = feed.copyright;
    if (!feed.title.IsEmpty() || !feed.description.IsEmpty()) {
        folder.m_strDesc = feed.title.IsEmpty()         ? feed.description
                           : feed.description.IsEmpty() ? feed.title
                                                        : feed.title + ". " + feed.description;
    }
    folder.m_timeRssLastDownload = KvTime::GetCurTime();
    (void)m_repo.UpdateFolder(&folder);
    (void)m_repo.UpdateFolderLastDownload(cat, folder.m_timeRssLastDownload);
    (void)OpenAndDeleteCacheObject("vcache", url);
    ContentChanged();
    return true;
}

int KvWebRSS::RefreshDueFeeds(const std::function<bool()>& stopping) {
    std::vector<DueFeed> due;
    {
        KvCriticalLock lock(m_csLock);
        if (!IsInitiated()) Initiate();
        if (!IsInitiated()) return 0;
        const double now = KvTime::GetCurTime().GetDayNumber();
        KvObjectArray folders;
        (void)m_repo.PopulateFeedFolders(&folders);
        for (int i = 0; i < folders.GetSize(); ++i) {
            const auto* folder = static_cast<const KvWebFolderRSS*>(folders[i]);
            const double period = PeriodDays(folder->m_nRssPeriode, folder->m_strRssPeriodeStr);
            const auto retry = m_retryAfter.find(folder->m_nID);
            if (retry != m_retryAfter.end() && now < retry->second) continue;
            if (now - folder->m_timeRssLastDownload.GetDayNumber() < period) continue;
            if (!KvIsWebAddress(folder->m_strRssUrl)) continue;
            due.push_back({folder->m_nID, folder->m_strRssUrl, folder->m_strKeywords});
        }
    }
    int stored = 0;
    for (const DueFeed& feed : due) {
        if (stopping()) break;
        KvFetchedFeed fetched;
        const bool ok = FetchFeed(feed.url, feed.keywords, fetched);
        KvCriticalLock lock(m_csLock);
        if (!ok) {
            LogError(KV_LOG_ERROR, "RSS reader %s: the feed %s could not be refreshed: %s", m_strDomain.c_str(),
                     feed.url.c_str(), fetched.message.c_str());
            KvWebFolderRSS folder;
            const double period = m_repo.GetFolder(feed.folder, &folder)
                                      ? PeriodDays(folder.m_nRssPeriode, folder.m_strRssPeriodeStr)
                                      : 1;
            m_retryAfter[feed.folder] = KvTime::GetCurTime().GetDayNumber() + period;
            continue;
        }
        m_retryAfter.erase(feed.folder);
        if (StoreFeed(feed.folder, feed.url, fetched)) ++stored;
    }
    return stored;
}
