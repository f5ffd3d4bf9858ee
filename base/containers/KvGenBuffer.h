// KvGenBuffer: a growable byte buffer with a read position.
//
// The carrier of every protocol and file read. Bytes are appended behind
// the stored ones and consumed from the read position; the unread content
// is [read position, stored count). Lines end at CR, LF, CR LF or LF CR.
//
// Storage: one malloc'ed block that the buffer always owns and frees
// (attached blocks included, so they must come from malloc/realloc). The
// block has one spare byte beyond the allocated size, and the stored bytes
// are always followed by a zero byte, so the content can be read as a C
// string while it holds no zero bytes of its own.
//
// Growth: consumed bytes are reclaimed (the unread bytes moved to the
// front) before anything is allocated; otherwise the block grows by
// multiples of the growth step, and at least doubles once the step is small
// beside the block, so a large body arriving in small pieces costs linear
// time. A growth step of 0 fixes the size. Counts are size_t and every size
// computation is checked for overflow: an operation that would overflow or
// cannot allocate fails and leaves the content unchanged.
//
// All public operations go through the four virtual operations DoGetLine,
// GrowBuffer, Write and Read, so a derived buffer can change the storage
// or the line rules. Not thread-safe: one thread at a time.
#pragma once

#include <cassert>
#include <cstddef>

#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "base/str/CsString.h"

class KvGenBuffer : public CObject {
    DECLARE_DYNCREATE(KvGenBuffer)

public:
    static constexpr size_t npos = (size_t)-1;
    static constexpr size_t kDefaultGrowBytes = 4096;

    explicit KvGenBuffer(size_t growBytes = kDefaultGrowBytes);
    // Takes over a malloc'ed block of `length` bytes: with growBytes 0 the
    // block counts as full of data, otherwise as empty storage of that size.
    KvGenBuffer(void* block, size_t length, size_t growBytes);
    ~KvGenBuffer() override;

    KvGenBuffer(const KvGenBuffer&) = delete;
    KvGenBuffer& operator=(const KvGenBuffer&) = delete;

    // --- the four overridable operations ---
    // Copies the next line (at most max bytes) into dst, which must hold
    // max + 1 bytes, terminates it and consumes its line end. A longer line
    // comes back in pieces of max bytes. Returns the bytes copied.
    virtual size_t DoGetLine(char* dst, size_t max);
    // Makes room for `needed` stored bytes (counted from the block start).
    virtual bool GrowBuffer(size_t needed);
    // Appends n bytes; false (nothing appended) when the buffer cannot grow.
    virtual bool Write(const void* src, size_t n);
    // Copies up to n unread bytes into dst and consumes them.
    virtual size_t Read(void* dst, size_t n);

    // --- state ---
    size_t GetCount() const { return m_nCount - m_nPos; }  // unread bytes
    bool IsEmpty() const { return m_nPos == m_nCount; }
    void Empty();
    size_t GetAllocSize() const { return m_nAllocSize; }
    size_t GetStoredCount() const { return m_nCount; }
    size_t GetGrowBytes() const { return m_nGrowBytes; }
    void SetGrowBytes(size_t n) { m_nGrowBytes = n; }
    // Grows the block to hold n bytes; false when it already does.
    bool SetAllocSize(size_t n);

    // --- bytes ---
    // The next unread byte (0..255), or 0xFF when nothing is unread. Use
    // IsEmpty to tell a stored 0xFF byte from the end.
    int GetChar();
    // Steps the read position back one byte and stores ch there.
    void PutBackChar(int ch);
    bool PutChar(int ch);
    bool PutString(const char* s);
    bool PutString(const char* s, size_t n);
    bool PutString(const CString& s) { return Write(s.c_str(), (size_t)s.GetLength()); }
    bool PutString(const CsString& s) { return Write(s.GetStr(), s.GetLength()); }
    // Reads up to n bytes into dst (which must hold n + 1) and terminates.
    size_t GetString(char* dst, size_t n);

    // --- lines ---
    size_t GetLine(char* dst, size_t max) { return DoGetLine(dst, max); }
    // The next line; false (and an empty string) when nothing is unread.
    bool GetLine(CString& line);
    bool GetLine(CsString& line);
    bool IsLineExist() const { return FindLineEnd() != npos; }
    // Unread bytes before the first CR or LF (all when there is none), plus
    // one when the line ends in a CR LF or LF CR pair. For sizing only.
    size_t GetLineLength() const;

    // --- files ---
    // Appends the whole file; true for an empty file, false (nothing
    // appended) when it cannot be read.
    bool PutFile(const char* path);
    // Replaces the file with the unread bytes (atomically) and consumes
    // them. An empty buffer leaves the file alone and returns true.
    bool SaveBufferToFile(const char* path);

    // --- read position ---
    size_t GetPos() const { return m_nPos; }
    void SetPos(size_t pos) { m_nPos = pos < m_nCount ? pos : m_nCount; }
    void ResetPos() { m_nPos = 0; }
    // Consumes up to n unread bytes; returns how many were consumed.
    size_t Consume(size_t n);

    // --- direct access ---
    // The unread bytes (never null; followed by a zero byte).
    const char* GetData() const { return m_pData ? m_pData + m_nPos : ""; }
    // Offset from the read position of the first CR or LF at or after
    // `from`, or npos.
    size_t FindLineEnd(size_t from = 0) const;
    // Offset from the read position of the first occurrence of the bytes
    // at or after `from`, or npos.
    size_t Find(const void* needle, size_t n, size_t from = 0) const;
    // Room for n more bytes; a pointer at the read position (GetBuffer) or
    // just behind the stored bytes (GetAddBuffer); null when it cannot grow.
    char* GetBuffer(size_t n);
    char* GetAddBuffer(size_t n);
    // Adds n bytes written through GetAddBuffer to the stored count.
    void ReleaseBuffer(size_t n);

    // --- ownership ---
    // Empties this buffer and takes over the other's block and counters.
    void Attach(KvGenBuffer& other);
    // Empties this buffer and takes over a malloc'ed block as full of data;
    // false (the caller keeps the block) when no terminator byte fits.
    bool Attach(void* block, size_t length, size_t growBytes);
    // Terminates the stored bytes and hands the block (free() it) to the
    // caller; null when there is none. The buffer is left empty.
    char* Detach();

protected:
    // Takes a block as storage after making room for the terminator byte.
    bool AdoptBlock(void* block, size_t length, bool full);
    void Terminate() {
        AssertPositions();
        if (m_pData) m_pData[m_nCount] = '\0';
    }
    // The unread content lies within the stored bytes, which fit the block.
    void AssertPositions() const {
        assert(m_nPos <= m_nCount && m_nCount <= m_nAllocSize);
        assert(m_pData || m_nAllocSize == 0);
    }

    char* m_pData = nullptr;
    size_t m_nCount = 0;      // stored bytes
    size_t m_nAllocSize = 0;  // usable bytes (the block has one more)
    size_t m_nGrowBytes = kDefaultGrowBytes;
    size_t m_nPos = 0;        // read position
    bool m_bOwn = true;       // always set: the buffer frees its block
};
