// KvConnectionPark: the connections of a server that wait for their next
// request without holding a thread. A new connection waits here until its
// first request head is complete; a kept-alive connection comes back here
// after each answer. One epoll set watches them all, with the listening
// socket and the server thread's stop descriptor.
//
// A waiting connection is closed when its head is not complete within the
// head time-out (counted from its accept, or from the first byte of a
// later head), when it stays silent for the idle time-out after an
// answer, when the peer closes, or when room is needed: idle kept-alive
// connections go first (nearest their time-out first), since a browser
// opens a new connection when it finds one closed; only then the others,
// the oldest first.
//
// HandBack may be called from any thread; everything else belongs to the
// server thread. The park owns every descriptor it holds and closes them
// when it is destroyed.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/platform/CString.h"
#include "inet/net/KvSocketWait.h"

class KvConnectionPark {
public:
    // A connection whose request head is complete (or too long to wait
    // for), taken out of the park: the caller owns `fd`.
    struct Ready {
        int fd = -1;
        std::string pending;  // the bytes read so far, the start of the request
        CString clientIp;
    };

    KvConnectionPark() = default;
    ~KvConnectionPark();
    KvConnectionPark(const KvConnectionPark&) = delete;
    KvConnectionPark& operator=(const KvConnectionPark&) = delete;

    // The epoll set with the listening socket and the stop descriptor
    // (-1: none), after CloseAll; false when it cannot be made.
    bool Open(int listenFd, int stopFd);
    // Closes every connection and the set itself.
    void CloseAll();
    void SetTimeOuts(int headMs, int idleMs) {
        m_nHeadMs = headMs;
        m_nIdleMs = idleMs;
    }
    void SetMaxWaiting(size_t n) { m_nMaxWaiting = n ? n : 1; }
    bool IsFull() const { return m_conns.size() >= m_nMaxWaiting; }

    // From any thread: a connection back after an answer, with the bytes
    // of its next request already read.
    void HandBack(int fd, std::string pending, const char* clientIp);
    // A connection just accepted.
    void AddFresh(int fd, const char* clientIp);
    // From any thread: wakes the server's wait (a request thread came free).
    void Nudge();

    // What one wait brought.
    struct Events {
        bool listenReady = false;       // connections wait to be accepted
        std::vector<Ready> ready;       // heads complete: for the threads
        std::vector<CString> closed;    // client addresses of connections closed here
    };
    // Waits until an event or the deadline (-1: none, but never past the
    // next time-out of a waiting connection). Stopped when the stop
    // descriptor fired, Failed when the set broke.
    KvWait Wait(int64_t deadline, Events& events);
    // Closes up to n waiting connections, those nearest their deadline
    // first (room is needed).
    void CloseOldest(size_t n, std::vector<CString>& closed);
    // Closes the idle kept-alive connection nearest its time-out, of the
    // given client address (null: of any); false when there is none.
    bool CloseIdle(const char* clientIp, std::vector<CString>& closed);
    // Closes one connection to make room: an idle one when there is one,
    // else the oldest; false when the park is empty.
    bool MakeRoom(std::vector<CString>& closed);
    size_t Count() const { return m_conns.size(); }

    // A head is complete: a blank line ends it (blank lines before the
    // request line do not count).
    static bool HasWholeHead(const std::string& bytes);

private:
    struct Conn {
        std::string pending;
        CString clientIp;
        int64_t deadline = 0;
        bool fresh = true;  // never served: its head time started at the accept
        // Served before and nothing of its next request read yet.
        bool IsIdle() const { return !fresh && pending.empty(); }
    };
    void Add(int fd, Conn conn);
    void TakeHandedBack(Events& events);
    // Reads what arrived; false when the connection was closed.
    bool ReadInto(int fd, Conn& conn, Events& events);
    void Close(int fd, std::vector<CString>& closed);
    void MoveToReady(int fd, Events& events);
    void SetDeadline(int fd, Conn& conn, int64_t deadline);
    void ExpireDue(Events& events);

    int m_epoll = -1;
    int m_listenFd = -1;
    int m_stopFd = -1;
    int m_notifyFd = -1;  // an eventfd written by HandBack
    int m_nHeadMs = 30000;
    int m_nIdleMs = 60000;
    size_t m_nMaxWaiting = 16384;
    std::map<int, Conn> m_conns;
    std::set<std::pair<int64_t, int>> m_deadlines;  // (deadline, fd), soonest first
    std::set<std::pair<int64_t, int>> m_idle;       // the idle ones among them

    struct Returned {
        int fd;
        std::string pending;
        CString clientIp;
    };
    std::mutex m_mxReturned;
    std::vector<Returned> m_returned;
};
