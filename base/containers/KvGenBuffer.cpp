#include "base/containers/KvGenBuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/platform/FileIo.h"

IMPLEMENT_DYNCREATE(KvGenBuffer, CObject)

namespace {

bool IsLineByte(char c) { return c == '\r' || c == '\n'; }

// The other member of a CR LF / LF CR pair.
char PairOf(char c) { return c == '\r' ? '\n' : '\r'; }

}  // namespace

KvGenBuffer::KvGenBuffer(size_t growBytes) : m_nGrowBytes(growBytes) {}

KvGenBuffer::KvGenBuffer(void* block, size_t length, size_t growBytes) : m_nGrowBytes(growBytes) {
    // The buffer was handed the block: under memory exhaustion it cannot
    // keep it, so it frees it rather than leak it.
    if (block && !AdoptBlock(block, length, growBytes == 0)) std::free(block);
}

KvGenBuffer::~KvGenBuffer() { std::free(m_pData); }

void KvGenBuffer::Empty() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nCount = m_nAllocSize = m_nPos = 0;
}

bool KvGenBuffer::AdoptBlock(void* block, size_t length, bool full) {
    if (length == (size_t)-1) return false;
    // The block must have room for the terminator behind its bytes.
    char* p = static_cast<char*>(std::realloc(block, length + 1));
    if (!p) return false;
    std::free(m_pData);
    m_pData = p;
    m_nAllocSize = length;
    m_nCount = full ? length : 0;
    m_nPos = 0;
    Terminate();
    return true;
}

// ---------------------------------------------------------------------------
// The four overridable operations.

bool KvGenBuffer::GrowBuffer(size_t needed) {
    if (needed <= m_nAllocSize) return true;
    // Reclaim the consumed bytes before allocating anything.
    if (m_pData && m_nAllocSize >= needed - m_nPos) {
        size_t unread = m_nCount - m_nPos;
        std::memmove(m_pData, m_pData + m_nPos, unread);
        m_nCount = unread;
        m_nPos = 0;
        Terminate();
        return true;
    }
    const size_t step = m_nGrowBytes;
    if (step == 0) return false;

    // The smallest multiple of the step that reaches `needed`; once the
    // step is small beside the block, at least double the block so that a
    // stream of small writes costs linear time.
    size_t missing = needed - m_nAllocSize;
    size_t minSteps = missing / step + (missing % step != 0);
    size_t doubleSteps = m_nAllocSize / step + (m_nAllocSize % step != 0);
    size_t tries[2] = {minSteps < doubleSteps ? doubleSteps : minSteps, minSteps};

    for (size_t steps : tries) {
        size_t grow, newSize, blockSize;
        if (__builtin_mul_overflow(steps, step, &grow) ||
            __builtin_add_overflow(m_nAllocSize, grow, &newSize) ||
            __builtin_add_overflow(newSize, (size_t)1, &blockSize)) {
            continue;
        }
        char* p;
        if (!m_pData || m_nPos > 0) {
            p = static_cast<char*>(std::malloc(blockSize));
            if (!p) continue;
            size_t unread = m_nCount - m_nPos;
            if (unread) std::memcpy(p, m_pData + m_nPos, unread);
            std::free(m_pData);
            m_nCount = unread;
            m_nPos = 0;
        } else {
            p = static_cast<char*>(std::realloc(m_pData, blockSize));
            if (!p) continue;
        }
        m_pData = p;
        m_nAllocSize = newSize;
        Terminate();
        return true;
    }
    return false;
}

bool KvGenBuffer::Write(const void* src, size_t n) {
    if (n == 0) return true;
    if (!src) return false;
    size_t needed;
    if (__builtin_add_overflow(m_nCount, n, &needed)) return false;
    if (needed > m_nAllocSize) {
        uintptr_t s = (uintptr_t)src, block = (uintptr_t)m_pData;
        if (m_pData && s >= block && s <= block + m_nAllocSize) {
            // The bytes live in our own block, which growth moves or frees.
            void* copy = std::malloc(n);
            if (!copy) return false;
            std::memcpy(copy, src, n);
            bool ok = Write(copy, n);
            std::free(copy);
            return ok;
        }
        if (!GrowBuffer(needed)) return false;
        if (m_nAllocSize - m_nCount < n) return false;  // a derived GrowBuffer fell short
    }
    std::memmove(m_pData + m_nCount, src, n);
    m_nCount += n;
    Terminate();
    return true;
}

size_t KvGenBuffer::Read(void* dst, size_t n) {
    size_t unread = m_nCount - m_nPos;
    if (n > unread) n = unread;
    if (n == 0 || !dst) return 0;
    std::memcpy(dst, m_pData + m_nPos, n);
    m_nPos += n;
    return n;
}

size_t KvGenBuffer::DoGetLine(char* dst, size_t max) {
    if (!dst) return 0;
    size_t unread = m_nCount - m_nPos;
    size_t look = max < unread ? max : unread;
    size_t len = look;
    if (look) {
        const char* b = m_pData + m_nPos;
        const char* lf = static_cast<const char*>(std::memchr(b, '\n', look));
        size_t lim = lf ? (size_t)(lf - b) : look;
        const char* cr = static_cast<const char*>(std::memchr(b, '\r', lim));
        len = cr ? (size_t)(cr - b) : lim;
        std::memcpy(dst, b, len);
        m_nPos += len;
    }
    dst[len] = '\0';
    // The line end (also behind a last piece of exactly max bytes), and the
    // other member of a CR LF / LF CR pair.
    if (m_nPos < m_nCount && IsLineByte(m_pData[m_nPos])) {
        char c = m_pData[m_nPos++];
        if (m_nPos < m_nCount && m_pData[m_nPos] == PairOf(c)) ++m_nPos;
    }
    return len;
}

// ---------------------------------------------------------------------------
// Bytes and strings.

bool KvGenBuffer::SetAllocSize(size_t n) {
    if (n <= m_nAllocSize) return false;
    // An explicit size is honoured even by a buffer that does not grow on
    // its own (growth step 0).
    size_t saved = m_nGrowBytes;
    if (saved == 0) m_nGrowBytes = n - m_nAllocSize;
    bool ok = GrowBuffer(n);
    if (ok && m_nAllocSize < n) ok = GrowBuffer(n);  // the first call only reclaimed
    m_nGrowBytes = saved;
    return ok;
}

int KvGenBuffer::GetChar() {
    unsigned char c;
    return Read(&c, 1) == 1 ? c : 0xFF;
}

void KvGenBuffer::PutBackChar(int ch) {
    if (m_nPos > 0) m_pData[--m_nPos] = (char)ch;
}

bool KvGenBuffer::PutChar(int ch) {
    char c = (char)ch;
    return Write(&c, 1);
}

bool KvGenBuffer::PutString(const char* s) { return s ? Write(s, std::strlen(s)) : true; }

bool KvGenBuffer::PutString(const char* s, size_t n) { return s ? Write(s, n) : n == 0; }

size_t KvGenBuffer::GetString(char* dst, size_t n) {
    if (!dst) return 0;
    size_t got = Read(dst, n);
    dst[got] = '\0';
    return got;
}

// ---------------------------------------------------------------------------
// Lines.

size_t KvGenBuffer::FindLineEnd(size_t from) const {
    size_t unread = m_nCount - m_nPos;
    if (from >= unread) return npos;
    const char* b = m_pData + m_nPos + from;
    size_t len = unread - from;
    const char* lf = static_cast<const char*>(std::memchr(b, '\n', len));
    const char* cr = static_cast<const char*>(std::memchr(b, '\r', lf ? (size_t)(lf - b) : len));
    const char* hit = cr ? cr : lf;
    return hit ? from + (size_t)(hit - b) : npos;
}

size_t KvGenBuffer::Find(const void* needle, size_t n, size_t from) const {
    size_t unread = m_nCount - m_nPos;
    if (!needle || from > unread || n > unread - from) return npos;
    if (n == 0) return from;
    const char* b = m_pData + m_nPos + from;
    const void* hit = memmem(b, unread - from, needle, n);
    return hit ? from + (size_t)(static_cast<const char*>(hit) - b) : npos;
}

size_t KvGenBuffer::GetLineLength() const {
    size_t unread = m_nCount - m_nPos;
    size_t end = FindLineEnd();
    if (end == npos) return unread;
    if (end + 1 < unread) {
        const char* b = m_pData + m_nPos;
        if (b[end + 1] == PairOf(b[end])) return end + 1;
    }
    return end;
}

bool KvGenBuffer::GetLine(CString& line) {
    std::string& s = line.str();
    if (IsEmpty()) {
        s.clear();
        return false;
    }
    size_t len = GetLineLength();
    s.resize(len);  // std::string keeps a writable terminator byte at [len]
    size_t got = DoGetLine(s.data(), len);
    s.resize(got < len ? got : len);
    return true;
}

bool KvGenBuffer::GetLine(CsString& line) {
    if (IsEmpty()) {
        line.Empty();
        return false;
    }
    size_t len = GetLineLength();
    char* p = static_cast<char*>(std::malloc(len + 1));
    if (!p) {
        line.Empty();
        return false;
    }
    DoGetLine(p, len);
    line.Attach(p);
    return true;
}

size_t KvGenBuffer::Consume(size_t n) {
    size_t unread = m_nCount - m_nPos;
    if (n > unread) n = unread;
    m_nPos += n;
    return n;
}

// ---------------------------------------------------------------------------
// Direct access and ownership.

char* KvGenBuffer::GetBuffer(size_t n) {
    size_t needed;
    if (__builtin_add_overflow(m_nCount, n, &needed)) return nullptr;
    if (needed > m_nAllocSize && !GrowBuffer(needed)) return nullptr;
    if (!m_pData || m_nAllocSize - m_nCount < n) return nullptr;
    return m_pData + m_nPos;
}

char* KvGenBuffer::GetAddBuffer(size_t n) {
    return GetBuffer(n) ? m_pData + m_nCount : nullptr;
}

void KvGenBuffer::ReleaseBuffer(size_t n) {
    size_t room = m_nAllocSize - m_nCount;
    m_nCount += n < room ? n : room;
    Terminate();
}

void KvGenBuffer::Attach(KvGenBuffer& other) {
    if (&other == this) return;
    Empty();
    m_pData = other.m_pData;
    m_nCount = other.m_nCount;
    m_nAllocSize = other.m_nAllocSize;
    m_nPos = other.m_nPos;
    other.m_pData = nullptr;
    other.m_nCount = other.m_nAllocSize = other.m_nPos = 0;
}

bool KvGenBuffer::Attach(void* block, size_t length, size_t growBytes) {
    if (block && block == m_pData) return false;
    if (!block) {
        Empty();
        m_nGrowBytes = growBytes;
        return length == 0;
    }
    if (!AdoptBlock(block, length, true)) return false;
    m_nGrowBytes = growBytes;
    return true;
}

char* KvGenBuffer::Detach() {
    Terminate();
    char* p = m_pData;
    m_pData = nullptr;
    m_nCount = m_nAllocSize = m_nPos = 0;
    return p;
}

// ---------------------------------------------------------------------------
// Files (plain reads and an atomic replace; no mapping, which would fault
// when another process shrinks the file).

bool KvGenBuffer::PutFile(const char* path) {
    std::string native = KvNativePath(path);
    if (native.empty()) return false;
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    size_t expected = 0;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) expected = (size_t)st.st_size;

    size_t added = 0;
    bool ok = true;
    char probe[16384];
    for (;;) {
        // Read the size the file announced straight into the block, then
        // probe for more (a growing file, or one without a size) on the side.
        bool direct = added < expected;
        size_t want = direct ? expected - added : sizeof probe;
        char* p = direct ? GetAddBuffer(want) : probe;
        if (!p) {
            ok = false;
            break;
        }
        ssize_t r = ::read(fd, p, want);
        if (r < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (r == 0) break;
        if (direct) {
            m_nCount += (size_t)r;
        } else if (!Write(probe, (size_t)r)) {
            ok = false;
            break;
        }
        added += (size_t)r;
    }
    ::close(fd);
    if (!ok) m_nCount -= added;  // growth only ever moves unread bytes forward
    Terminate();
    return ok;
}

bool KvGenBuffer::SaveBufferToFile(const char* path) {
    if (IsEmpty()) return true;
    if (!KvWriteFileAtomic(path, m_pData + m_nPos, m_nCount - m_nPos)) return false;
    m_nPos = m_nCount;
    return true;
}
