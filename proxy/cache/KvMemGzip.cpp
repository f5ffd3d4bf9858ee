#include "proxy/cache/KvMemGzip.h"

#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

const BYTE kHeader[10] = {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B};

enum : BYTE { kFlagHeaderCrc = 0x02, kFlagExtra = 0x04, kFlagName = 0x08, kFlagComment = 0x10, kFlagReserved = 0xE0 };

void PutLE32(BYTE* p, uLong v) {
    for (int i = 0; i < 4; i++) p[i] = (BYTE)(v >> (8 * i));
}

uLong GetLE32(const BYTE* p) {
    return (uLong)p[0] | ((uLong)p[1] << 8) | ((uLong)p[2] << 16) | ((uLong)p[3] << 24);
}

bool IsGzip(const BYTE* p, size_t n) { return n >= 2 && p[0] == 0x1F && p[1] == 0x8B; }

// Skips a member header; the offset of the deflate data, or 0 when the
// header is damaged or cut short.
size_t SkipHeader(const BYTE* in, size_t n, const char** why) {
    if (n < 10) return *why = "truncated gzip header", 0;
    if (in[2] != Z_DEFLATED) return *why = "unknown compression method", 0;
    BYTE flags = in[3];
    if (flags & kFlagReserved) return *why = "reserved gzip flags set", 0;
    size_t p = 10;
    if (flags & kFlagExtra) {
        if (n - p < 2) return *why = "truncated gzip header", 0;
        size_t extra = (size_t)in[p] | ((size_t)in[p + 1] << 8);
        p += 2;
        if (n - p < extra) return *why = "truncated gzip header", 0;
        p += extra;
    }
    for (BYTE field : {kFlagName, kFlagComment}) {
        if (!(flags & field)) continue;
        const void* end = std::memchr(in + p, 0, n - p);
        if (!end) return *why = "truncated gzip header", 0;
        p = (size_t)(static_cast<const BYTE*>(end) - in) + 1;
    }
    if (flags & kFlagHeaderCrc) {
        if (n - p < 2) return *why = "truncated gzip header", 0;
        p += 2;
    }
    return p;
}

}  // namespace

void KvMemGzip::SetMaxOutput(size_t maxOutput) {
    m_nMaxOutput = maxOutput ? maxOutput : kDefaultMaxOutput;
    // Lengths are reported as UINT.
    if (m_nMaxOutput > UINT_MAX) m_nMaxOutput = UINT_MAX;
}

void KvMemGzip::Free() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nLength = m_nCapacity = 0;
}

BYTE* KvMemGzip::Detach(UINT& length) {
    BYTE* p = m_pData;
    length = (UINT)m_nLength;
    m_pData = nullptr;
    m_nLength = m_nCapacity = 0;
    return p;
}

bool KvMemGzip::Reserve(size_t capacity) {
    if (capacity <= m_nCapacity) return true;
    BYTE* p = static_cast<BYTE*>(std::realloc(m_pData, capacity));
    if (!p) return false;
    m_pData = p;
    m_nCapacity = capacity;
    return true;
}

int KvMemGzip::Fail(const char* why) {
    Free();
    m_pszError = why;
    return 0;
}

int KvMemGzip::Compress(const void* data, UINT length) {
    Free();
    m_pszError = "";
    if (length == kTextLength) length = data ? (UINT)std::strlen(static_cast<const char*>(data)) : 0;
    if (!data && length) return Fail("no input");
    static const BYTE kNone = 0;
    const BYTE* in = data ? static_cast<const BYTE*>(data) : &kNone;

    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return Fail("deflate set-up failed");
    }
    // One deflate call into a buffer of the worst-case size.
    uLong bound = deflateBound(&zs, length);
    if (bound > UINT_MAX - sizeof kHeader - 8 || !Reserve(sizeof kHeader + bound + 8)) {
        deflateEnd(&zs);
        return Fail("out of memory");
    }
    std::memcpy(m_pData, kHeader, sizeof kHeader);
    zs.next_in = const_cast<Bytef*>(in);
    zs.avail_in = length;
    zs.next_out = m_pData + sizeof kHeader;
    zs.avail_out = (uInt)bound;
    int rc = deflate(&zs, Z_FINISH);
    size_t packed = zs.total_out;
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) return Fail("deflate failed");
    BYTE* trailer = m_pData + sizeof kHeader + packed;
    PutLE32(trailer, crc32(crc32(0L, Z_NULL, 0), in, length));
    PutLE32(trailer + 4, length);
    m_nLength = sizeof kHeader + packed + 8;
    return 1;
}

int KvMemGzip::Decompress(const void* data, UINT length) {
    Free();
    m_pszError = "";
    if (!data && length) return Fail("no input");
    const BYTE* in = static_cast<const BYTE*>(data);
    if (!IsGzip(in, length)) {
        // Not compressed: the bytes as they are.
        if (length && !Reserve(length)) return Fail("out of memory");
        if (length) std::memcpy(m_pData, in, length);
        m_nLength = length;
        return 1;
    }
    return InflateMembers(in, length);
}

int KvMemGzip::InflateMembers(const BYTE* in, size_t length) {
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return Fail("inflate set-up failed");
    const char* why = nullptr;
    size_t pos = 0;
    while (!why) {
        size_t header = SkipHeader(in + pos, length - pos, &why);
        if (!header) break;
        pos += header;
        zs.next_in = const_cast<Bytef*>(in + pos);
        zs.avail_in = (uInt)(length - pos);
        size_t memberStart = m_nLength;
        int rc = Z_OK;
        while (rc != Z_STREAM_END) {
            BYTE probe;
            bool atLimit = false;
            if (m_nLength == m_nCapacity) {
                size_t want = m_nCapacity ? m_nCapacity * 2 : 4 * length + 4096;
                if (want > m_nMaxOutput) want = m_nMaxOutput;
                if (want > m_nCapacity && !Reserve(want)) {
                    why = "out of memory";
                    break;
                }
                atLimit = m_nLength == m_nCapacity;
            }
            if (atLimit) {
                // Full at the limit: one more byte of output is one too many,
                // but the stream may well end here.
                zs.next_out = &probe;
                zs.avail_out = 1;
            } else {
                zs.next_out = m_pData + m_nLength;
                zs.avail_out = (uInt)(m_nCapacity - m_nLength);
            }
            rc = inflate(&zs, Z_NO_FLUSH);
            if (atLimit) {
                if (zs.avail_out == 0) {
                    why = "decompressed data exceeds the size limit";
                    break;
                }
            } else {
                m_nLength = m_nCapacity - zs.avail_out;
            }
            if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
                why = "truncated gzip data";
                break;
            }
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
                why = "damaged gzip data";
                break;
            }
        }
        if (why) break;
        pos = length - zs.avail_in;
        if (length - pos < 8) {
            why = "truncated gzip trailer";
            break;
        }
        size_t produced = m_nLength - memberStart;
        uLong crc = crc32(crc32(0L, Z_NULL, 0), m_pData + memberStart, (uInt)produced);
        if (GetLE32(in + pos) != crc) {
            why = "gzip checksum mismatch";
        } else if (GetLE32(in + pos + 4) != (uLong)(produced & 0xFFFFFFFFu)) {
            why = "gzip length mismatch";
        }
        pos += 8;
        // A following member continues the data; anything else ends it.
        if (why || !IsGzip(in + pos, length - pos)) break;
        inflateReset(&zs);
    }
    inflateEnd(&zs);
    if (why) return Fail(why);
    return 1;
}
