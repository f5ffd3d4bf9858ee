#include "proxy/core/KvProxyBody.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "base/containers/KvGenBuffer.h"
#include "base/str/StrFunc.h"
#include "base/thread/KvThread.h"
#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/net/KvComObject.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvProxySplice.h"

namespace {

constexpr size_t kRelayPiece = 64 * 1024;
// A size line or trailer line longer than this breaks the framing.
constexpr size_t kMaxFramingLine = 64 * 1024;
constexpr size_t kMaxTrailer = 256 * 1024;

// The last transfer coding named by "Transfer-Encoding" is "chunked";
// `any` tells whether the header names a coding at all.
bool LastCodingIsChunked(const KvHttpBuffer& message, bool& any) {
    any = false;
    bool chunked = false;
    message.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (strcasecmp(item->GetKey(), "Transfer-Encoding") != 0) return;
        std::string_view value(item->GetValue());
        size_t comma = value.rfind(',');
        std::string_view last = comma == std::string_view::npos ? value : value.substr(comma + 1);
        while (!last.empty() && (last.front() == ' ' || last.front() == '\t')) last.remove_prefix(1);
        while (!last.empty() && (last.back() == ' ' || last.back() == '\t')) last.remove_suffix(1);
        if (last.empty()) return;
        any = true;
        chunked = last.size() == 7 && strncasecmp(last.data(), "chunked", 7) == 0;
    });
    return chunked;
}

bool HasContentLength(const KvHttpBuffer& message) {
    const char* value = message.GetHeaderValue("Content-Length");
    return value && *value;
}

KvRelayEnd EndOfReceive(int code) {
    if (code == KV_COM_TIMEOUT) return IsCurrentThreadStopped() ? KvRelayEnd::Stopped : KvRelayEnd::TimedOut;
    return KvRelayEnd::SourceClosed;
}

// Grows the copy's block within its share of the budget (the block at
// most doubles, and never past the cap); false when the share cannot grow.
bool MakeRoom(KvBodyCopy& copy, size_t needed) {
    KvGenBuffer& buffer = *copy.buffer;
    if (!copy.reservation || needed <= buffer.GetAllocSize()) return true;
    size_t size = buffer.GetAllocSize() * 2;
    if (size > copy.cap) size = copy.cap;
    if (size < needed) size = needed;
    if (!copy.reservation->GrowTo(size)) return false;
    buffer.SetAllocSize(size);
    return true;
}

// Keeps a copy of the payload until it passes the cap or the budget.
void KeepCopy(KvBodyCopy* copy, const char* data, size_t n) {
    if (!copy || n == 0) return;
    if (copy->WantsHead()) copy->head->append(data, std::min(n, copy->headCap - copy->head->size()));
    if (!copy->buffer || copy->dropped) return;
    const size_t needed = copy->buffer->GetCount() + n;
    if (needed > copy->cap || !MakeRoom(*copy, needed) || !copy->buffer->PutString(data, n)) {
        copy->dropped = true;
        copy->buffer->Empty();
        if (copy->reservation) copy->reservation->Release();
    }
}

// The relay buffer of the calling thread (request threads live long).
char* RelayBuffer() {
    thread_local std::unique_ptr<char[]> buffer(new char[kRelayPiece]);
    return buffer.get();
}

}  // namespace

KvBodyPlan KvRequestBodyPlan(const KvHttpRequest& request) {
    KvBodyPlan plan;
    bool anyCoding = false;
    if (LastCodingIsChunked(request, anyCoding)) {
        plan.framing = KvBodyFraming::Chunked;
    } else if (request.GetContentLength() > 0) {
        plan.framing = KvBodyFraming::Length;
        plan.length = request.GetContentLength();
    }
    return plan;
}

KvBodyPlan KvResponseBodyPlan(const KvHttpResponse& response, const char* method) {
    KvBodyPlan plan;
    const int status = response.m_nStatus;
    if ((method && strcasecmp(method, "HEAD") == 0) || (status >= 100 && status < 200) || status == 204 ||
        status == 304) {
        return plan;
    }
    bool anyCoding = false;
    if (LastCodingIsChunked(response, anyCoding)) {
        plan.framing = KvBodyFraming::Chunked;
    } else if (anyCoding) {
        plan.framing = KvBodyFraming::UntilClose;
    } else if (HasContentLength(response)) {
        plan.framing = KvBodyFraming::Length;
        plan.length = response.GetContentLength();
    } else {
        plan.framing = KvBodyFraming::UntilClose;
    }
    return plan;
}

// ---------------------------------------------------------------------------
// Chunk framing.

template <class Sink>
size_t KvChunkTracker::FeedTo(const char* data, size_t n, Sink&& sink) {
    size_t i = 0;
    while (i < n && m_state != State::Done && m_state != State::Bad) {
        if (m_state == State::Data) {
            size_t take = (uint64_t)m_nRemaining < n - i ? (size_t)m_nRemaining : n - i;
            sink(data + i, take);
            i += take;
            m_nRemaining -= (int64_t)take;
            if (m_nRemaining == 0) m_state = State::DataCr;
            continue;
        }
        const char ch = data[i++];
        switch (m_state) {
        case State::Size: {
            int digit = StrHexDigitValue(ch);
            if (digit >= 0) {
                if (m_nRemaining > (INT64_MAX >> 5)) {
                    m_state = State::Bad;
                    break;
                }
                m_nRemaining = m_nRemaining * 16 + digit;
                ++m_nDigits;
            } else if (m_nDigits > 0 && (ch == ';' || ch == ' ' || ch == '\t')) {
                m_state = State::SizeExt;
            } else if (m_nDigits > 0 && ch == '\r') {
                m_state = State::SizeLf;
            } else if (m_nDigits > 0 && ch == '\n') {
                m_state = State::SizeLf;
                --i;  // let SizeLf take it
            } else {
                m_state = State::Bad;
            }
            break;
        }
        case State::SizeExt:
            if (ch == '\n') {
                --i;
                m_state = State::SizeLf;
            }
            break;
        case State::SizeLf:
            if (ch != '\n') {
                m_state = State::Bad;
                break;
            }
            m_nDigits = 0;
            m_nLineBytes = 0;
            if (m_nRemaining == 0) {
                m_bLastChunk = true;
                m_state = State::Trailer;
            } else {
                m_state = State::Data;
            }
            continue;
        case State::DataCr:
            if (ch == '\r') m_state = State::DataLf;
            else if (ch == '\n') m_state = State::Size;
            else m_state = State::Bad;
            continue;
        case State::DataLf:
            m_state = ch == '\n' ? State::Size : State::Bad;
            continue;
        case State::Trailer:
            // A line of the trailer; the empty line ends the body.
            if (ch == '\n') {
                if (m_nLineBytes == 0) {
                    m_state = State::Done;
                } else {
                    m_nLineBytes = 0;
                }
            } else if (ch != '\r') {
                ++m_nLineBytes;
            }
            if (++m_nTrailerBytes > kMaxTrailer) m_state = State::Bad;
            continue;
        default:
            break;
        }
        if (m_state == State::Size || m_state == State::SizeExt) {
            if (++m_nLineBytes > kMaxFramingLine) m_state = State::Bad;
        }
    }
    return i;
}

size_t KvChunkTracker::Feed(const char* data, size_t n, std::string* payload) {
    return FeedTo(data, n, [payload](const char* p, size_t k) {
        if (payload) payload->append(p, k);
    });
}

size_t KvChunkTracker::Feed(const char* data, size_t n, KvGenBuffer* payload) {
    return FeedTo(data, n, [payload](const char* p, size_t k) {
        if (payload) payload->PutString(p, k);
    });
}

// ---------------------------------------------------------------------------
// The relay.

namespace {

KvRelayResult RelayChunked(KvComObject& from, KvComObject& to, KvBodyCopy* copy) {
    KvRelayResult result;
    KvChunkTracker tracker;
    char* buf = RelayBuffer();
    std::string payload;
    for (;;) {
        int n = from.Receive(buf, (int)kRelayPiece);
        if (n <= 0) {
            result.end = n == 0 ? KvRelayEnd::SourceClosed : EndOfReceive(n);
            return result;
        }
        const bool keep = copy && copy->Keeping();
        payload.clear();
        size_t used = tracker.Feed(buf, (size_t)n, keep ? &payload : nullptr);
        if (keep) KeepCopy(copy, payload.data(), payload.size());
        if (used > 0 && to.Send(buf, (int)used) != (int)used) {
            result.end = KvRelayEnd::SinkFailed;
            return result;
        }
        result.bytes += (int64_t)used;
        if (tracker.IsBad()) {
            result.end = KvRelayEnd::BadFraming;
            return result;
        }
        if (tracker.IsDone()) return result;
    }
}

KvRelayResult RelayPlain(KvComObject& from, KvComObject& to, const KvBodyPlan& plan, KvBodyCopy* copy) {
    KvRelayResult result;
    const bool untilClose = plan.framing == KvBodyFraming::UntilClose;
    int64_t remaining = plan.length;
    char* buf = RelayBuffer();
    bool trySplice = true;
    while (untilClose || remaining > 0) {
        // Without a copy to keep, whole stretches go through the kernel.
        if (trySplice && !(copy && copy->Keeping())) {
            int64_t moved = 0;
            KvSpliceResult s = KvSpliceBody(from, to, untilClose ? -1 : remaining, moved);
            result.bytes += moved;
            remaining -= moved;
            switch (s) {
            case KvSpliceResult::Done: return result;
            case KvSpliceResult::SourceEnded:
                result.end = untilClose ? KvRelayEnd::Complete : KvRelayEnd::SourceClosed;
                return result;
            case KvSpliceResult::SourceFailed: result.end = KvRelayEnd::SourceClosed; return result;
            case KvSpliceResult::TimedOut: result.end = KvRelayEnd::TimedOut; return result;
            case KvSpliceResult::Stopped: result.end = KvRelayEnd::Stopped; return result;
            case KvSpliceResult::SinkFailed: result.end = KvRelayEnd::SinkFailed; return result;
            case KvSpliceResult::Unavailable: trySplice = false; continue;  // copy through user space
            }
        }
        size_t want = kRelayPiece;
        if (!untilClose && (uint64_t)remaining < want) want = (size_t)remaining;
        int n = from.Receive(buf, (int)want);
        if (n == 0) {
            result.end = untilClose ? KvRelayEnd::Complete : KvRelayEnd::SourceClosed;
            return result;
        }
        if (n < 0) {
            result.end = EndOfReceive(n);
            return result;
        }
        KeepCopy(copy, buf, (size_t)n);
        if (to.Send(buf, n) != n) {
            result.end = KvRelayEnd::SinkFailed;
            return result;
        }
        result.bytes += n;
        remaining -= n;
    }
    return result;
}

}  // namespace

KvRelayResult KvRelayBody(KvComObject& from, KvComObject& to, const KvBodyPlan& plan, KvBodyCopy* copy) {
    switch (plan.framing) {
    case KvBodyFraming::None: return KvRelayResult{};
    case KvBodyFraming::Chunked: return RelayChunked(from, to, copy);
    case KvBodyFraming::Length:
    case KvBodyFraming::UntilClose: return RelayPlain(from, to, plan, copy);
    }
    return KvRelayResult{};
}

const char* KvRelayEndText(KvRelayEnd end) {
    switch (end) {
    case KvRelayEnd::Complete: return "complete";
    case KvRelayEnd::SourceClosed: return "closed before the end";
    case KvRelayEnd::TimedOut: return "timed out";
    case KvRelayEnd::Stopped: return "stopped";
    case KvRelayEnd::SinkFailed: return "receiver gone";
    case KvRelayEnd::BadFraming: return "broken chunk framing";
    }
    return "unknown";
}
