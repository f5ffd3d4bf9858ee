// How an HTTP answer is kept in a cache store and turned back into an
// answer for the browser. Shared by every store class.
//
// Stored form: the whole answer as KvHttpBuffer::TransferTo writes it
// (status line, headers, blank line, body) with "Content-Length" set to the
// body size and "Last-Modified" set to "0". The stored "Content-Length" is
// checked again when the answer is read back, so an answer is restored
// whole or not at all.
//
// Times kept in the stores are UTC: the modification time comes from the
// answer's own Internet dates, and "now" is taken in UTC to match.
//
// Pure functions on the caller's objects; callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/containers/KvGenBuffer.h"
#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/time/KvTime.h"

class KvHttpBuffer;
class KvHttpRequest;
class KvHttpResponse;

// --- times ---
// The current time in UTC.
KvTime KvCacheNow();
// "%Y-%m-%d %H:%M:%S", the text form of the index columns.
CString KvCacheFormatTime(const KvTime& t);
// The text form back; false for anything that is not such a time.
bool KvCacheParseTime(const char* text, KvTime& t);
// The answer's "Last-Modified", else its "Date", read as an Internet date;
// the current time when both are absent or unreadable.
KvTime KvCacheModifiedTime(const KvHttpBuffer& answer);

// --- storing ---
// Appends the stored form of the answer to out. The answer itself is left
// as it was (headers restored, body read position at the start). 0 when
// the body is shorter than the answer's own "Content-Length" (a relay cut
// short is never stored) or the serialisation fails.
int KvCacheSerialize(KvHttpResponse& answer, KvGenBuffer& out);
// The same, appended in the blob form (below) straight from the answer,
// with no plain copy of the whole answer in between.
int KvCacheSerializeEncoded(KvHttpResponse& answer, KvGenBuffer& out);

// --- the blob form (KvSqlBinary's encoding: 0x01 escapes, 0x00 is written
// 01 01 and 0x01 is written 01 02) written and read in one pass, straight
// from and into the buffers the store uses ---
// Appends the encoded form of the bytes to out. False when out cannot grow.
bool KvCacheEncodeBlob(const void* data, size_t length, KvGenBuffer& out);
// Appends the bytes of an encoded form to out. False (out holding part of
// them) for a form that is not valid (a zero byte, a broken escape).
bool KvCacheDecodeBlob(const void* stored, size_t length, KvGenBuffer& out);

// The checksum kept beside a stored form (CRC-32 of its bytes).
uint32_t KvCacheChecksum(const void* data, size_t length);

// --- reading ---
// Fills the response from a stored form, consuming the buffer (the
// response is reset first). 0, with the response reset, when the data is
// empty, begins with "(null)", does not parse, or holds another number of
// body bytes than its "Content-Length" says.
int KvCacheRestore(KvGenBuffer& stored, KvHttpResponse& response);
int KvCacheRestore(const void* data, size_t length, KvHttpResponse& response);
// The same from the blob form as the store holds it, the body decoded
// straight into the response (peak memory: the blob and one decoded copy).
int KvCacheRestoreEncoded(const void* encoded, size_t length, KvHttpResponse& response);

// The head of a stored form alone (its encoded bytes through the blank
// line) into the response, which gets no body: the body length the head
// declares, or -1 (response reset) when it is no valid stored head.
long long KvCacheRestoreEncodedHead(const void* encodedHead, size_t length, KvHttpResponse& response);
// Decodes one piece of an encoded body into dst (room for length bytes),
// setting `written`. `escape` carries an escape byte that ended the piece
// before into the next one. False for a form that is not valid.
bool KvCacheDecodePiece(const void* piece, size_t length, char* dst, size_t& written, bool& escape);

// Removes every header of that name, whatever its letter case.
void KvCacheRemoveHeaderAll(KvHttpBuffer& message, const char* name);

// Headers of an answer served from an object store: "Date" and
// "Last-Modified" now; "Expires" now plus one day for an answer whose
// "Content-Type" begins with "image" (letter case ignored), plus two days
// otherwise; "CacheName" the store's name; no "Cache-Control",
// "Set-Cookie" or "Set-Cookie2" at all (cookies are one browser's, never
// shared). 1, or 0 when a header cannot be set.
int KvCacheServeHeaders(KvHttpResponse& response, const char* storeName);
// How far ahead of now KvCacheServeHeaders puts "Expires" for this answer.
int KvCacheExpiresSeconds(const KvHttpBuffer& response);

// Headers of an answer served from a path-structured store: "Last-Modified"
// the stored modification time, "Expires" now plus one hour, "CacheName"
// the store's name, no "Cache-Control", "Set-Cookie" or "Set-Cookie2".
int KvCacheServeHeadersPath(KvHttpResponse& response, const KvTime& modified, const char* storeName);

// The request's "If-Modified-Since" as a time: false when there is none,
// it is no Internet date, or it lies in the future (such a date is ignored).
bool KvCacheIfModifiedSince(const KvHttpRequest* request, KvTime& since);

// --- reporting ---
// One line in the diagnostic log (stderr when no application runs).
void KvCacheLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
