// KvMemGzip: gzip compression of whole buffers in memory.
//
// The path-structured cache stores keep text content compressed. Compress
// writes one gzip member (RFC 1952): the header 1F 8B 08 00 00 00 00 00 00 0B
// (deflate, no flags, no time, operating system 11), the raw deflate
// stream, then the CRC-32 and the input length as 4-byte little-endian
// values. Decompress reads such members (one or several in a row; optional
// header fields skipped) and checks each member's CRC-32 and length; bytes
// after the last member that do not begin another member are ignored.
//
// Safety: decompression output is bounded (64 MiB unless set), so a small
// "gzip bomb" cannot exhaust memory. Truncated, damaged or over-long input
// is an error, and an error always leaves the result EMPTY: a stored answer
// is either restored exactly or not at all (never served cut short). Data
// that does not begin with the gzip magic 1F 8B is returned unchanged.
//
// The result is owned by the object and stays valid until the next
// operation, Free or destruction. An object belongs to one thread; separate
// objects are independent.
#pragma once

#include <cstddef>

#include "base/platform/WinTypes.h"

class KvMemGzip {
public:
    static constexpr size_t kDefaultMaxOutput = (size_t)64 << 20;
    // Length meaning "a zero-terminated text" for Compress.
    static constexpr UINT kTextLength = (UINT)-1;

    KvMemGzip() = default;
    explicit KvMemGzip(size_t maxOutput) { SetMaxOutput(maxOutput); }
    ~KvMemGzip() { Free(); }
    KvMemGzip(const KvMemGzip&) = delete;
    KvMemGzip& operator=(const KvMemGzip&) = delete;

    // 1 with the gzip member as result; 0 (empty result) on failure.
    int Compress(const void* data, UINT length);
    // 1 with the inflated bytes (or an unchanged copy of non-gzip data) as
    // result; 0 (empty result, GetError tells why) on any error.
    int Decompress(const void* data, UINT length);

    const BYTE* GetData() const { return m_pData; }
    UINT GetLength() const { return (UINT)m_nLength; }
    // Takes the result over (free it with std::free); the object is empty.
    BYTE* Detach(UINT& length);
    void Free();
    // Why the last operation failed; "" after a success.
    const char* GetError() const { return m_pszError; }

    // Most bytes Decompress may produce; 0 restores the default.
    void SetMaxOutput(size_t maxOutput);
    size_t GetMaxOutput() const { return m_nMaxOutput; }

private:
    bool Reserve(size_t capacity);
    int Fail(const char* why);
    int InflateMembers(const BYTE* in, size_t length);

    BYTE* m_pData = nullptr;  // malloc'ed
    size_t m_nLength = 0;
    size_t m_nCapacity = 0;
    size_t m_nMaxOutput = kDefaultMaxOutput;
    const char* m_pszError = "";
};
