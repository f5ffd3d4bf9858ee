// Fuzzes the feed reader on whole documents: whatever the bytes, reading
// ends with a verdict; a feed that was read is written out as RSS 2.0 and
// that document reads back with the same number of items.
#include <cstddef>
#include <cstdint>

#include "base/containers/KvObjectArray.h"
#include "proxy/feeds/KvFeedParse.h"
#include "proxy/feeds/KvRssWriter.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    KvFeed feed;
    CString message;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (!KvParseFeed(bytes, size, "https://feeds.example/dir/feed.xml", "fuzz.xml", feed, message)) {
        Check(feed.items.empty() && !message.IsEmpty());
        return 0;
    }
    Check(!feed.kind.IsEmpty());
    KvObjectArray links;
    for (const KvFeedItem& item : feed.items) {
        auto* record = new KvLinkItem(item.link, item.title, item.description);
        if (item.hasDate) record->m_timeUploadOn = KvTime(item.date);
        links.Add(record);
    }
    CString rss = RssGenerateFromLinks(feed.title, feed.link, feed.description, &links);
    KvFeed again;
    Check(KvParseFeed(rss.c_str(), (size_t)rss.GetLength(), "", "written.xml", again, message));
    Check(again.items.size() == feed.items.size());
    return 0;
}
