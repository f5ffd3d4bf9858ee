// KvStdioFile: buffered text lines over KvFile.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/file/KvFile.h"

IMPLEMENT_DYNCREATE(KvStdioFile, KvFile)

namespace {
constexpr size_t kBufferSize = 65536;
}

bool KvStdioFile::Open(const char* path, UINT flags) {
    Close();
    m_readBuf.clear();
    m_readPos = 0;
    m_readEnd = false;
    m_writeBuf.clear();
    return KvFile::Open(path, flags);
}

void KvStdioFile::Close() {
    if (IsOpen()) Flush();
    m_readBuf.clear();
    m_readPos = 0;
    m_writeBuf.clear();
    KvFile::Close();
}

bool KvStdioFile::Flush() {
    if (m_writeBuf.empty()) return IsOpen() || Fail(EBADF);
    std::string pending;
    pending.swap(m_writeBuf);
    return KvFile::Write(pending.data(), (UINT)pending.size());
}

bool KvStdioFile::Write(const void* buffer, UINT count) {
    if (!IsOpen() || !IsWritable()) return KvFile::Write(buffer, count);  // sets the error
    m_writeBuf.append(static_cast<const char*>(buffer), count);
    return m_writeBuf.size() < kBufferSize || Flush();
}

bool KvStdioFile::Write(const char* text) {
    if (!text) return true;
    return Write(static_cast<const void*>(text), (UINT)std::strlen(text));
}

bool KvStdioFile::WriteTab(const char* text) { return Write(text) && Write("\t"); }

bool KvStdioFile::WriteLn(const char* text) { return Write(text) && Write("\r\n"); }

bool KvStdioFile::FillBuffer() {
    if (m_readEnd) return false;
    if (m_readPos > 0) {
        m_readBuf.erase(0, m_readPos);
        m_readPos = 0;
    }
    size_t old = m_readBuf.size();
    m_readBuf.resize(old + kBufferSize);
    UINT n = KvFile::Read(&m_readBuf[old], (UINT)kBufferSize);
    m_readBuf.resize(old + n);
    if (n < kBufferSize) m_readEnd = true;
    return n > 0;
}

UINT KvStdioFile::Read(void* buffer, UINT count) {
    char* out = static_cast<char*>(buffer);
    UINT total = 0;
    while (total < count) {
        if (m_readPos >= m_readBuf.size() && !FillBuffer()) break;
        size_t n = std::min((size_t)(count - total), m_readBuf.size() - m_readPos);
        std::memcpy(out + total, m_readBuf.data() + m_readPos, n);
        m_readPos += n;
        total += (UINT)n;
    }
    if (total < count) m_bEOF = true;
    return total;
}

bool KvStdioFile::ReadLn(CString& line) {
    line.Empty();
    bool any = false;
    for (;;) {
        if (m_readPos >= m_readBuf.size() && !FillBuffer()) {
            if (!any) m_bEOF = true;
            return any;
        }
        any = true;
        const char* start = m_readBuf.data() + m_readPos;
        size_t avail = m_readBuf.size() - m_readPos;
        const char* stop = static_cast<const char*>(std::memchr(start, '\n', avail));
        const char* cr = static_cast<const char*>(std::memchr(start, '\r', stop ? (size_t)(stop - start) : avail));
        if (cr) stop = cr;
        if (!stop) {
            line += CString(start, (int)avail);
            m_readPos = m_readBuf.size();
            continue;
        }
        line += CString(start, (int)(stop - start));
        m_readPos += (size_t)(stop - start) + 1;
        if (*stop == '\r') {
            // CR LF is one line end; the LF may still be in the file.
            if (m_readPos >= m_readBuf.size()) FillBuffer();
            if (m_readPos < m_readBuf.size() && m_readBuf[m_readPos] == '\n') ++m_readPos;
        }
        return true;
    }
}

bool KvStdioFile::ReadLn(CsString& line) {
    CString text;
    bool ok = ReadLn(text);
    line.Set(text.c_str(), (size_t)text.GetLength());
    return ok;
}

long long KvStdioFile::Seek(long long offset, UINT from) {
    Flush();
    if (from == current) offset -= (long long)(m_readBuf.size() - m_readPos);
    m_readBuf.clear();
    m_readPos = 0;
    m_readEnd = false;
    return KvFile::Seek(offset, from);
}

long long KvStdioFile::GetPosition() const {
    long long pos = KvFile::GetPosition();
    if (pos < 0) return pos;
    return pos - (long long)(m_readBuf.size() - m_readPos) + (long long)m_writeBuf.size();
}
