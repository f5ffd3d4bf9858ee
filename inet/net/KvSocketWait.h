// Blocking waits of the socket layer.
//
// Every wait of the internet library goes through KvSocketWait: it polls the
// socket together with the calling thread's wake descriptor, so that a stop
// request (Stop, Kill, RequestStop on the owning KvThread) ends the wait at
// once instead of at the next time-slice. Callers on plain threads (not a
// KvThread) have no wake descriptor and simply wait for the deadline.
#pragma once

#include <poll.h>

#include <cstdint>

enum class KvWait {
    Ready,     // the socket has the requested event (or an error/hang-up to report)
    TimedOut,  // the deadline passed first
    Stopped,   // the calling thread was told to stop
    Failed,    // poll itself failed; errno holds why
};

// Milliseconds on the monotonic clock.
int64_t KvNowMs();

// A deadline `ms` milliseconds from now; a negative `ms` means no deadline.
int64_t KvDeadlineAfter(int64_t ms);

// Waits until `fd` reports `events` (POLLIN or POLLOUT), the deadline
// (KvNowMs-based, -1 for none) passes or the calling thread is told to stop.
// A ready socket wins over a stop request, so data that has already arrived
// is never dropped. With watchStop false, stop requests are ignored.
KvWait KvSocketWait(int fd, short events, int64_t deadlineMs, bool watchStop = true);

// The same over up to KV_WAIT_MAX_SOCKETS sockets at once (a relay waits on
// both of its connections); on Ready, *readyIndex (when given) is the index
// of the first socket that has the event.
constexpr int KV_WAIT_MAX_SOCKETS = 8;
KvWait KvSocketWaitAny(const int* fds, int count, short events, int64_t deadlineMs, int* readyIndex,
                       bool watchStop = true);

// Waits on poll entries that each carry their own events (a relay reads
// one socket while it writes the other). Entries with a negative fd are
// skipped, as poll does. On Ready every entry's revents is filled.
KvWait KvPollWait(pollfd* fds, int count, int64_t deadlineMs, bool watchStop = true);

// Waits only for a stop request, at most `ms` milliseconds: a pause that a
// stop request cuts short. Returns true when the thread was told to stop.
bool KvWaitForStop(int ms);
