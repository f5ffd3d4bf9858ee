#include "proxy/cache/KvCacheReady.h"

#include <strings.h>

#include <ctime>
#include <string_view>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"

namespace {

// "Sat, 17 Jun 2000 12:00:00 GMT": the length of every time the cache writes.
constexpr size_t kTimeLength = 29;
// Memory an entry takes beyond its bytes (allocations, the LRU links).
constexpr size_t kEntryOverhead = 256;

// The offset of the value of the first header line named `name` in a
// composed head, or npos.
size_t FindValue(std::string_view head, std::string_view name) {
    size_t line = head.find("\r\n");  // past the status line
    while (line != std::string_view::npos && line + 2 < head.size()) {
        const size_t begin = line + 2;
        const size_t end = head.find("\r\n", begin);
        if (end == std::string_view::npos || end == begin) break;
        const std::string_view text = head.substr(begin, end - begin);
        if (text.size() > name.size() + 1 && text[name.size()] == ':' &&
            strncasecmp(text.data(), name.data(), name.size()) == 0) {
            size_t at = begin + name.size() + 1;
            while (at < end && head[at] == ' ') ++at;
            return at;
        }
        line = end;
    }
    return std::string_view::npos;
}

}  // namespace

size_t KvCacheReady::Bytes() const {
    return head.capacity() + body.capacity() + slots.capacity() * sizeof(TimeSlot) + kEntryOverhead;
}

bool KvCacheReady::ComposeHead(std::string& out) const {
    const size_t base = out.size();
    out.append(head);
    const time_t now = time(nullptr);
    for (const TimeSlot& slot : slots) {
        char text[40];
        FormatHttpTime(now + slot.offsetSeconds, text);
        if (std::string_view(text).size() != kTimeLength) return false;
        out.replace(base + slot.at, kTimeLength, text, kTimeLength);
    }
    return true;
}

std::shared_ptr<const KvCacheReady> KvCacheMakeReady(KvHttpResponse& response, bool expires, const KvTime& expired) {
    KvGenBuffer composed;
    if (response.ComposeHeader(&composed) <= 0) return nullptr;
    auto ready = std::make_shared<KvCacheReady>();
    ready->head.assign(composed.GetData(), composed.GetCount());
    const struct {
        const char* name;
        int offset;
    } times[] = {{"Date", 0}, {"Last-Modified", 0}, {"Expires", KvCacheExpiresSeconds(response)}};
    for (const auto& t : times) {
        const size_t at = FindValue(ready->head, t.name);
        if (at == std::string_view::npos || at + kTimeLength + 2 > ready->head.size() ||
            ready->head.compare(at + kTimeLength, 2, "\r\n") != 0) {
            return nullptr;
        }
        ready->slots.push_back({at, t.offset});
    }
    ready->body.assign(response.m_bufBody.GetData(), response.m_bufBody.GetCount());
    ready->status = response.m_nStatus;
    ready->expires = expires;
    ready->expired = expired;
    return ready;
}
