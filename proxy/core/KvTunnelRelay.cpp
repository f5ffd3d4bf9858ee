#include "proxy/core/KvTunnelRelay.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>

#include "inet/net/KvComObject.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketWait.h"

namespace {

constexpr int kPiece = 128 * 1024;

// One direction of the tunnel: bytes read from `from` wait in `buf` until
// `to` has taken them.
struct Direction {
    int from = -1;
    int to = -1;
    std::unique_ptr<char[]> buf;
    int size = 0;
    int start = 0;        // first byte not written yet
    int end = 0;          // behind the last byte read
    bool ended = false;   // `from` has sent its end
    bool shut = false;    // `to` has been told the end
    int64_t moved = 0;

    bool Holding() const { return start < end; }
    bool CanRead() const { return !ended && end < size; }
};

enum class Step { Progress, Nothing, Failed };

// The bytes the connection read behind a head go first.
void Prepare(Direction& d, KvComSocketImp& source, int to) {
    const int held = source.GetBufferedCount();
    d.size = held > kPiece ? held : kPiece;
    d.buf.reset(new char[(size_t)d.size]);
    d.end = source.TakeBuffered(d.buf.get(), held);
    d.from = source.GetSocketObj().GetHandle();
    d.to = to;
}

Step ReadInto(Direction& d) {
    ssize_t n;
    do {
        n = recv(d.from, d.buf.get() + d.end, (size_t)(d.size - d.end), 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        d.end += (int)n;
        return Step::Progress;
    }
    if (n == 0) {
        d.ended = true;
        return Step::Progress;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK ? Step::Nothing : Step::Failed;
}

Step WriteFrom(Direction& d) {
    ssize_t n;
    do {
        n = send(d.to, d.buf.get() + d.start, (size_t)(d.end - d.start), MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        d.start += (int)n;
        d.moved += n;
        if (d.start == d.end) d.start = d.end = 0;
        return Step::Progress;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Step::Nothing : Step::Failed;
}

// The end goes on once everything before it has gone out.
void PassEnd(Direction& d) {
    if (!d.ended || d.Holding() || d.shut) return;
    shutdown(d.to, SHUT_WR);
    d.shut = true;
}

// What a socket is waited for: reading for the direction that leaves from
// it, writing for the one that arrives at it. Nothing to do: left out, so
// a hang-up it reports cannot spin the loop.
pollfd Entry(int fd, const Direction& leaving, const Direction& arriving) {
    short events = (short)((leaving.CanRead() ? POLLIN : 0) | (arriving.Holding() ? POLLOUT : 0));
    return pollfd{events ? fd : -1, events, 0};
}

// Runs what the socket is ready for; false when a side failed.
bool Serve(const pollfd& p, Direction& leaving, Direction& arriving, bool& progress) {
    if (p.fd < 0 || p.revents == 0) return true;
    Step steps[2] = {Step::Nothing, Step::Nothing};
    if ((p.events & POLLIN) && (p.revents & (POLLIN | POLLHUP | POLLERR))) steps[0] = ReadInto(leaving);
    if ((p.events & POLLOUT) && (p.revents & (POLLOUT | POLLHUP | POLLERR))) steps[1] = WriteFrom(arriving);
    for (Step s : steps) {
        if (s == Step::Failed) return false;
        if (s == Step::Progress) progress = true;
    }
    return true;
}

void ArmReset(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

}  // namespace

KvTunnelResult KvRelayTunnel(KvComObject& client, KvComObject& remote, int idleMs) {
    KvTunnelResult result;
    auto* c = dynamic_cast<KvComSocketImp*>(client.Imp());
    auto* r = dynamic_cast<KvComSocketImp*>(remote.Imp());
    if (!c || !r || !c->IsValid() || !r->IsValid()) {
        result.end = KvTunnelEnd::Broken;
        return result;
    }
    const int clientFd = c->GetSocketObj().GetHandle();
    const int remoteFd = r->GetSocketObj().GetHandle();
    Direction up;    // client to remote
    Direction down;  // remote to client
    Prepare(up, *c, remoteFd);
    Prepare(down, *r, clientFd);

    int64_t deadline = KvDeadlineAfter(idleMs);
    for (;;) {
        PassEnd(up);
        PassEnd(down);
        if (up.shut && down.shut) break;
        pollfd fds[2] = {Entry(clientFd, up, down), Entry(remoteFd, down, up)};
        KvWait w = KvPollWait(fds, 2, deadline);
        if (w != KvWait::Ready) {
            result.end = w == KvWait::TimedOut ? KvTunnelEnd::Idle
                         : w == KvWait::Stopped ? KvTunnelEnd::Stopped
                                                : KvTunnelEnd::Broken;
            break;
        }
        bool progress = false;
        if (!Serve(fds[0], up, down, progress) || !Serve(fds[1], down, up, progress)) {
            result.end = KvTunnelEnd::Broken;
            break;
        }
        if (progress) deadline = KvDeadlineAfter(idleMs);
    }
    if (result.end == KvTunnelEnd::Broken) {
        // A side that broke off is passed on as a reset, so the other never
        // takes a cut stream for a complete one.
        ArmReset(clientFd);
        ArmReset(remoteFd);
    }
    result.toRemote = up.moved;
    result.toClient = down.moved;
    return result;
}

const char* KvTunnelEndText(KvTunnelEnd end) {
    switch (end) {
    case KvTunnelEnd::Closed: return "closed";
    case KvTunnelEnd::Broken: return "broken";
    case KvTunnelEnd::Idle: return "idle";
    case KvTunnelEnd::Stopped: return "stopped";
    }
    return "?";
}
