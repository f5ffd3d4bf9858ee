// KvHttpBuffer: header fields and writing. Reading is in KvHttpBufferRead.cpp.
#include "inet/http/KvHttpBuffer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/str/StrFunc.h"
#include "inet/net/KvComObject.h"

IMPLEMENT_DYNCREATE(KvHttpBuffer, CObject)

namespace {

// A body up to this size goes out in the same Send as the head.
constexpr size_t kJoinBodyLimit = 64 * 1024;
// Largest piece handed to one Send (its length is an int).
constexpr size_t kSendPiece = 1u << 30;

bool HasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

bool StartsWithNoCase(const char* value, const char* prefix) {
    return value && StrICompare(value, prefix, (int)std::strlen(prefix)) == 0;
}

// Whitespace around a header name or value.
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char* TrimInPlace(char* begin, char* end) {
    while (begin < end && IsBlank(*begin)) ++begin;
    while (end > begin && IsBlank(end[-1])) --end;
    *end = '\0';
    return begin;
}

}  // namespace

KvHttpBuffer::KvHttpBuffer() : m_bufOut(4096) {}

KvHttpBuffer::~KvHttpBuffer() = default;

void KvHttpBuffer::Reset() {
    m_nStatus = 500;
    m_nContentLength = 0;
    m_nMalformedFields = 0;
    m_mapHeader.RemoveAll(true);
    m_bufBody.Empty();
}

int KvHttpBuffer::ParseFirstLineHeader(char*) { return 0; }

int KvHttpBuffer::SendFirstLineHeader(KvComObject*) { return 0; }

int KvHttpBuffer::TransferFirstLineHeaderTo(KvGenBuffer*) { return 0; }

// ---------------------------------------------------------------------------
// Header fields.

const char* KvHttpBuffer::GetHeaderValue(const char* name) const { return m_mapHeader.ILookup(name); }

int KvHttpBuffer::GetIntHeaderValue(const char* name) const {
    const char* value = GetHeaderValue(name);
    if (!value) return 0;
    // Clamped rather than wrapped: a huge value must not turn small or negative.
    long long n = std::strtoll(value, nullptr, 10);
    return n > INT_MAX ? INT_MAX : (n < INT_MIN ? INT_MIN : (int)n);
}

int KvHttpBuffer::SetHeaderValue(const char* name, const char* value) {
    CsStrMapItem* item = m_mapHeader.IFind(name);
    if (!item) return m_mapHeader.AddTail(name, value) ? TRUE : FALSE;
    return item->m_value.Set(value) ? TRUE : FALSE;
}

int KvHttpBuffer::SetHeaderNumber(const char* name, long long value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%lld", value);
    return SetHeaderValue(name, text);
}

int KvHttpBuffer::SetHeaderUnsigned(const char* name, unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llu", value);
    return SetHeaderValue(name, text);
}

int KvHttpBuffer::AddHeaderValue(const char* name, const char* value) {
    return m_mapHeader.AddTail(name, value) ? TRUE : FALSE;
}

int KvHttpBuffer::RemoveHeader(const char* name) { return m_mapHeader.Remove(name) ? TRUE : FALSE; }

int KvHttpBuffer::RemoveHeadersNamed(const char* name) {
    if (!name) return 0;
    return RemoveHeadersWhere([name](const char* key) { return StrICompare(key, name) == 0; });
}

void KvHttpBuffer::RemoveHeaderNoCase(const char* name) { RemoveHeadersNamed(name); }

int KvHttpBuffer::IsTextFile() const { return StartsWithNoCase(GetHeaderValue("Content-Type"), "text/"); }

int KvHttpBuffer::IsPlainTextFile() const {
    return StartsWithNoCase(GetHeaderValue("Content-Type"), "text/plain");
}

int KvHttpBuffer::IsHtmlFile() const { return StartsWithNoCase(GetHeaderValue("Content-Type"), "text/html"); }

int KvHttpBuffer::IsImageFile() const { return StartsWithNoCase(GetHeaderValue("Content-Type"), "image"); }

int KvHttpBuffer::ParseFieldFromLine(char* line) {
    if (!line) return -1;
    char* colon = std::strchr(line, ':');
    if (!colon || colon == line) return -1;
    char* end = colon + std::strlen(colon);
    char* value = TrimInPlace(colon + 1, end);
    char* name = TrimInPlace(line, colon);
    return m_mapHeader.AddTail(name, value) ? 0 : -1;
}

BOOL KvHttpBuffer::IsChunked() const {
    const char* value = GetHeaderValue("Transfer-Encoding");
    if (!value) return FALSE;
    // The last coding of the list decides the framing.
    const char* last = std::strrchr(value, ',');
    last = last ? last + 1 : value;
    while (IsBlank(*last)) ++last;
    size_t n = std::strlen(last);
    while (n > 0 && IsBlank(last[n - 1])) --n;
    return n == 7 && StrICompare(last, "chunked", 7) == 0;
}

// ---------------------------------------------------------------------------
// Writing.

int KvHttpBuffer::ComposeHeader(KvGenBuffer* out) {
    if (!out) return KV_COM_INVALID;
    const size_t before = out->GetCount();
    int first = TransferFirstLineHeaderTo(out);
    if (first < 0) return first;
    bool ok = true;
    m_mapHeader.ForEach([&](CsStrMapItem* item) {
        const char* name = item->GetKey();
        const char* value = item->GetValue();
        if (!*name || HasLineBreak(name) || HasLineBreak(value)) return;
        // An empty value is a field all the same: "Name:" with nothing after.
        ok = ok && out->PutString(name) && out->PutString(*value ? ": " : ":") && out->PutString(value) &&
             out->PutString("\r\n", 2);
    });
    if (!ok || !out->PutString("\r\n", 2)) return KV_HTTP_NO_MEMORY;
    return (int)(out->GetCount() - before);
}

int KvHttpBuffer::SendHeader(KvComObject* con, bool moreFollows) {
    if (!con) return KV_COM_INVALID;
    m_bufOut.Consume(m_bufOut.GetCount());  // keeps the block for the next message
    int head = ComposeHeader(&m_bufOut);
    if (head < 0) return head;
    int sent = moreFollows ? con->SendBeforeMore(m_bufOut.GetData(), head) : con->Send(m_bufOut.GetData(), head);
    m_bufOut.Consume(m_bufOut.GetCount());
    return sent < 0 ? sent : head;
}

int64_t KvHttpBuffer::SendBody(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    const char* data = m_bufBody.GetData();
    size_t left = m_bufBody.GetCount();
    if (left == 0) {
        int sent = con->Send(data, 0);
        return sent < 0 ? sent : 0;
    }
    int64_t total = 0;
    while (left > 0) {
        size_t piece = left < kSendPiece ? left : kSendPiece;
        int sent = con->Send(data, (int)piece);
        if (sent < 0) return sent;
        data += piece;
        left -= piece;
        total += (int64_t)piece;
    }
    return total;
}

int64_t KvHttpBuffer::Send(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    size_t body = m_bufBody.GetCount();
    if (body > kJoinBodyLimit) {
        int head = SendHeader(con);
        if (head < 0) return head;
        int64_t sent = SendBody(con);
        return sent < 0 ? sent : head + sent;
    }
    m_bufOut.Consume(m_bufOut.GetCount());
    int head = ComposeHeader(&m_bufOut);
    if (head < 0) return head;
    if (body > 0 && !m_bufOut.PutString(m_bufBody.GetData(), body)) return KV_HTTP_NO_MEMORY;
    int sent = con->Send(m_bufOut.GetData(), (int)m_bufOut.GetCount());
    m_bufOut.Consume(m_bufOut.GetCount());
    return sent < 0 ? sent : (int64_t)head + (int64_t)body;
}

int64_t KvHttpBuffer::TransferTo(KvGenBuffer* buf) {
    if (!buf) return KV_COM_INVALID;
    int head = ComposeHeader(buf);
    if (head < 0) return head;
    size_t body = m_bufBody.GetCount();
    if (body > 0 && !buf->PutString(m_bufBody.GetData(), body)) return KV_HTTP_NO_MEMORY;
    return (int64_t)head + (int64_t)body;
}
