// KvHistoryLog: the browsing history file ("<base>/history.txt"), one line
// per page a browser showed (see KvHistoryText.h for what counts and the
// line's form), which the portal's history page lists.
//
// Each visit is one append (O_APPEND, a single write), made after the
// browser has its answer. The file stays bounded: when it passes
// trimLines lines or trimBytes bytes it is rewritten with its newest
// keepLines lines (at most keepBytes bytes) through a temporary file and
// a rename, so a reader sees the old file or the new one, never half of
// one. The file is readable by its owner only: it tells where they went.
//
// Threads: any request thread may append; one lock orders the appends and
// the trimming of a log. Configure belongs to start-up.
#pragma once

#include <cstddef>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

struct KvHistoryLimits {
    size_t keepLines = 10000;
    size_t trimLines = 12000;
    size_t keepBytes = (size_t)3 << 20;
    size_t trimBytes = (size_t)4 << 20;
};

class KvHistoryLog {
public:
    // The log of the running proxy.
    static KvHistoryLog& Shared();

    // The file, and whether visits are written at all ([General] History).
    void Configure(const std::string& file, bool enabled, const KvHistoryLimits& limits = {});
    bool Enabled() const { return m_enabled && !m_file.empty(); }

    // Appends the visit; false when it is off or the file cannot be written.
    bool Append(std::string_view url, std::string_view title, std::time_t when);

private:
    // Lines and bytes of the file as it is, counted once.
    void Count();
    // Rewrites the file with its newest lines (m_mutex held).
    bool Trim();

    std::mutex m_mutex;
    std::string m_file;
    bool m_enabled = false;
    KvHistoryLimits m_limits;
    bool m_counted = false;
    size_t m_lines = 0;
    size_t m_bytes = 0;
};
