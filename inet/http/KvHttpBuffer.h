// KvHttpBuffer: one HTTP message: its first line (parsed by the derived
// class), an ordered list of header fields and a body buffer.
//
// KvHttpRequest and KvHttpResponse derive from it and own the first line.
// A message is filled by parsing (the Receive operations, from a connection
// or a byte buffer) or by its user (setters, m_bufBody), written out with
// Send or TransferTo, and reused after Reset. It belongs to one request
// thread at a time; nothing in it is shared.
//
// Reading a head (ReceiveHeader):
// - Lines end in LF; a CR anywhere in a line is dropped. The first line
//   goes to ParseFirstLineHeader, every further line up to the first empty
//   one to ParseFieldFromLine. A line that begins with a blank or tab (a
//   folded continuation) is joined to the field line above it, the fold
//   and the blanks around it becoming one space, so no text of a value is
//   lost; one that follows no field line is dropped. Folded lines count
//   as malformed (m_nMalformedFields): a request with one is refused.
// - A line may hold up to m_nMaxLine characters (KV_HTTP_MAX_LINE; a
//   response's line may fill its head) and the whole head up to
//   KV_HTTP_MAX_HEAD bytes; a longer line or head fails with
//   KV_HTTP_BAD_HEADER (the caller answers 400), as does a head that has
//   begun but not ended within the connection's receive time-out, and a
//   "Content-Length" that is not a plain decimal number or that appears
//   twice with different values.
// - From a connection the head is taken byte by byte from the connection's
//   own receive buffer, so nothing behind the blank line is consumed: the
//   body (or the next request of a kept-alive connection) stays in the
//   connection for ReceiveBody or for a caller that relays it itself.
// - Lengths are 64-bit: a body above 4 GiB never wraps.
//
// Writing (SendHeader, Send, TransferTo, ComposeHeader):
// - The head is composed in memory and written with one Send.
// - A header with an empty value is written as "Name:"; one with an empty
//   name, or whose name or value holds a CR or LF, is never written (no
//   header injection). A first line that
//   holds a CR or LF makes the whole write fail with KV_COM_INVALID.
//
// Result codes: byte counts, or the negative connection codes of
// KvComObject.h passed through unchanged (-3 for a null connection or
// buffer, -1 when memory runs out), plus the KV_HTTP_ codes below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "base/platform/WinTypes.h"

class KvComObject;
class KvHttpByteSource;  // internal: where a chunked body is read from

enum : int {
    KV_HTTP_NO_MEMORY = -1,      // an entry or the body could not be allocated
    KV_HTTP_BAD_TARGET = -102,   // unusable request target or unknown method
    KV_HTTP_BAD_HEADER = -400,   // head or framing the caller answers with 400 (see above)
};

// Longest head line (without its line end) and longest head (line ends
// included) that are read intact.
constexpr size_t KV_HTTP_MAX_LINE = 64 * 1024;
constexpr size_t KV_HTTP_MAX_HEAD = 256 * 1024;

class KvHttpBuffer : public CObject {
    DECLARE_DYNCREATE(KvHttpBuffer)
public:
    KvHttpBuffer();
    ~KvHttpBuffer() override;
    KvHttpBuffer(const KvHttpBuffer&) = delete;
    KvHttpBuffer& operator=(const KvHttpBuffer&) = delete;

    // --- virtual slots (after those of CObject) ---
    // Status 500, content length 0, every header removed, body emptied.
    virtual void Reset();
    // The first line of a received message; the base ignores it (0).
    [[nodiscard]] virtual int ParseFirstLineHeader(char* line);
    // The first line with its CR LF, sent on its own; the base sends nothing (0).
    virtual int SendFirstLineHeader(KvComObject* con);
    // The first line with its CR LF appended to buf: the bytes appended or a
    // negative code; the base appends nothing (0).
    virtual int TransferFirstLineHeaderTo(KvGenBuffer* buf);

    // The first line's parse result from the last head read: 0, or the
    // negative code of ParseFirstLineHeader (an origin-form target such as
    // "/index.html" gives KV_HTTP_BAD_TARGET with its path set).
    int m_nFirstLineResult = 0;

    // --- header fields (looked up without regard to case) ---
    // Value of the first header of that name, or null.
    const char* GetHeaderValue(const char* name) const;
    // Its integer value; 0 when absent, empty or not a number.
    int GetIntHeaderValue(const char* name) const;
    // Replaces the value of the first header of that name, or appends a new
    // header. FALSE when the entry cannot be allocated.
    int SetHeaderValue(const char* name, const char* value);
    // The decimal number (any integer type, 64-bit included).
    template <class T>
        requires std::is_integral_v<T>
    int SetHeaderValue(const char* name, T value) {
        if constexpr (std::is_signed_v<T>) return SetHeaderNumber(name, (long long)value);
        else return SetHeaderUnsigned(name, (unsigned long long)value);
    }
    // Appends a header even when one of that name exists. TRUE/FALSE.
    int AddHeaderValue(const char* name, const char* value);
    // Removes the first header whose name matches exactly (case included).
    int RemoveHeader(const char* name);
    // The one way to remove headers by name: every header for which
    // remove(name) holds goes, in a single walk over the list, and the rest
    // keep their order. The predicate is asked once per header, so a head
    // that repeats a name thousands of times costs linear time. The number
    // removed.
    template <class Pred>
    int RemoveHeadersWhere(Pred remove) {
        int removed = 0;
        // Each header is taken from the front and deleted or put back behind.
        for (int left = m_mapHeader.Size(); left > 0; --left) {
            CsStrMapItem* item = m_mapHeader.GetHead();
            if (remove(item->GetKey())) {
                delete item;
                ++removed;
            } else {
                m_mapHeader.AddTail(item);
            }
        }
        return removed;
    }
    // Every header of that name, without regard to case: the number removed.
    int RemoveHeadersNamed(const char* name);
    // The "Content-Type" starts (without regard to case) with "text/",
    // "text/plain", "text/html" or "image"; FALSE without one.
    int IsTextFile() const;
    int IsPlainTextFile() const;
    int IsHtmlFile() const;
    int IsImageFile() const;
    // Adds one header line, split at its first colon, name and value
    // trimmed. 0, or -1 for a line without colon or starting with one, or
    // when the entry cannot be added.
    int ParseFieldFromLine(char* line);

    // --- reading ---
    // The head: the sum of the line lengths (0 for an empty head), or a
    // negative code. -6 when the peer closed before the head ended.
    // Sets m_nContentLength from "Content-Length".
    [[nodiscard]] int ReceiveHeader(KvComObject* con);
    // The last ReceiveHeader took at least one byte of a head.
    bool HeadBegan() const { return !m_strHead.empty(); }
    // Reads `length` bytes (0: m_nContentLength; both 0: until the peer
    // closes) and appends them to m_bufBody; never reads beyond `length`.
    // The count read, or a negative code (with an open length a closed or
    // timed-out connection is the normal end once a byte arrived).
    // A negative length reads nothing (0).
    [[nodiscard]] int64_t ReceiveBody(KvComObject* con, int64_t length = 0);
    // Head then body: the sum of both, 0 for an empty head, or the first
    // negative code.
    [[nodiscard]] int64_t Receive(KvComObject* con);
    // The same from a byte buffer's read position. After the head,
    // m_nContentLength (and "Content-Length") become the number of unread
    // bytes when they differ from it.
    [[nodiscard]] int ReceiveHeader(KvGenBuffer* buf);
    // Appends `length` unread bytes (0: all of them) to m_bufBody.
    int64_t ReceiveBody(KvGenBuffer* buf, int64_t length = 0);
    int64_t Receive(KvGenBuffer* buf);

    // --- chunked bodies ---
    // The last transfer coding named by "Transfer-Encoding" is "chunked".
    BOOL IsChunked() const;
    // Reads a body framed in chunks (size lines in hexadecimal, optional
    // extensions, trailer lines discarded) and appends the decoded bytes to
    // m_bufBody. Then "chunked" leaves "Transfer-Encoding" (the header goes
    // when nothing else is left) and "Content-Length" and m_nContentLength
    // become the decoded size, so the message can be written on as it is.
    // The decoded count, KV_HTTP_BAD_HEADER for broken framing (or a size
    // line or trailer over the head limits), or a connection code.
    [[nodiscard]] int64_t ReceiveChunkedBody(KvComObject* con);
    [[nodiscard]] int64_t ReceiveChunkedBody(KvGenBuffer* buf);

    // --- writing ---
    // Appends the head (first line, header lines, blank line) to out without
    // sending: the bytes appended or a negative code.
    int ComposeHeader(KvGenBuffer* out);
    // The head in one Send: the bytes sent or the first negative code.
    // With `moreFollows` the caller sends more at once (a body at hand),
    // and the head may leave in one segment with it.
    int SendHeader(KvComObject* con, bool moreFollows = false);
    // The unread bytes of m_bufBody (left unread): the count or a negative code.
    int64_t SendBody(KvComObject* con);
    // Head and body (one Send when the body is small): the sum of both or
    // the first negative code.
    int64_t Send(KvComObject* con);
    // Head and body appended to buf: the bytes appended or a negative code.
    int64_t TransferTo(KvGenBuffer* buf);

    int64_t GetContentLength() const { return m_nContentLength; }

    CsStrMap m_mapHeader;          // in arrival or insertion order; names may repeat
    KvGenBuffer m_bufBody{4096};   // the body
    int64_t m_nContentLength = 0;  // expected body length, from "Content-Length"
    CString m_strVersion;          // protocol version token, e.g. "HTTP/1.0"
    int m_nStatus = 500;           // status code of a response
    // Header lines of the last head read that are folded, lack a name and
    // colon, or hold control bytes (they are parsed as well as they can be;
    // whoever forwards a message refuses it instead).
    int m_nMalformedFields = 0;
    // Longest head line read intact: KV_HTTP_MAX_LINE, and for a response
    // the whole head limit (a server may send one long field).
    size_t m_nMaxLine = KV_HTTP_MAX_LINE;

protected:
    int SetHeaderNumber(const char* name, long long value);
    int SetHeaderUnsigned(const char* name, unsigned long long value);
    // Removes every header of that name (without regard to case).
    void RemoveHeaderNoCase(const char* name);
    // Splits the collected head (m_strHead) into lines and parses them:
    // the sum of the line lengths.
    int ParseHead();
    // m_nContentLength from every "Content-Length" header; KV_HTTP_BAD_HEADER
    // for a value that is not a plain decimal number or conflicting values.
    int TakeContentLength();
    // Collects the head from the connection into m_strHead: 1 when it
    // ended with its blank line, or a negative code.
    int ReadHead(KvComObject* con);
    // Shared body of the two ReceiveChunkedBody operations.
    int64_t DecodeChunked(KvHttpByteSource& src);
    // After a chunked body: drops "chunked" and records the decoded length.
    void EndChunkedFraming(int64_t decoded);

    std::string m_strHead;  // the head being read (kept for its storage)
    KvGenBuffer m_bufOut;   // the head being written (kept for its storage)
};
