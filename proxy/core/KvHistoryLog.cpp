#include "proxy/core/KvHistoryLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "proxy/core/KvHistoryText.h"

namespace {

// The longest address recorded: a longer one (tracking noise, data URLs
// of a page) is left out rather than cut into a broken link.
constexpr size_t kMaxUrl = 4096;

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix((size_t)n);
    }
    return true;
}

// The last `limit` bytes of the file (all of it when smaller).
bool ReadTail(const std::string& file, size_t limit, std::string& out, bool& whole) {
    out.clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    const off_t size = ok ? st.st_size : 0;
    const off_t from = size > (off_t)limit ? size - (off_t)limit : 0;
    whole = from == 0;
    out.resize((size_t)(size - from));
    size_t got = 0;
    while (ok && got < out.size()) {
        const ssize_t n = ::pread(fd, out.data() + got, out.size() - got, from + (off_t)got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += (size_t)n;
    }
    out.resize(got);
    ::close(fd);
    return ok;
}

}  // namespace

KvHistoryLog& KvHistoryLog::Shared() {
    static KvHistoryLog log;
    return log;
}

void KvHistoryLog::Configure(const std::string& file, bool enabled, const KvHistoryLimits& limits) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_file = file;
    m_enabled = enabled;
    m_limits = limits;
    m_counted = false;
}

bool KvHistoryLog::Append(std::string_view url, std::string_view title, std::time_t when) {
    if (url.empty() || url.size() > kMaxUrl) return false;
    const std::string line = KvHistoryLine(when, url, title);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!Enabled()) return false;
    if (!m_counted) Count();
    const int fd = ::open(m_file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, line);
    ::close(fd);
    if (!written) return false;
    ++m_lines;
    m_bytes += line.size();
    if ((m_lines > m_limits.trimLines || m_bytes > m_limits.trimBytes) && !Trim()) {
        // Tried again after as many visits as a trim would have left room for.
        m_lines = m_limits.keepLines;
        m_bytes = 0;
    }
    return true;
}

void KvHistoryLog::Count() {
    m_lines = m_bytes = 0;
    const int fd = ::open(m_file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        std::vector<char> buf(64 * 1024);
        for (;;) {
            const ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            m_bytes += (size_t)n;
            m_lines += (size_t)std::count(buf.data(), buf.data() + n, '\n');
        }
        ::close(fd);
    }
    m_counted = true;
}

bool KvHistoryLog::Trim() {
    std::string text;
    bool whole = true;
    if (!ReadTail(m_file, m_limits.keepBytes, text, whole)) return false;
    // A tail that starts inside a line loses that line.
    size_t start = 0;
    if (!whole) {
        const size_t feed = text.find('\n');
        start = feed == std::string::npos ? text.size() : feed + 1;
    }
    // The newest keepLines lines: walk back from the end.
    size_t from = text.size(), lines = 0;
    if (from > start && text[from - 1] != '\n') text.push_back('\n'), from = text.size();
    while (from > start && lines < m_limits.keepLines) {
        const size_t feed = from >= 2 ? text.rfind('\n', from - 2) : std::string::npos;
        const size_t begin = feed == std::string::npos || feed < start ? start : feed + 1;
        ++lines;
        from = begin;
    }
    const std::string_view kept = std::string_view(text).substr(from);
    const std::string temp = m_file + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, kept) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), m_file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    m_lines = lines;
    m_bytes = kept.size();
    return true;
}
