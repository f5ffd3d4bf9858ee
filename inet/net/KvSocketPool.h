// KvSocketPool: idle connections kept for the next request to the same
// endpoint (an origin server's host and port, or the upstream proxy's).
//
// A connection is given back only after an exchange that left it clean
// (the whole answer read, nothing more sent by the peer); it is taken
// again by any thread that asks for the same key. A connection that the
// peer closed while it waited, or that sent bytes nobody asked for, is
// closed when it is taken instead of being handed out. Each connection
// waits at most its idle time; a sweeper thread closes the ones that
// outwait it, so an idle proxy holds no descriptors for long (without the
// sweeper they are closed when they are taken or pushed out). The pool
// keeps at most `perKey` connections per key and `total` in all: a full
// key closes its oldest connection, a full pool its oldest overall.
//
// Every member is safe to call from any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

class KvSocketPool {
public:
    struct Limits {
        size_t perKey = 8;
        size_t total = 256;
        int64_t idleMs = 30000;
    };

    KvSocketPool() : KvSocketPool(Limits{}) {}
    explicit KvSocketPool(Limits limits);
    // Stops the sweeper and closes every connection.
    ~KvSocketPool();
    KvSocketPool(const KvSocketPool&) = delete;
    KvSocketPool& operator=(const KvSocketPool&) = delete;

    // The most recently kept connection of the key that is still open and
    // silent (its owner now), or -1.
    int Take(const std::string& key);
    // Keeps the connection for the key, for at most `idleMs` (the pool's
    // idle time when negative or larger); the pool owns it from now on.
    void Give(const std::string& key, int fd, int64_t idleMs = -1);
    // Closes every kept connection.
    void Clear();
    size_t Count() const;

    // The sweeper thread, which closes connections past their idle time.
    void StartSweeper();
    void StopSweeper();

private:
    struct Entry {
        int fd;
        int64_t expires;  // KvNowMs
        uint64_t order;   // when it was given, among all
    };
    // Moves the connections past their time into `out`; under the lock.
    void TakeExpired(int64_t now, std::vector<int>& out);
    // The oldest connection of all into `out`; under the lock.
    void TakeOldest(std::vector<int>& out);
    int64_t EarliestExpiry() const;
    void SweepLoop();

    const Limits m_limits;
    mutable std::mutex m_lock;
    std::unordered_map<std::string, std::vector<Entry>> m_idle;  // per key, oldest first
    size_t m_nCount = 0;
    uint64_t m_nGiven = 0;
    int64_t m_nSweepAt = 0;  // when the sweeper wakes next (max: when woken)
    std::condition_variable m_wake;
    std::thread m_sweeper;
    bool m_bStop = false;
};
