// The pool of idle connections: what it hands out, what it closes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "inet/net/KvSocketPool.h"

namespace {

// A connected pair: the pool keeps `ours`, the test plays the peer.
struct Pair {
    int ours = -1, peer = -1;
    Pair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0) std::tie(ours, peer) = std::pair(fds[0], fds[1]);
    }
    ~Pair() {
        if (peer >= 0) close(peer);
    }
};

// The descriptor was closed by the pool: its peer reads the end (or a
// reset, when bytes it sent were never read).
bool ClosedByPool(const Pair& p) {
    char c;
    const ssize_t n = recv(p.peer, &c, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

}  // namespace

TEST(SocketPoolTest, HandsBackTheNewestSilentConnectionOfItsKeyOnly) {
    KvSocketPool pool;
    Pair older, newer, other, gone, talking;
    pool.Give("a:80", older.ours);
    pool.Give("a:80", newer.ours);
    pool.Give("b:80", other.ours);
    EXPECT_EQ(pool.Take("a:80"), newer.ours);
    close(newer.ours);
    // A peer that closed, or talks unasked, is not handed out but closed.
    pool.Give("c:80", gone.ours);
    close(gone.peer);
    gone.peer = -1;
    pool.Give("d:80", talking.ours);
    ASSERT_EQ(write(talking.peer, "x", 1), 1);
    EXPECT_EQ(pool.Take("c:80"), -1);
    EXPECT_EQ(pool.Take("d:80"), -1);
    EXPECT_TRUE(ClosedByPool(talking));
    EXPECT_EQ(pool.Take("e:80"), -1);
    EXPECT_EQ(pool.Count(), 2u);
    pool.Clear();
    EXPECT_TRUE(ClosedByPool(older));
    EXPECT_TRUE(ClosedByPool(other));
}

TEST(SocketPoolTest, LimitsCloseTheOldestAndIdleOnesAreSweptAway) {
    KvSocketPool pool(KvSocketPool::Limits{2, 3, 60000});
    Pair p[5];
    pool.Give("a:80", p[0].ours);
    pool.Give("a:80", p[1].ours);
    pool.Give("a:80", p[2].ours);  // the key is full: its oldest goes
    EXPECT_TRUE(ClosedByPool(p[0]));
    pool.Give("b:80", p[3].ours);
    pool.Give("c:80", p[4].ours);  // the pool is full: the oldest of all goes
    EXPECT_TRUE(ClosedByPool(p[1]));
    EXPECT_EQ(pool.Count(), 3u);

    KvSocketPool shortLived(KvSocketPool::Limits{8, 8, 60000});
    shortLived.StartSweeper();
    Pair idle;
    shortLived.Give("a:80", idle.ours, 1);  // the origin keeps it 1 ms
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (shortLived.Count() != 0 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    EXPECT_EQ(shortLived.Count(), 0u);
    EXPECT_TRUE(ClosedByPool(idle));
    shortLived.StopSweeper();
}
