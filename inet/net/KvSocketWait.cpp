#include "inet/net/KvSocketWait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "base/thread/KvThread.h"

int64_t KvNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t KvDeadlineAfter(int64_t ms) { return ms < 0 ? -1 : KvNowMs() + ms; }

namespace {

// Time left until the deadline, as a poll time-out.
int RemainingMs(int64_t deadlineMs) {
    if (deadlineMs < 0) return -1;
    int64_t left = deadlineMs - KvNowMs();
    if (left <= 0) return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : (int)left;
}

}  // namespace

KvWait KvPollWait(pollfd* fds, int count, int64_t deadlineMs, bool watchStop) {
    if (!fds || count <= 0 || count > KV_WAIT_MAX_SOCKETS) {
        errno = EINVAL;
        return KvWait::Failed;
    }
    int wakeFd = watchStop ? GetCurrentThreadWakeFd() : -1;
    pollfd pfds[KV_WAIT_MAX_SOCKETS + 1];
    for (int i = 0; i < count; i++) pfds[i] = {fds[i].fd, fds[i].events, 0};
    pfds[count] = {wakeFd, POLLIN, 0};
    nfds_t total = (nfds_t)count + (wakeFd >= 0 ? 1 : 0);
    for (;;) {
        // A stop flag that was cleared without a wake descriptor (a caller
        // outside the thread registry's run) is seen before blocking.
        bool stopped = watchStop && IsCurrentThreadStopped();
        int timeout = stopped ? 0 : RemainingMs(deadlineMs);
        int n = poll(pfds, total, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            return KvWait::Failed;
        }
        bool ready = false;
        for (int i = 0; i < count; i++) {
            fds[i].revents = pfds[i].revents;
            ready = ready || pfds[i].revents != 0;
        }
        if (ready) return KvWait::Ready;
        if (stopped || (wakeFd >= 0 && pfds[count].revents != 0)) return KvWait::Stopped;
        if (deadlineMs >= 0 && KvNowMs() >= deadlineMs) return KvWait::TimedOut;
    }
}

KvWait KvSocketWaitAny(const int* fds, int count, short events, int64_t deadlineMs, int* readyIndex,
                       bool watchStop) {
    if (!fds || count <= 0 || count > KV_WAIT_MAX_SOCKETS) {
        errno = EINVAL;
        return KvWait::Failed;
    }
    pollfd pfds[KV_WAIT_MAX_SOCKETS];
    for (int i = 0; i < count; i++) pfds[i] = {fds[i], events, 0};
    KvWait w = KvPollWait(pfds, count, deadlineMs, watchStop);
    if (w == KvWait::Ready && readyIndex) {
        for (int i = 0; i < count; i++) {
            if (pfds[i].revents != 0) {
                *readyIndex = i;
                break;
            }
        }
    }
    return w;
}

KvWait KvSocketWait(int fd, short events, int64_t deadlineMs, bool watchStop) {
    return KvSocketWaitAny(&fd, 1, events, deadlineMs, nullptr, watchStop);
}

bool KvWaitForStop(int ms) {
    int64_t deadline = KvDeadlineAfter(ms);
    int wakeFd = GetCurrentThreadWakeFd();
    for (;;) {
        if (IsCurrentThreadStopped()) return true;
        int timeout = RemainingMs(deadline);
        if (timeout == 0) return false;
        pollfd pfd = {wakeFd, POLLIN, 0};
        // With no wake descriptor poll ignores the negative fd and just waits.
        int n = poll(&pfd, 1, timeout);
        if (n > 0 && (pfd.revents & POLLIN)) return true;
    }
}
