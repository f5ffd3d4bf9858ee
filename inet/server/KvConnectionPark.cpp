#include "inet/server/KvConnectionPark.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// A head this long goes to a thread as it is: its reader refuses it.
constexpr size_t kMaxWaitingHead = 256 * 1024;
constexpr int kEventsPerWait = 256;
// Tags of the descriptors that are not connections.
constexpr uint64_t kListenTag = ~0ull;
constexpr uint64_t kStopTag = ~0ull - 1;
constexpr uint64_t kNotifyTag = ~0ull - 2;

bool Watch(int epoll, int fd, uint64_t tag) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = tag;
    return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) == 0;
}

}  // namespace

KvConnectionPark::~KvConnectionPark() { CloseAll(); }

void KvConnectionPark::CloseAll() {
    for (auto& [fd, conn] : m_conns) close(fd);
    m_conns.clear();
    m_deadlines.clear();
    m_idle.clear();
    {
        std::lock_guard<std::mutex> lock(m_mxReturned);
        for (Returned& r : m_returned) close(r.fd);
        m_returned.clear();
    }
    if (m_notifyFd >= 0) close(m_notifyFd);
    if (m_epoll >= 0) close(m_epoll);
    m_notifyFd = m_epoll = -1;
}

bool KvConnectionPark::Open(int listenFd, int stopFd) {
    CloseAll();
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_notifyFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_notifyFd < 0) return false;
    m_listenFd = listenFd;
    m_stopFd = stopFd;
    if (!Watch(m_epoll, listenFd, kListenTag) || !Watch(m_epoll, m_notifyFd, kNotifyTag)) return false;
    return stopFd < 0 || Watch(m_epoll, stopFd, kStopTag);
}

bool KvConnectionPark::HasWholeHead(const std::string& bytes) {
    size_t start = 0;
    while (start < bytes.size() && (bytes[start] == '\r' || bytes[start] == '\n')) ++start;
    for (size_t at = bytes.find('\n', start); at != std::string::npos; at = bytes.find('\n', at + 1)) {
        size_t next = at + 1;
        if (next < bytes.size() && bytes[next] == '\r') ++next;
        if (next < bytes.size() && bytes[next] == '\n') return true;
    }
    return false;
}

void KvConnectionPark::HandBack(int fd, std::string pending, const char* clientIp) {
    {
        std::lock_guard<std::mutex> lock(m_mxReturned);
        m_returned.push_back({fd, std::move(pending), CString(clientIp ? clientIp : "")});
    }
    Nudge();
}

void KvConnectionPark::Nudge() {
    uint64_t one = 1;
    ssize_t written = write(m_notifyFd, &one, sizeof one);
    (void)written;  // a full counter already wakes the server
}

void KvConnectionPark::AddFresh(int fd, const char* clientIp) {
    Conn conn;
    conn.clientIp = clientIp ? clientIp : "";
    conn.deadline = KvNowMs() + m_nHeadMs;
    Add(fd, std::move(conn));
}

void KvConnectionPark::Add(int fd, Conn conn) {
    if (!Watch(m_epoll, fd, (uint64_t)fd)) {
        close(fd);
        return;
    }
    m_deadlines.insert({conn.deadline, fd});
    if (conn.IsIdle()) m_idle.insert({conn.deadline, fd});
    m_conns[fd] = std::move(conn);
}

void KvConnectionPark::SetDeadline(int fd, Conn& conn, int64_t deadline) {
    m_deadlines.erase({conn.deadline, fd});
    m_idle.erase({conn.deadline, fd});
    conn.deadline = deadline;
    m_deadlines.insert({deadline, fd});
    if (conn.IsIdle()) m_idle.insert({deadline, fd});
}

void KvConnectionPark::Close(int fd, std::vector<CString>& closed) {
    auto it = m_conns.find(fd);
    if (it == m_conns.end()) return;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_deadlines.erase({it->second.deadline, fd});
    m_idle.erase({it->second.deadline, fd});
    closed.push_back(it->second.clientIp);
    m_conns.erase(it);
    close(fd);
}

void KvConnectionPark::MoveToReady(int fd, Events& events) {
    auto it = m_conns.find(fd);
    if (it == m_conns.end()) return;
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
    m_deadlines.erase({it->second.deadline, fd});
    m_idle.erase({it->second.deadline, fd});
    events.ready.push_back({fd, std::move(it->second.pending), it->second.clientIp});
    m_conns.erase(it);
}

void KvConnectionPark::CloseOldest(size_t n, std::vector<CString>& closed) {
    while (n-- > 0 && !m_deadlines.empty()) Close(m_deadlines.begin()->second, closed);
}

bool KvConnectionPark::CloseIdle(const char* clientIp, std::vector<CString>& closed) {
    for (const auto& [deadline, fd] : m_idle) {
        auto it = m_conns.find(fd);
        if (clientIp && (it == m_conns.end() || it->second.clientIp != clientIp)) continue;
        Close(fd, closed);
        return true;
    }
    return false;
}

bool KvConnectionPark::MakeRoom(std::vector<CString>& closed) {
    if (CloseIdle(nullptr, closed)) return true;
    if (m_deadlines.empty()) return false;
    CloseOldest(1, closed);
    return true;
}

void KvConnectionPark::TakeHandedBack(Events& events) {
    uint64_t count = 0;
    ssize_t got = read(m_notifyFd, &count, sizeof count);
    (void)got;
    std::vector<Returned> returned;
    {
        std::lock_guard<std::mutex> lock(m_mxReturned);
        returned.swap(m_returned);
    }
    const int64_t now = KvNowMs();
    for (Returned& r : returned) {
        if (HasWholeHead(r.pending) || r.pending.size() >= kMaxWaitingHead) {
            events.ready.push_back({r.fd, std::move(r.pending), r.clientIp});
            continue;
        }
        if (IsFull()) MakeRoom(events.closed);
        Conn conn;
        conn.fresh = false;
        conn.clientIp = r.clientIp;
        // Part of the next head is here already: its own time runs.
        conn.deadline = now + (r.pending.empty() ? m_nIdleMs : m_nHeadMs);
        conn.pending = std::move(r.pending);
        Add(r.fd, std::move(conn));
    }
}

bool KvConnectionPark::ReadInto(int fd, Conn& conn, Events& events) {
    const bool hadBytes = !conn.pending.empty();
    char buf[4096];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            conn.pending.append(buf, (size_t)n);
            if (conn.pending.size() >= kMaxWaitingHead) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        // The peer has stopped sending: a whole head it sent before is
        // still answered; anything less has no answer to wait for.
        if (n == 0 && HasWholeHead(conn.pending)) {
            MoveToReady(fd, events);
        } else {
            Close(fd, events.closed);
        }
        return false;
    }
    if (!hadBytes && !conn.pending.empty() && !conn.fresh) SetDeadline(fd, conn, KvNowMs() + m_nHeadMs);
    return true;
}

void KvConnectionPark::ExpireDue(Events& events) {
    const int64_t now = KvNowMs();
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) Close(m_deadlines.begin()->second, events.closed);
}

KvWait KvConnectionPark::Wait(int64_t deadline, Events& events) {
    int64_t until = deadline;
    if (!m_deadlines.empty() && (until < 0 || m_deadlines.begin()->first < until)) until = m_deadlines.begin()->first;
    int timeout = -1;
    if (until >= 0) timeout = (int)std::clamp<int64_t>(until - KvNowMs(), 0, 0x7FFFFFFF);
    epoll_event evs[kEventsPerWait];
    int n = epoll_wait(m_epoll, evs, kEventsPerWait, timeout);
    if (n < 0) return errno == EINTR ? KvWait::TimedOut : KvWait::Failed;
    bool stopped = false;
    for (int i = 0; i < n; ++i) {
        const uint64_t tag = evs[i].data.u64;
        if (tag == kListenTag) {
            events.listenReady = true;
        } else if (tag == kStopTag) {
            stopped = true;
        } else if (tag == kNotifyTag) {
            TakeHandedBack(events);
        } else {
            const int fd = (int)tag;
            auto it = m_conns.find(fd);
            if (it == m_conns.end()) continue;
            if (!ReadInto(fd, it->second, events)) continue;  // closed, or ready with the peer's end
            const std::string& pending = it->second.pending;
            if (HasWholeHead(pending) || pending.size() >= kMaxWaitingHead) MoveToReady(fd, events);
        }
    }
    ExpireDue(events);
    if (stopped) return KvWait::Stopped;
    return n > 0 ? KvWait::Ready : KvWait::TimedOut;
}
