#include "proxy/cache/KvCacheAnswer.h"

#include <sys/mman.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>

#include "base/app/KvBaseApp.h"
#include "base/str/StrFunc.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/log/KvLogError.h"
#include "proxy/cache/KvCacheCrc.h"

namespace {

constexpr int kDaySeconds = 24 * 60 * 60;

// A plain non-negative decimal number (blanks around allowed).
bool ParseLength(std::string_view text, long long& value) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (text.empty() || text.size() > 18) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// The "Content-Length" value written in a stored head, or -1 when there is
// none (or it is not a number).
long long StoredContentLength(std::string_view head) {
    static const char kName[] = "content-length:";
    const size_t nameLength = sizeof(kName) - 1;
    size_t pos = head.find('\n');  // the status line has no headers
    while (pos != std::string_view::npos && pos + 1 < head.size()) {
        std::string_view line = head.substr(pos + 1);
        size_t end = line.find('\n');
        if (end != std::string_view::npos) line = line.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() >= nameLength && StrICompare(line.data(), kName, (int)nameLength) == 0) {
            long long value = 0;
            return ParseLength(line.substr(nameLength), value) ? value : -1;
        }
        pos = head.find('\n', pos + 1);
    }
    return -1;
}

// Keeps a header's value (or its absence) and puts it back later.
class SavedHeader {
public:
    SavedHeader(KvHttpBuffer& msg, const char* name) : m_msg(msg), m_name(name) {
        const char* value = msg.GetHeaderValue(name);
        m_bHad = value != nullptr;
        if (value) m_value = value;
    }
    ~SavedHeader() {
        if (m_bHad) m_msg.SetHeaderValue(m_name, m_value);
        else m_msg.RemoveHeader(m_name);
    }
    SavedHeader(const SavedHeader&) = delete;
    SavedHeader& operator=(const SavedHeader&) = delete;

private:
    KvHttpBuffer& m_msg;
    const char* m_name;
    CString m_value;
    bool m_bHad = false;
};

bool SetHttpTime(KvHttpBuffer& msg, const char* name, int offsetSeconds) {
    char text[32];
    GetHttpTime(offsetSeconds, text);
    return msg.SetHeaderValue(name, text) != 0;
}

// Reading a head from a buffer on its own sets its "Content-Length" to the
// bytes left behind it (none): the body decoded beside it is put back.
bool RestoreContentLength(KvHttpResponse& response, long long length) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", length);
    bool ok = true, found = false;
    response.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (StrICompare(item->GetKey(), "Content-Length") != 0) return;
        found = true;
        ok = ok && item->m_value.Set(text);
    });
    if (!found) ok = response.SetHeaderValue("Content-Length", text) != 0;
    response.m_nContentLength = length;
    return ok;
}

}  // namespace

KvTime KvCacheNow() {
    time_t now = time(nullptr);
    struct tm tm;
    gmtime_r(&now, &tm);
    return KvTime(tm);
}

CString KvCacheFormatTime(const KvTime& t) { return t.Format("%Y-%m-%d %H:%M:%S"); }

bool KvCacheParseTime(const char* text, KvTime& t) {
    t.Empty();
    if (!text || !ConvertStringToTime(text, &t)) return false;
    return t.IsValid();
}

KvTime KvCacheModifiedTime(const KvHttpBuffer& answer) {
    for (const char* name : {"Last-Modified", "Date"}) {
        const char* value = answer.GetHeaderValue(name);
        SYSTEMTIME st{};
        if (value && *value && GetRFCTime(value, &st)) {
            KvTime t(st);
            if (t.IsValid()) return t;
        }
    }
    return KvCacheNow();
}

namespace {

// The checks and header changes of the stored form around `write`, which
// puts the answer out as it then stands.
template <class Write>
int SerializeWith(KvHttpResponse& answer, Write write) {
    // The stored form begins with the version: a version "(null)" is the
    // mark of an answer that was never filled.
    if (answer.m_strStatus.IsEmpty() || answer.m_strVersion.IsEmpty()) return 0;
    if (std::string_view(answer.m_strVersion.c_str()).starts_with("(null)")) return 0;
    answer.m_bufBody.ResetPos();
    const size_t body = answer.m_bufBody.GetCount();
    const char* declared = answer.GetHeaderValue("Content-Length");
    long long declaredLength = 0;
    if (declared && *declared && ParseLength(declared, declaredLength) && (unsigned long long)declaredLength > body)
        return 0;  // the relay ended early: the body is cut short

    SavedHeader lastModified(answer, "Last-Modified");
    SavedHeader contentLength(answer, "Content-Length");
    if (!answer.SetHeaderValue("Last-Modified", "0") || !answer.SetHeaderValue("Content-Length", body)) return 0;
    return write() ? 1 : 0;
}

}  // namespace

int KvCacheSerialize(KvHttpResponse& answer, KvGenBuffer& out) {
    return SerializeWith(answer, [&] { return answer.TransferTo(&out) > 0; });
}

int KvCacheSerializeEncoded(KvHttpResponse& answer, KvGenBuffer& out) {
    return SerializeWith(answer, [&] {
        KvGenBuffer head;
        if (answer.ComposeHeader(&head) <= 0) return false;
        const char* body = answer.m_bufBody.GetData();
        const size_t length = answer.m_bufBody.GetCount();
        // Room for the usual share of escapes, so the body is encoded in place.
        out.SetAllocSize(out.GetStoredCount() + head.GetCount() + length + length / 64 + 16);
        return KvCacheEncodeBlob(head.GetData(), head.GetCount(), out) && KvCacheEncodeBlob(body, length, out);
    });
}

bool KvCacheEncodeBlob(const void* data, size_t length, KvGenBuffer& out) {
    if (length == 0) return true;  // a buffer with no storage yet has no room to hand out
    const unsigned char* src = static_cast<const unsigned char*>(data);
    size_t escapes = 0;
    for (size_t i = 0; i < length; ++i) escapes += src[i] <= 1;
    char* dst = out.GetAddBuffer(length + escapes);
    if (!dst) return false;
    char* w = dst;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = src[i];
        if (c <= 1) {
            *w++ = 1;
            *w++ = (char)(c + 1);
        } else {
            *w++ = (char)c;
        }
    }
    out.ReleaseBuffer((size_t)(w - dst));
    return true;
}

namespace {

// One escape at src (a 01 byte): its decoded byte goes to w. False for a
// zero byte or a broken escape.
inline bool DecodeEscape(const char*& src, const char* end, char*& w) {
    if (*src != 1 || src + 1 >= end || (src[1] != 1 && src[1] != 2)) return false;
    *w++ = (char)(src[1] - 1);
    src += 2;
    return true;
}

// Decodes into dst (room for length bytes: never longer than the stored
// form). The bytes written; false in ok for a form that is not valid.
size_t DecodeInto(const char* src, size_t length, char* dst, bool& ok) {
    const char* end = src + length;
    char* w = dst;
    ok = true;
#if defined(__SSE2__)
    // Sixteen bytes at a time while none is 00 or 01. The whole block is
    // stored even when only part of it is plain: w never runs ahead of src,
    // so the store stays inside dst.
    const __m128i one = _mm_set1_epi8(1);
    while (end - src >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const unsigned special = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, one), v));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
        if (!special) {
            src += 16;
            w += 16;
            continue;
        }
        const int plain = __builtin_ctz(special);
        src += plain;
        w += plain;
        if (!DecodeEscape(src, end, w)) {
            ok = false;
            return (size_t)(w - dst);
        }
    }
#endif
    while (src < end) {
        // Plain runs are copied whole; only the escapes are looked at.
        const char* esc = static_cast<const char*>(std::memchr(src, 1, (size_t)(end - src)));
        const char* runEnd = esc ? esc : end;
        if (std::memchr(src, 0, (size_t)(runEnd - src))) {
            ok = false;
            break;
        }
        std::memcpy(w, src, (size_t)(runEnd - src));
        w += runEnd - src;
        if (!esc) break;
        src = esc;
        if (!DecodeEscape(src, end, w)) {
            ok = false;
            break;
        }
    }
    return (size_t)(w - dst);
}

// A block for a large body. Large blocks are mapped on their own (see the
// host's malloc setting), and each hit fills a fresh one: asking for huge
// pages on its aligned middle saves most of the page faults of filling it.
void* AllocBodyBlock(size_t size) {
    constexpr uintptr_t kHuge = 2u << 20;
    void* block = std::malloc(size);
    if (block && size >= 2 * kHuge) {
        const uintptr_t begin = ((uintptr_t)block + kHuge - 1) & ~(kHuge - 1);
        const uintptr_t end = ((uintptr_t)block + size) & ~(kHuge - 1);
        if (end > begin) ::madvise((void*)begin, end - begin, MADV_HUGEPAGE);  // only a hint
    }
    return block;
}

// Decodes a body into a block of its own and gives it to the buffer.
bool DecodeBody(const char* src, size_t length, KvGenBuffer& body) {
    char* block = static_cast<char*>(AllocBodyBlock(length + 1));
    if (!block) return false;
    bool ok = false;
    const size_t written = DecodeInto(src, length, block, ok);
    const size_t grow = body.GetGrowBytes();
    if (!ok || !body.Attach(block, written, grow)) {
        std::free(block);
        return false;
    }
    return true;
}

}  // namespace

bool KvCacheDecodeBlob(const void* stored, size_t length, KvGenBuffer& out) {
    if (length == 0) return true;
    char* dst = out.GetAddBuffer(length);  // never longer than its stored form
    if (!dst) return false;
    bool ok = false;
    out.ReleaseBuffer(DecodeInto(static_cast<const char*>(stored), length, dst, ok));
    return ok;
}

uint32_t KvCacheChecksum(const void* data, size_t length) {
    return KvCacheCrc32(0, data, length);
}

int KvCacheRestore(KvGenBuffer& stored, KvHttpResponse& response) {
    response.Reset();
    std::string_view data(stored.GetData(), stored.GetCount());
    if (data.empty() || data.starts_with("(null)")) return 0;
    size_t headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) return 0;
    const size_t bodyLength = data.size() - (headEnd + 4);
    long long declared = StoredContentLength(data.substr(0, headEnd + 2));
    if (declared < 0 || (unsigned long long)declared != bodyLength) return 0;
    response.m_bufBody.SetAllocSize(bodyLength);  // one block for the body
    if (response.Receive(&stored) <= 0 ||
        response.m_strStatus.IsEmpty() || response.m_bufBody.GetCount() != bodyLength) {
        response.Reset();
        return 0;
    }
    return 1;
}

int KvCacheRestoreEncoded(const void* encoded, size_t length, KvHttpResponse& response) {
    response.Reset();
    // Escapes never hold CR or LF, so the encoded head ends where the
    // decoded one does: the head is decoded on its own and the body
    // straight into the answer, with no whole second copy of the object.
    std::string_view data(static_cast<const char*>(encoded ? encoded : ""), encoded ? length : 0);
    const size_t headEnd = data.find("\r\n\r\n");
    if (headEnd == std::string_view::npos) return 0;
    KvGenBuffer head;
    if (!KvCacheDecodeBlob(data.data(), headEnd + 4, head)) return 0;
    std::string_view headText(head.GetData(), head.GetCount());
    if (headText.starts_with("(null)")) return 0;
    const long long declared = StoredContentLength(headText.substr(0, headText.size() - 2));
    const std::string_view body = data.substr(headEnd + 4);
    if (declared < 0 || (unsigned long long)declared > body.size()) return 0;
    // A redirect's body is often empty: nothing to decode then.
    if ((!body.empty() && !DecodeBody(body.data(), body.size(), response.m_bufBody)) ||
        response.m_bufBody.GetCount() != (size_t)declared || response.ReceiveHeader(&head) <= 0 ||
        !head.IsEmpty() ||  // an empty line inside the stored head: damaged
        response.m_strStatus.IsEmpty() || !RestoreContentLength(response, declared)) {
        response.Reset();
        return 0;
    }
    return 1;
}

long long KvCacheRestoreEncodedHead(const void* encodedHead, size_t length, KvHttpResponse& response) {
    response.Reset();
    KvGenBuffer head;
    if (!encodedHead || !KvCacheDecodeBlob(encodedHead, length, head)) return -1;
    std::string_view headText(head.GetData(), head.GetCount());
    if (headText.starts_with("(null)") || !headText.ends_with("\r\n\r\n")) return -1;
    const long long declared = StoredContentLength(headText.substr(0, headText.size() - 2));
    if (declared < 0 || response.ReceiveHeader(&head) <= 0 || !head.IsEmpty() || response.m_strStatus.IsEmpty() ||
        !RestoreContentLength(response, declared)) {
        response.Reset();
        return -1;
    }
    return declared;
}

bool KvCacheDecodePiece(const void* piece, size_t length, char* dst, size_t& written, bool& escape) {
    const char* src = static_cast<const char*>(piece);
    const char* end = src + length;
    char* w = dst;
    bool ok = true;
    if (escape && src < end) {
        if (*src != 1 && *src != 2) return false;
        *w++ = (char)(*src++ - 1);
        escape = false;
    }
    // A piece whose last byte opens an escape leaves it for the next one:
    // the escapes are walked to tell (a 01 01 pair ends in 01 too).
    const char* cut = end;
    if (src < end && end[-1] == 1) {
        const char* p = src;
        while (p < end) {
            const char* esc = static_cast<const char*>(std::memchr(p, 1, (size_t)(end - p)));
            if (!esc) break;
            if (esc + 1 == end) {
                cut = esc;
                break;
            }
            p = esc + 2;
        }
    }
    w += DecodeInto(src, (size_t)(cut - src), w, ok);
    if (cut < end) escape = true;
    written = (size_t)(w - dst);
    return ok;
}

int KvCacheRestore(const void* data, size_t length, KvHttpResponse& response) {
    KvGenBuffer buf;
    buf.SetAllocSize(length);
    if (!buf.PutString(static_cast<const char*>(data ? data : ""), length)) {
        response.Reset();
        return 0;
    }
    return KvCacheRestore(buf, response);
}

void KvCacheRemoveHeaderAll(KvHttpBuffer& message, const char* name) { message.RemoveHeadersNamed(name); }

int KvCacheExpiresSeconds(const KvHttpBuffer& response) {
    const char* type = response.GetHeaderValue("Content-Type");
    const bool image = type && StrICompare(type, "image", 5) == 0;
    return image ? kDaySeconds : 2 * kDaySeconds;
}

int KvCacheServeHeaders(KvHttpResponse& response, const char* storeName) {
    const int expires = KvCacheExpiresSeconds(response);
    KvCacheRemoveHeaderAll(response, "Cache-Control");
    KvCacheRemoveHeaderAll(response, "Set-Cookie");
    KvCacheRemoveHeaderAll(response, "Set-Cookie2");
    return SetHttpTime(response, "Date", 0) && SetHttpTime(response, "Last-Modified", 0) &&
           SetHttpTime(response, "Expires", expires) &&
           response.SetHeaderValue("CacheName", storeName ? storeName : "");
}

int KvCacheServeHeadersPath(KvHttpResponse& response, const KvTime& modified, const char* storeName) {
    CString lastModified;
    GetRFCTimeFormat(&modified.GetSystemTime(), &lastModified);
    KvCacheRemoveHeaderAll(response, "Cache-Control");
    KvCacheRemoveHeaderAll(response, "Set-Cookie");
    KvCacheRemoveHeaderAll(response, "Set-Cookie2");
    return response.SetHeaderValue("Last-Modified", lastModified) && SetHttpTime(response, "Expires", 60 * 60) &&
           response.SetHeaderValue("CacheName", storeName ? storeName : "");
}

bool KvCacheIfModifiedSince(const KvHttpRequest* request, KvTime& since) {
    const char* value = request ? request->GetHeaderValue("If-Modified-Since") : nullptr;
    SYSTEMTIME st{};
    if (!value || !*value || !GetRFCTime(value, &st)) return false;
    since = KvTime(st);
    return since.IsValid() && !(since - KvCacheNow() > 1e-10);
}

void KvCacheLog(const char* format, ...) {
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (KvGetApp()) LogError(KV_LOG_ERROR, "%s", line);
    else std::fprintf(stderr, "%s\n", line);
}
