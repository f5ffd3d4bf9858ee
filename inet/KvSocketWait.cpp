#include "KvSocketWait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "KvThread.h"

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

KvWait KvSocketWait(int fd, short events, int64_t deadlineMs, bool watchStop) {
    int wakeFd = watchStop ? GetCurrentThreadWakeFd() : -1;
    pollfd fds[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
    nfds_t count = wakeFd >= 0 ? 2 : 1;
    for (;;) {
        // A stop flag that was cleared without a wake descriptor (a caller
        // outside the thread registry's run) is seen before blocking.
        bool stopped = watchStop && IsCurrentThreadStopped();
        int timeout = stopped ? 0 : RemainingMs(deadlineMs);
        fds[0].revents = fds[1].revents = 0;
        int n = poll(fds, count, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            return KvWait::Failed;
        }
        if (fds[0].revents != 0) return KvWait::Ready;
        if (stopped || (count == 2 && fds[1].revents != 0)) return KvWait::Stopped;
        if (deadlineMs >= 0 && KvNowMs() >= deadlineMs) return KvWait::TimedOut;
    }
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
