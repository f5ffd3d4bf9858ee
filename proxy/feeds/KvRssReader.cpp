#include "proxy/feeds/KvRssReader.h"

#include <ctime>

#include "base/containers/KvObjectArray.h"
#include "base/time/KvTime.h"
#include "inet/fetch/KvDownload.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/feeds/KvFeedParse.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

constexpr char kDocName[] = "rss_manager.xml";

KvLinkItem* MakeRecord(const KvFeedItem& item, const char* keywords) {
    CString description = item.description;
    description.Trim();
    if (!description.IsEmpty()) EnsureEndPoint(description);
    if (!item.author.IsEmpty()) description += " Author:" + item.author + ".";
    if (!item.dateText.IsEmpty()) description += " Pubdate:" + item.dateText + ".";
    auto* record = new KvLinkItem(item.link, item.title, description);
    record->m_strKeywords = keywords ? keywords : "";
    record->m_timeUploadOn = KvTime(item.hasDate ? item.date : std::time(nullptr));
    return record;
}

}  // namespace

bool KvConvertFeedToLinks(const CString& text, const char* feedUrl, KvObjectArray* links, const char* keywords,
                          CString& title, CString& description, CString& copyright, CString& message) {
    if (links) links->RemoveAll();
    KvFeed feed;
    if (!KvParseFeed(text.c_str(), (size_t)text.GetLength(), feedUrl, kDocName, feed, message)) return false;
    if (!feed.title.IsEmpty()) title = feed.title;
    if (!feed.description.IsEmpty()) description = feed.description;
    if (!feed.copyright.IsEmpty()) copyright = feed.copyright;
    if (links) {
        for (const KvFeedItem& item : feed.items) links->Add(MakeRecord(item, keywords));
    }
    return true;
}

bool ConvertRssRdfStringToLinks(const CString& text, KvObjectArray* links, const char* keywords, CString& title,
                                CString& description, CString& copyright, CString& message) {
    return KvConvertFeedToLinks(text, "", links, keywords, title, description, copyright, message);
}

bool DownloadRssRdfToLinks(const char* url, KvObjectArray* links, const char* keywords, CString& title,
                           CString& description, CString& copyright, CString& message) {
    if (links) links->RemoveAll();
    CString text;
    KvDownloadOutcome outcome;
    if (!KvDownloadToString(url, text, 1, nullptr, outcome)) {
        message.Format("Download of %s failed: %s", url ? url : "", outcome.error.c_str());
        return false;
    }
    if (outcome.status < 200 || outcome.status > 299) {
        message.Format("Download of %s failed with status %d", url ? url : "", outcome.status);
        return false;
    }
    return KvConvertFeedToLinks(text, outcome.finalUrl, links, keywords, title, description, copyright, message);
}
