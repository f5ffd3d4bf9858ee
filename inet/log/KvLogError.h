// LogError: the diagnostic log of the internet library and its users.
//
// One call writes one line into the running application's daily log file
// (KvBaseApp::LogMessage) when the line's kind is enabled in the
// application's log mask (KvWebApp::m_nDebugMask; 0x7000 for an
// application that is not a KvWebApp; nothing at all without an
// application). Every kind but the access line starts with the local time
// and a prefix naming the program and the calling thread:
//   "Dec 07 13:15:00 KvProxy(01234) Error: ..."
//
// The format understands %% %c %d %u %ld %lu %s, and three directives of
// its own:
//   %N  two arguments, an int length and a pointer: exactly that many bytes
//       (a negative length counts as 0)
//   %E  no argument: the text of the calling thread's last socket error
//   %T  no argument: the local time as "07/Dec/2024:13:15:00 +0100"
// A null pointer for %s or %N prints "[null]". Anything else after "%"
// rejects the format: a line saying so is written instead and the fatal
// handling runs (a message box, then the host is asked to quit). A format
// literal is checked when compiled (KvLogFormat.h), so only a format made
// at run time (the ...Runtime forms) can meet that rejection.
//
// Text that arrives through %s and %N is written with its control bytes
// escaped ("\r", "\n", "\t", other bytes below 0x20 and 0x7F as "\xHH"), so
// a request cannot forge log lines; the format's own text is written as it
// is. A line never exceeds KV_LOG_LINE_MAX bytes: a longer one is cut and
// ends in "... [too long, truncated]\r\n".
//
// Any thread may call LogError: each call builds its line on its own stack
// and the log file receives it in one append write.
#pragma once

#include <cstddef>
#include <type_traits>

#include "inet/log/KvLogFormat.h"

// Line kinds (one bit each; the caller passes one of them).
enum : int {
    KV_LOG_REQUEST = 1,
    KV_LOG_CONNECT = 2,
    KV_LOG_HEADER = 8,
    KV_LOG_WRITING = 16,
    KV_LOG_FORCE = 32,
    KV_LOG_REFILTER = 64,
    KV_LOG_REDIRECT = 128,
    KV_LOG_GIF_DEANIMATE = 256,
    KV_LOG_ACCESS = 512,  // common log format: no time stamp, no prefix
    KV_LOG_KILL_POPUPS = 1024,
    KV_LOG_CGI = 2048,
    KV_LOG_INFO = 4096,
    KV_LOG_ERROR = 8192,
    KV_LOG_FATAL = 16384,  // also shows a message box and asks the host to quit
};

// The mask an application that is not a KvWebApp uses.
constexpr int KV_LOG_DEFAULT_MASK = 0x7000;
// Longest line, its terminating zero included.
constexpr size_t KV_LOG_LINE_MAX = 8192;

template <class... Args>
void LogError(int type, KvLogFormat<std::type_identity_t<Args>...> format, Args... args);
// Formats its arguments like LogError and discards the text.
template <class... Args>
void LogProcess(KvLogFormat<std::type_identity_t<Args>...> format, Args... args);

// Builds the line that LogError would write for `type` (the mask is not
// consulted) into out (size bytes, at most KV_LOG_LINE_MAX are used) and
// returns its length; -1 when the format is rejected, with the bad-format
// line in out. Nothing is written and no fatal handling runs.
template <class... Args>
int LogFormatLine(char* out, size_t size, int type, KvLogFormat<std::type_identity_t<Args>...> format,
                  Args... args);

// The same for a format made at run time: checked only when it is used.
void LogErrorRuntime(int type, const char* format, ...);
void LogProcessRuntime(const char* format, ...);
int LogFormatLineRuntime(char* out, size_t size, int type, const char* format, ...);

template <class... Args>
void LogError(int type, KvLogFormat<std::type_identity_t<Args>...> format, Args... args) {
    LogErrorRuntime(type, format.text, args...);
}

template <class... Args>
void LogProcess(KvLogFormat<std::type_identity_t<Args>...> format, Args... args) {
    LogProcessRuntime(format.text, args...);
}

template <class... Args>
int LogFormatLine(char* out, size_t size, int type, KvLogFormat<std::type_identity_t<Args>...> format,
                  Args... args) {
    return LogFormatLineRuntime(out, size, type, format.text, args...);
}

// The calling thread's last socket error, as %E prints it. The connection
// layer records it with KvSetLastSocketError; when nothing was recorded the
// thread's errno (mapped to the Windows Sockets numbering) stands in.
void KvSetLastSocketError(int error);
int KvGetLastSocketError();
// "WSAECONNRESET - Connection reset by peer." and so on; "(error number %d)"
// for a number outside the table.
const char* KvSocketErrorText(int error, char* scratch, size_t size);

// A receiver for the diagnostic hooks of lower layers (regular expressions,
// templates): the line goes to LogError as an Error line while an
// application runs, to stderr otherwise.
void KvLogErrorHook(const char* line);
