// LogError: line kinds, the formatter with %N, %E and %T, and the write.
#include "inet/log/KvLogError.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/app/KvBaseApp.h"
#include "base/app/KvData.h"
#include "base/platform/MessageLoop.h"
#include "base/platform/Ui.h"
#include "inet/match/TqRegex.h"
#include "inet/net/KvSocketObj.h"
#include "inet/web/KvWebApp.h"

namespace {

constexpr char kTruncated[] = "... [too long, truncated]\r\n";

// A bounded line: appends stop at the limit and remember that they did.
class LineBuilder {
public:
    LineBuilder(char* buf, size_t size)
        : m_buf(buf), m_limit(size ? (size > KV_LOG_LINE_MAX ? KV_LOG_LINE_MAX : size) - 1 : 0) {
        if (size) m_buf[0] = '\0';
    }

    void Append(const char* s, size_t n) {
        size_t room = m_limit - m_len;
        if (n > room) {
            n = room;
            m_bCut = true;
        }
        std::memcpy(m_buf + m_len, s, n);
        m_len += n;
    }
    void Append(const char* s) { Append(s, std::strlen(s)); }
    void Append(char c) { Append(&c, 1); }

    // Control bytes become visible escapes, so the text stays on its line.
    void AppendEscaped(const char* s, size_t n) {
        static const char kHex[] = "0123456789ABCDEF";
        for (size_t i = 0; i < n && !m_bCut; ++i) {
            unsigned char c = (unsigned char)s[i];
            if (c >= 0x20 && c != 0x7F) {
                Append((char)c);
                continue;
            }
            char esc[4] = {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            if (c == '\r' || c == '\n' || c == '\t') {
                esc[1] = c == '\r' ? 'r' : (c == '\n' ? 'n' : 't');
                Append(esc, 2);
            } else {
                Append(esc, 4);
            }
        }
    }

    void AppendF(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char tmp[256];
        va_list ap;
        va_start(ap, fmt);
        int n = std::vsnprintf(tmp, sizeof tmp, fmt, ap);
        va_end(ap);
        if (n > 0) Append(tmp, (size_t)n < sizeof tmp ? (size_t)n : sizeof tmp - 1);
    }

    void Clear() {
        m_len = 0;
        m_bCut = false;
    }

    // Terminates; a cut line ends in the truncation notice, within the limit.
    size_t Finish() {
        if (m_bCut) {
            size_t keep = m_limit > sizeof kTruncated - 1 ? m_limit - (sizeof kTruncated - 1) : 0;
            if (m_len > keep) m_len = keep;
            size_t n = sizeof kTruncated - 1 <= m_limit ? sizeof kTruncated - 1 : m_limit;
            std::memcpy(m_buf + m_len, kTruncated, n);
            m_len += n;
        }
        m_buf[m_len] = '\0';
        return m_len;
    }

private:
    char* m_buf;
    size_t m_limit;  // text bytes that fit (one byte stays for the zero)
    size_t m_len = 0;
    bool m_bCut = false;
};

thread_local int t_lastSocketError = 0;

long CurrentThreadNumber() { return (long)gettid(); }

const char* AppName() { return kvData.m_strAppName.c_str(); }

const char* PrefixName(int type) {
    switch (type) {
    case KV_LOG_REQUEST: return "Request";
    case KV_LOG_CONNECT: return "Connect";
    case KV_LOG_HEADER: return "Header";
    case KV_LOG_WRITING: return "Writing";
    case KV_LOG_FORCE: return "Force";
    case KV_LOG_REFILTER: return "Re-Filter";
    case KV_LOG_REDIRECT: return "Redirect";
    case KV_LOG_GIF_DEANIMATE: return "Gif-Deanimate";
    case KV_LOG_KILL_POPUPS: return "Kill-Popups";
    case KV_LOG_CGI: return "CGI";
    case KV_LOG_INFO: return "Info";
    case KV_LOG_ERROR: return "Error";
    case KV_LOG_FATAL: return "Fatal error";
    default: return nullptr;
    }
}

void AppendTimeStamp(LineBuilder& line) {
    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[64];
    size_t n = std::strftime(text, sizeof text, "%b %d %H:%M:%S ", &local);
    line.Append(text, n);
}

void AppendPrefix(LineBuilder& line, int type, long thread) {
    const char* name = PrefixName(type);
    if (name) line.AppendF("%s(%05ld) %s: ", AppName(), thread, name);
    else line.AppendF("%s(%05ld) UNKNOWN LOG TYPE(%d): ", AppName(), thread, type);
}

// "07/Dec/2024:13:15:00 +0100": local time and its offset from UTC.
void AppendCommonLogTime(LineBuilder& line) {
    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char text[64];
    size_t n = std::strftime(text, sizeof text, "%d/%b/%Y:%H:%M:%S ", &local);
    line.Append(text, n);
    long offset = local.tm_gmtoff / 60;  // minutes east of UTC
    long magnitude = offset < 0 ? -offset : offset;
    line.AppendF("%c%02ld%02ld", offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
}

void AppendText(LineBuilder& line, const char* s, long n) {
    if (!s) {
        line.Append("[null]");
        return;
    }
    line.AppendEscaped(s, n < 0 ? std::strlen(s) : (size_t)n);
}

// The body of a line; false when the format holds a directive it does
// not know (the arguments are then not consumed any further).
bool AppendFormatted(LineBuilder& line, const char* format, va_list ap, int savedErrno) {
    if (!format) return true;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            const char* run = p;
            while (p[1] && p[1] != '%') ++p;
            line.Append(run, (size_t)(p - run + 1));
            continue;
        }
        switch (*++p) {
        case '%': line.Append('%'); break;
        case 'c': {
            char c = (char)va_arg(ap, int);
            line.AppendEscaped(&c, 1);
            break;
        }
        case 'd': line.AppendF("%d", va_arg(ap, int)); break;
        case 'u': line.AppendF("%u", va_arg(ap, unsigned)); break;
        case 'l':
            if (p[1] == 'd') line.AppendF("%ld", va_arg(ap, long));
            else if (p[1] == 'u') line.AppendF("%lu", va_arg(ap, unsigned long));
            else return false;
            ++p;
            break;
        case 's': AppendText(line, va_arg(ap, const char*), -1); break;
        case 'N': {
            int n = va_arg(ap, int);
            const char* s = va_arg(ap, const char*);
            AppendText(line, s, n < 0 ? 0 : n);
            break;
        }
        case 'E': {
            int error = t_lastSocketError ? t_lastSocketError : KvSocketObj::MapSystemError(savedErrno);
            char scratch[48];
            line.Append(KvSocketErrorText(error, scratch, sizeof scratch));
            break;
        }
        case 'T': AppendCommonLogTime(line); break;
        default: return false;  // the terminating zero included
        }
    }
    return true;
}

// The whole line for `type`; false (and the bad-format line) when the
// format is rejected.
bool BuildLine(LineBuilder& line, int type, const char* format, va_list ap, int savedErrno) {
    long thread = CurrentThreadNumber();
    if (type != KV_LOG_ACCESS) {
        AppendTimeStamp(line);
        AppendPrefix(line, type, thread);
    }
    if (AppendFormatted(line, format, ap, savedErrno)) return true;
    line.Clear();
    AppendTimeStamp(line);
    line.AppendF("%s(%ld) Error: LogError(): Bad format string:\r\nFormat = \"", AppName(), thread);
    AppendText(line, format, -1);
    line.Append("\"\r\nExiting.");
    return false;
}

int CurrentMask() {
    KvWebApp* web = KvGetWebApp();
    return web ? web->m_nDebugMask : KV_LOG_DEFAULT_MASK;
}

void WriteLine(const char* text) {
    if (KvBaseApp* app = KvGetApp()) app->LogMessage("%s", text);
}

void RunFatalHandling(const char* text) {
    KvMessageBox(text, AppName(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
    KvFatalExit();
}

// Lower layers report through hooks; while this library is loaded their
// lines go to the diagnostic log.
struct ConnectHooks {
    ConnectHooks() { TqRegexSetLogHook(&KvLogErrorHook); }
} g_connectHooks;

}  // namespace

void LogErrorRuntime(int type, const char* format, ...) {
    int savedErrno = errno;
    if ((type & CurrentMask()) == 0) return;
    char buf[KV_LOG_LINE_MAX];
    LineBuilder line(buf, sizeof buf);
    va_list ap;
    va_start(ap, format);
    bool ok = BuildLine(line, type, format, ap, savedErrno);
    va_end(ap);
    line.Finish();
    WriteLine(buf);
    if (!ok || type == KV_LOG_FATAL) RunFatalHandling(buf);
}

void LogProcessRuntime(const char* format, ...) {
    char buf[KV_LOG_LINE_MAX];
    LineBuilder line(buf, sizeof buf);
    va_list ap;
    va_start(ap, format);
    AppendFormatted(line, format, ap, errno);
    va_end(ap);
}

int LogFormatLineRuntime(char* out, size_t size, int type, const char* format, ...) {
    if (!out || size == 0) return -1;
    int savedErrno = errno;
    LineBuilder line(out, size);
    va_list ap;
    va_start(ap, format);
    bool ok = BuildLine(line, type, format, ap, savedErrno);
    va_end(ap);
    size_t n = line.Finish();
    return ok ? (int)n : -1;
}

void KvSetLastSocketError(int error) { t_lastSocketError = error; }

int KvGetLastSocketError() {
    return t_lastSocketError ? t_lastSocketError : KvSocketObj::MapSystemError(errno);
}

void KvLogErrorHook(const char* line) {
    if (KvGetApp()) {
        LogError(KV_LOG_ERROR, "%s", line);
    } else {
        std::fprintf(stderr, "%s\n", line ? line : "");
    }
}
