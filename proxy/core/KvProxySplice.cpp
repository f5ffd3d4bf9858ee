#include "proxy/core/KvProxySplice.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "inet/net/KvComObject.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketWait.h"

namespace {

constexpr int64_t kMaxPerCall = 1 << 20;
constexpr int kPipeSize = 1 << 20;
constexpr int kSpliceFlags = SPLICE_F_MOVE | SPLICE_F_NONBLOCK;

// One pipe per request thread, empty between bodies.
struct ThreadPipe {
    int r = -1;
    int w = -1;
    ~ThreadPipe() { Close(); }
    bool Open() {
        if (r >= 0) return true;
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
        r = fds[0];
        w = fds[1];
        (void)fcntl(w, F_SETPIPE_SZ, kPipeSize);  // fewer calls per body; the default works too
        return true;
    }
    // A pipe that may still hold bytes is never used again.
    void Close() {
        if (r >= 0) close(r);
        if (w >= 0) close(w);
        r = w = -1;
    }
};

ThreadPipe& PipeOfThread() {
    thread_local ThreadPipe pipe;
    return pipe;
}

KvComSocketImp* SocketOf(KvComObject& com) { return dynamic_cast<KvComSocketImp*>(com.Imp()); }

KvSpliceResult WaitResult(KvWait w, KvSpliceResult onTimeOut, KvSpliceResult onFailure) {
    switch (w) {
    case KvWait::Ready: return KvSpliceResult::Done;  // not a result: go on
    case KvWait::TimedOut: return onTimeOut;
    case KvWait::Stopped: return KvSpliceResult::Stopped;
    case KvWait::Failed: return onFailure;
    }
    return onFailure;
}

// Everything in the pipe to the sink; false with `result` set on failure.
bool DrainPipe(ThreadPipe& pipe, int sink, int64_t inPipe, int sinkTimeOut, KvSpliceResult& result) {
    while (inPipe > 0) {
        ssize_t m = splice(pipe.r, nullptr, sink, nullptr, (size_t)inPipe, kSpliceFlags);
        if (m > 0) {
            inPipe -= m;
            continue;
        }
        if (m < 0 && errno == EINTR) continue;
        if (m < 0 && errno == EAGAIN) {
            // A send that makes no progress within the time-out fails, as
            // the connection layer's own sends do.
            KvWait w = KvSocketWait(sink, POLLOUT, KvDeadlineAfter(sinkTimeOut));
            if (w == KvWait::Ready) continue;
            result = WaitResult(w, KvSpliceResult::SinkFailed, KvSpliceResult::SinkFailed);
        } else {
            result = KvSpliceResult::SinkFailed;
        }
        pipe.Close();
        return false;
    }
    return true;
}

// Passes on what the source connection's receive buffer already holds
// (at most one read's worth): the socket itself is left to the splice, so
// a fast sender's body never goes through user space. False when nothing
// is left to splice, with `result` set.
bool TakeBuffered(KvComObject& to, KvComSocketImp* src, int64_t& limit, int64_t& moved, KvSpliceResult& result) {
    char buf[16 * 1024];
    for (int held = src->GetBufferedCount(); held > 0 && limit != 0; held = src->GetBufferedCount()) {
        int want = held < (int)sizeof buf ? held : (int)sizeof buf;
        if (limit > 0 && limit < want) want = (int)limit;
        int got = src->TakeBuffered(buf, want);
        if (got <= 0) break;
        if (to.Send(buf, got) != got) {
            result = KvSpliceResult::SinkFailed;
            return false;
        }
        moved += got;
        if (limit > 0) limit -= got;
    }
    if (limit == 0) {
        result = KvSpliceResult::Done;
        return false;
    }
    if (!src->IsValid()) {
        result = KvSpliceResult::SourceFailed;
        return false;
    }
    return true;
}

}  // namespace

KvSpliceResult KvSpliceBody(KvComObject& from, KvComObject& to, int64_t limit, int64_t& moved) {
    moved = 0;
    KvComSocketImp* src = SocketOf(from);
    KvComSocketImp* dst = SocketOf(to);
    ThreadPipe& pipe = PipeOfThread();
    if (!src || !dst || !dst->IsValid() || !pipe.Open()) return KvSpliceResult::Unavailable;

    KvSpliceResult result = KvSpliceResult::Done;
    if (!TakeBuffered(to, src, limit, moved, result)) return result;

    const int source = src->GetSocketObj().GetHandle();
    const int sink = dst->GetSocketObj().GetHandle();
    const int idle = from.GetTimeOut();
    const int sinkTimeOut = to.GetTimeOut();
    bool spliced = false;
    while (limit != 0) {
        int64_t want = limit < 0 || limit > kMaxPerCall ? kMaxPerCall : limit;
        ssize_t n = splice(source, nullptr, pipe.w, nullptr, (size_t)want, kSpliceFlags);
        if (n > 0) {
            spliced = true;
            if (!DrainPipe(pipe, sink, n, sinkTimeOut, result)) return result;
            moved += n;
            if (limit > 0) limit -= n;
            continue;
        }
        if (n == 0) return KvSpliceResult::SourceEnded;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            KvWait w = KvSocketWait(source, POLLIN, KvDeadlineAfter(idle));
            if (w == KvWait::Ready) continue;
            return WaitResult(w, KvSpliceResult::TimedOut, KvSpliceResult::SourceFailed);
        }
        if (!spliced && moved == 0 && (errno == EINVAL || errno == ENOSYS)) return KvSpliceResult::Unavailable;
        return KvSpliceResult::SourceFailed;
    }
    return KvSpliceResult::Done;
}
