// KvProxyRequestKavori: the browsing history. A page a browser loads to
// show it is written to the history once its answer has been sent,
// whether it came from the origin or from the cache.
#include <strings.h>

#include <cstring>
#include <ctime>

#include "proxy/cache/KvCacheReady.h"
#include "proxy/core/KvHistoryLog.h"
#include "proxy/core/KvHistoryText.h"
#include "proxy/core/KvProxyRequestKavori.h"

namespace {

// The value of a header in a head as it goes out ("Name: value\r\n"
// lines); empty when it has none.
std::string HeadValue(std::string_view head, const char* name) {
    const size_t length = std::strlen(name);
    size_t at = head.find('\n');  // past the status line
    while (at != std::string_view::npos && at + 1 < head.size()) {
        const std::string_view line = head.substr(at + 1, head.find('\n', at + 1) - at - 1);
        if (line.size() > length && line[length] == ':' && strncasecmp(line.data(), name, length) == 0) {
            std::string_view value = line.substr(length + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.remove_suffix(1);
            return std::string(value);
        }
        at = head.find('\n', at + 1);
    }
    return "";
}

}  // namespace

bool KvProxyRequestKavori::HistoryWanted() const {
    return KvHistoryLog::Shared().Enabled() && KvIsPageLoad(m_request);
}

void KvProxyRequestKavori::NoteVisit(std::string_view body, const char* contentType, const char* contentEncoding,
                                     int status) {
    if (!KvIsHtmlPage(status, contentType)) return;
    const std::string title = KvPageTitle(KvDecodedHead(body, contentEncoding));
    KvHistoryLog::Shared().Append(m_strTarget.view(), title, std::time(nullptr));
}

void KvProxyRequestKavori::NoteReadyVisit(const KvCacheReady& ready) {
    NoteVisit(std::string_view(ready.body).substr(0, kHistoryHeadBytes), HeadValue(ready.head, "Content-Type").c_str(),
              HeadValue(ready.head, "Content-Encoding").c_str(), ready.status);
}
