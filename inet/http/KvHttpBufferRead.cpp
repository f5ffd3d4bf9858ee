// KvHttpBuffer: reading heads and bodies from a connection or a byte buffer.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/str/StrFunc.h"
#include "base/thread/KvThread.h"
#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpSyntax.h"
#include "inet/net/KvComObject.h"
#include "inet/net/KvSocketWait.h"

namespace {

// Largest piece of a body taken from the connection at a time.
constexpr size_t kBodyPiece = 64 * 1024;

// Collects head bytes and enforces the line and head limits.
struct HeadScanner {
    std::string& head;
    size_t maxLine;        // longest line allowed
    size_t lineChars = 0;  // characters of the current line, CRs left out

    // 1 when the byte ended the head (an empty line), 0 to go on, or
    // KV_HTTP_BAD_HEADER when a limit is passed.
    int Feed(char ch) {
        if (head.size() >= KV_HTTP_MAX_HEAD) return KV_HTTP_BAD_HEADER;
        head.push_back(ch);
        if (ch == '\n') {
            bool blank = lineChars == 0;
            lineChars = 0;
            return blank ? 1 : 0;
        }
        if (ch != '\r' && ++lineChars > maxLine) return KV_HTTP_BAD_HEADER;
        return 0;
    }
};

// A plain decimal number that fits in 63 bits; nothing else.
bool ParseDecimal(const char* text, int64_t& out) {
    if (!*text) return false;
    int64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        if (__builtin_mul_overflow(value, 10, &value) || __builtin_add_overflow(value, *p - '0', &value)) {
            return false;
        }
    }
    out = value;
    return true;
}

// A chunk size line: hexadecimal digits, optional blanks, optional
// ";extensions". False for anything else or a size beyond 62 bits.
bool ParseChunkSize(const std::string& line, int64_t& out) {
    size_t end = line.find(';');
    if (end == std::string::npos) end = line.size();
    size_t i = 0;
    while (i < end && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (end > i && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    if (i == end) return false;
    int64_t value = 0;
    for (; i < end; ++i) {
        int digit = StrHexDigitValue(line[i]);
        if (digit < 0 || value > (INT64_MAX >> 5)) return false;
        value = value * 16 + digit;
    }
    out = value;
    return true;
}

}  // namespace

// Where a chunked body comes from.
class KvHttpByteSource {
public:
    virtual ~KvHttpByteSource() = default;
    // Up to n bytes (n > 0): the count, or a negative code (KV_COM_CLOSED
    // at the end of the data).
    virtual int Read(char* dst, int n) = 0;

    // One line without CR or LF into `line`: 0, a negative code, or
    // KV_HTTP_BAD_HEADER when it is longer than `max`.
    int ReadLine(std::string& line, size_t max) {
        line.clear();
        for (;;) {
            char ch;
            int n = Read(&ch, 1);
            if (n < 0) return n;
            if (ch == '\n') return 0;
            if (ch == '\r') continue;
            if (line.size() >= max) return KV_HTTP_BAD_HEADER;
            line.push_back(ch);
        }
    }
};

namespace {

class ConnectionSource : public KvHttpByteSource {
public:
    explicit ConnectionSource(KvComObject* con) : m_con(con) {}
    int Read(char* dst, int n) override {
        for (;;) {
            int got = m_con->Receive(dst, n);
            if (got != 0) return got;
            // Nothing came: wait for data or learn why the stream ended.
            int ready = m_con->DataWaiting(m_con->GetTimeOut());
            if (ready <= 0) return ready < 0 ? ready : KV_COM_TIMEOUT;
        }
    }

private:
    KvComObject* m_con;
};

class BufferSource : public KvHttpByteSource {
public:
    explicit BufferSource(KvGenBuffer* buf) : m_buf(buf) {}
    int Read(char* dst, int n) override {
        size_t got = m_buf->Read(dst, (size_t)n);
        return got > 0 ? (int)got : KV_COM_CLOSED;
    }

private:
    KvGenBuffer* m_buf;
};

}  // namespace

// ---------------------------------------------------------------------------
// Heads.

int KvHttpBuffer::ReadHead(KvComObject* con) {
    m_strHead.clear();
    HeadScanner scan{m_strHead, m_nMaxLine};
    const int timeOut = con->GetTimeOut();
    const int64_t deadline = KvDeadlineAfter(timeOut);  // a negative time-out: none
    int code = 0;
    while (code == 0) {
        // Bytes the connection already holds are taken without waiting; one
        // at a time, so nothing behind the head is consumed.
        int ready = con->DataWaiting(0);
        if (ready < 0) {
            code = ready;
            break;
        }
        for (; ready > 0 && code == 0; --ready) {
            char ch;
            if (con->Receive(&ch, 1) != 1) break;  // the next round reports why
            code = scan.Feed(ch);
        }
        if (ready != 0 || code != 0) continue;
        // Nothing held: wait for one byte, within what is left of the time-out.
        if (deadline >= 0) {
            int64_t left = deadline - KvNowMs();
            if (left <= 0) {
                code = KV_COM_TIMEOUT;
                break;
            }
            con->SetTimeOut((int)left);
        }
        char ch;
        int n = con->Receive(&ch, 1);
        con->SetTimeOut(timeOut);
        if (n == 1) code = scan.Feed(ch);
        else code = n < 0 ? n : KV_COM_CLOSED;
    }
    // A head that began but did not end in time is the client's fault, unlike
    // an idle connection or a stop request.
    if (code == KV_COM_TIMEOUT && !m_strHead.empty() && !IsCurrentThreadStopped()) return KV_HTTP_BAD_HEADER;
    return code;
}

int KvHttpBuffer::ParseHead() {
    char* p = m_strHead.data();
    char* const end = p + m_strHead.size();
    int total = 0;
    bool first = true;
    m_nMalformedFields = 0;
    m_nFirstLineResult = 0;
    // A field line is parsed once the next line shows that it does not
    // continue: continuation lines are joined to it in place first. Every
    // byte is written at or before where it was read, so this is one pass.
    char* field = nullptr;  // the field line being collected
    char* w = p;            // where its next byte goes
    auto endField = [&] {
        if (!field) return;
        *w = '\0';  // before the line now being read, or the string's own terminator
        ParseFieldFromLine(field);
        field = nullptr;
    };
    while (p < end) {
        char* nl = static_cast<char*>(std::memchr(p, '\n', (size_t)(end - p)));
        char* lineEnd = nl ? nl : end;
        const bool folded = !first && (*p == ' ' || *p == '\t');
        if (folded) {
            // A folded line continues the field above: the fold and the
            // blanks around it become one space, no text is lost.
            ++m_nMalformedFields;
            char* r = p;
            while (r < lineEnd && (*r == ' ' || *r == '\t' || *r == '\r')) ++r;
            total += (int)(lineEnd - p);
            if (field) {
                while (w > field && (w[-1] == ' ' || w[-1] == '\t')) --w;
                if (r < lineEnd) *w++ = ' ';
                for (; r < lineEnd; ++r) {
                    if (*r != '\r') *w++ = *r;
                }
            }  // with no field above it has nothing to continue: dropped
            p = nl ? nl + 1 : end;
            continue;
        }
        endField();
        w = p;
        for (char* r = p; r < lineEnd; ++r) {
            if (*r != '\r') *w++ = *r;
        }
        *w = '\0';  // at most at `end`, the string's own terminator
        int length = (int)(w - p);
        if (length == 0) break;  // the empty line ends the head
        total += length;
        if (first) {
            m_nFirstLineResult = ParseFirstLineHeader(p);
            first = false;
        } else {
            if (!KvIsWellFormedFieldLine(std::string_view(p, (size_t)length))) ++m_nMalformedFields;
            field = p;
        }
        p = nl ? nl + 1 : end;
    }
    endField();
    return total;
}

int KvHttpBuffer::TakeContentLength() {
    int64_t length = 0;
    bool seen = false;
    bool bad = false;
    m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (bad || StrICompare(item->GetKey(), "Content-Length") != 0) return;
        const char* value = item->GetValue();
        if (!*value) return;  // empty counts as absent
        int64_t n = 0;
        if (!ParseDecimal(value, n) || (seen && n != length)) {
            bad = true;
            return;
        }
        length = n;
        seen = true;
    });
    if (bad) return KV_HTTP_BAD_HEADER;
    m_nContentLength = length;
    return 0;
}

int KvHttpBuffer::ReceiveHeader(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    m_nContentLength = 0;
    int read = ReadHead(con);
    if (read < 0) return read;
    int total = ParseHead();
    int length = TakeContentLength();
    return length < 0 ? length : total;
}

int KvHttpBuffer::ReceiveHeader(KvGenBuffer* buf) {
    if (!buf) return KV_COM_INVALID;
    m_nContentLength = 0;
    m_strHead.clear();
    HeadScanner scan{m_strHead, m_nMaxLine};
    const char* data = buf->GetData();
    const size_t count = buf->GetCount();
    size_t used = 0;
    int state = 0;
    while (state == 0 && used < count) state = scan.Feed(data[used++]);
    if (state < 0) return state;
    buf->Consume(used);
    int total = ParseHead();
    int length = TakeContentLength();
    if (length < 0) return length;
    const int64_t unread = (int64_t)buf->GetCount();
    if (unread != m_nContentLength) {
        m_nContentLength = unread;
        // Every "Content-Length" takes the new value: a repeat left with the
        // old one would contradict it when the message is read again.
        char text[24];
        std::snprintf(text, sizeof text, "%lld", (long long)unread);
        bool ok = true, found = false;
        m_mapHeader.ForEach([&](CsStrMapItem* item) {
            if (StrICompare(item->GetKey(), "Content-Length") != 0) return;
            found = true;
            ok = ok && item->m_value.Set(text);
        });
        if (!ok || (!found && !SetHeaderValue("Content-Length", text))) return KV_HTTP_NO_MEMORY;
    }
    return total;
}

// ---------------------------------------------------------------------------
// Bodies.

int64_t KvHttpBuffer::ReceiveBody(KvComObject* con, int64_t length) {
    if (!con) return KV_COM_INVALID;
    if (length == 0) length = m_nContentLength;
    if (length < 0) return 0;
    const bool open = length == 0;  // until the peer closes
    ConnectionSource src(con);
    int64_t got = 0;
    int code = 0;
    while (open || got < length) {
        size_t want = kBodyPiece;
        if (!open && (uint64_t)(length - got) < want) want = (size_t)(length - got);
        char* dst = m_bufBody.GetAddBuffer(want);
        if (!dst) return KV_HTTP_NO_MEMORY;
        int n = src.Read(dst, (int)want);
        if (n < 0) {
            code = n;
            break;
        }
        m_bufBody.ReleaseBuffer((size_t)n);
        got += n;
    }
    if (code == 0 || (open && got > 0)) return got;
    return code;
}

int64_t KvHttpBuffer::ReceiveBody(KvGenBuffer* buf, int64_t length) {
    if (!buf) return KV_COM_INVALID;
    if (length < 0) return 0;
    size_t take = buf->GetCount();
    if (length > 0 && (uint64_t)length < take) take = (size_t)length;
    if (take > 0 && !m_bufBody.PutString(buf->GetData(), take)) return KV_HTTP_NO_MEMORY;
    buf->Consume(take);
    return (int64_t)take;
}

int64_t KvHttpBuffer::Receive(KvComObject* con) {
    int head = ReceiveHeader(con);
    if (head <= 0) return head;
    int64_t body = ReceiveBody(con, m_nContentLength);
    return body < 0 ? body : head + body;
}

int64_t KvHttpBuffer::Receive(KvGenBuffer* buf) {
    int head = ReceiveHeader(buf);
    if (head <= 0) return head;
    int64_t body = ReceiveBody(buf, m_nContentLength);
    return body < 0 ? body : head + body;
}

// ---------------------------------------------------------------------------
// Chunked bodies.

int64_t KvHttpBuffer::ReceiveChunkedBody(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    ConnectionSource src(con);
    return DecodeChunked(src);
}

int64_t KvHttpBuffer::ReceiveChunkedBody(KvGenBuffer* buf) {
    if (!buf) return KV_COM_INVALID;
    BufferSource src(buf);
    return DecodeChunked(src);
}

int64_t KvHttpBuffer::DecodeChunked(KvHttpByteSource& src) {
    std::string line;
    int64_t decoded = 0;
    for (;;) {
        int r = src.ReadLine(line, KV_HTTP_MAX_LINE);
        if (r < 0) return r;
        int64_t size = 0;
        if (!ParseChunkSize(line, size)) return KV_HTTP_BAD_HEADER;
        if (size == 0) break;
        while (size > 0) {
            size_t want = (uint64_t)size < kBodyPiece ? (size_t)size : kBodyPiece;
            char* dst = m_bufBody.GetAddBuffer(want);
            if (!dst) return KV_HTTP_NO_MEMORY;
            int n = src.Read(dst, (int)want);
            if (n < 0) return n;
            m_bufBody.ReleaseBuffer((size_t)n);
            size -= n;
            decoded += n;
        }
        r = src.ReadLine(line, KV_HTTP_MAX_LINE);
        if (r < 0) return r;
        if (!line.empty()) return KV_HTTP_BAD_HEADER;  // the data must end with its line break
    }
    // Trailer fields up to the empty line, bounded like a head.
    size_t trailer = 0;
    for (;;) {
        int r = src.ReadLine(line, KV_HTTP_MAX_LINE);
        if (r < 0) return r;
        if (line.empty()) break;
        trailer += line.size() + 2;
        if (trailer > KV_HTTP_MAX_HEAD) return KV_HTTP_BAD_HEADER;
    }
    EndChunkedFraming(decoded);
    return decoded;
}

void KvHttpBuffer::EndChunkedFraming(int64_t) {
    if (const char* value = GetHeaderValue("Transfer-Encoding")) {
        // Keep the codings before "chunked" (a compressed body stays compressed).
        std::string codings(value);
        size_t comma = codings.rfind(',');
        if (comma == std::string::npos) {
            RemoveHeaderNoCase("Transfer-Encoding");
        } else {
            codings.resize(comma);
            while (!codings.empty() && (codings.back() == ' ' || codings.back() == '\t')) codings.pop_back();
            SetHeaderValue("Transfer-Encoding", codings.c_str());
        }
    }
    RemoveHeaderNoCase("Content-Length");
    m_nContentLength = (int64_t)m_bufBody.GetCount();
    SetHeaderValue("Content-Length", m_nContentLength);
}
