#include "inet/net/KvSocketPool.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "inet/net/KvSocketWait.h"

namespace {

void CloseAll(const std::vector<int>& fds) {
    for (int fd : fds) close(fd);
}

// A kept connection has nothing to say: readable means the peer closed it
// (or broke the protocol by talking first), either way it is of no use.
bool StillSilent(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 0;
}

}  // namespace

KvSocketPool::KvSocketPool(Limits limits) : m_limits(limits) {}

KvSocketPool::~KvSocketPool() {
    StopSweeper();
    Clear();
}

int KvSocketPool::Take(const std::string& key) {
    std::vector<int> dead;
    int found = -1;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const int64_t now = KvNowMs();
        auto it = m_idle.find(key);
        while (found < 0 && it != m_idle.end() && !it->second.empty()) {
            const Entry e = it->second.back();
            it->second.pop_back();
            --m_nCount;
            // One past its time that the sweeper has not reached yet is not used.
            if (e.expires > now && StillSilent(e.fd)) found = e.fd;
            else dead.push_back(e.fd);
        }
        if (it != m_idle.end() && it->second.empty()) m_idle.erase(it);
    }
    CloseAll(dead);
    return found;
}

void KvSocketPool::Give(const std::string& key, int fd, int64_t idleMs) {
    if (fd < 0) return;
    if (idleMs < 0 || idleMs > m_limits.idleMs) idleMs = m_limits.idleMs;
    if (idleMs == 0 || m_limits.perKey == 0 || m_limits.total == 0) {
        close(fd);
        return;
    }
    std::vector<int> dead;
    bool wake = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const int64_t now = KvNowMs();
        std::vector<Entry>& list = m_idle[key];
        if (list.size() >= m_limits.perKey) {
            dead.push_back(list.front().fd);
            list.erase(list.begin());
            --m_nCount;
        }
        if (m_nCount >= m_limits.total) TakeOldest(dead);
        const int64_t expires = now + idleMs;
        // The sweeper sleeps until the earliest expiry it knew of.
        wake = expires < m_nSweepAt;
        list.push_back(Entry{fd, expires, ++m_nGiven});
        ++m_nCount;
    }
    if (wake) m_wake.notify_one();
    CloseAll(dead);
}

void KvSocketPool::Clear() {
    std::vector<int> dead;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (auto& [key, list] : m_idle) {
            for (const Entry& e : list) dead.push_back(e.fd);
        }
        m_idle.clear();
        m_nCount = 0;
    }
    CloseAll(dead);
}

size_t KvSocketPool::Count() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_nCount;
}

void KvSocketPool::TakeExpired(int64_t now, std::vector<int>& out) {
    for (auto it = m_idle.begin(); it != m_idle.end();) {
        std::vector<Entry>& list = it->second;
        auto kept = std::remove_if(list.begin(), list.end(), [&](const Entry& e) {
            if (e.expires > now) return false;
            out.push_back(e.fd);
            return true;
        });
        m_nCount -= (size_t)(list.end() - kept);
        list.erase(kept, list.end());
        it = list.empty() ? m_idle.erase(it) : std::next(it);
    }
}

void KvSocketPool::TakeOldest(std::vector<int>& out) {
    // At most `total` entries: a scan is cheaper than a second index.
    std::vector<Entry>* oldest = nullptr;
    for (auto& [key, list] : m_idle) {
        if (!list.empty() && (!oldest || list.front().order < oldest->front().order)) oldest = &list;
    }
    if (!oldest) return;
    out.push_back(oldest->front().fd);
    oldest->erase(oldest->begin());
    --m_nCount;
}

int64_t KvSocketPool::EarliestExpiry() const {
    int64_t earliest = std::numeric_limits<int64_t>::max();
    for (const auto& [key, list] : m_idle) {
        for (const Entry& e : list) earliest = std::min(earliest, e.expires);
    }
    return earliest;
}

void KvSocketPool::StartSweeper() {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_sweeper.joinable()) return;
    m_bStop = false;
    m_sweeper = std::thread([this] { SweepLoop(); });
}

void KvSocketPool::StopSweeper() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!m_sweeper.joinable()) return;
        m_bStop = true;
    }
    m_wake.notify_all();
    m_sweeper.join();
}

void KvSocketPool::SweepLoop() {
    std::unique_lock<std::mutex> hold(m_lock);
    while (!m_bStop) {
        const int64_t next = EarliestExpiry();
        m_nSweepAt = next;
        if (next == std::numeric_limits<int64_t>::max()) {
            m_wake.wait(hold);
        } else {
            const int64_t wait = std::max<int64_t>(0, next - KvNowMs());
            m_wake.wait_for(hold, std::chrono::milliseconds(wait));
        }
        std::vector<int> dead;
        TakeExpired(KvNowMs(), dead);
        if (dead.empty()) continue;
        hold.unlock();
        CloseAll(dead);
        hold.lock();
    }
}
