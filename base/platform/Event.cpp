#include "base/platform/Event.h"

#include <atomic>
#include <chrono>
#include <condition_variable>

// One waiting call of WaitAny. The first event to claim it (compare and
// swap of m_claim from -1 to its index) wins; a timed-out waiter claims
// itself with -2 so that no event hands it a signal afterwards.
struct KvEvent::Waiter {
    std::mutex lock;
    std::condition_variable cv;
    std::atomic<int> claim{-1};

    bool TryClaim(int idx) {
        int expected = -1;
        return claim.compare_exchange_strong(expected, idx);
    }
    bool Claimed() const { return claim.load() != -1; }
    void Wake() {
        // Taking the lock orders the notification after the waiter's last
        // look at the claim, so the wake-up cannot be lost.
        std::lock_guard<std::mutex> guard(lock);
        cv.notify_one();
    }
};

KvEvent::KvEvent(bool manualReset, bool initialState)
    : m_bSignalled(initialState), m_bManualReset(manualReset) {}

bool KvEvent::ConsumeLocked() {
    if (!m_bSignalled) return false;
    if (!m_bManualReset) m_bSignalled = false;
    return true;
}

void KvEvent::Set() {
    std::lock_guard<std::mutex> guard(m_lock);
    // Hand the signal to waiters in arrival order. A waiter that another
    // event (or its time-out) claimed already is dropped.
    while (!m_waiters.empty()) {
        WaitEntry entry = m_waiters.front();
        m_waiters.pop_front();
        if (entry.waiter->TryClaim(entry.index)) {
            entry.waiter->Wake();
            if (!m_bManualReset) return;
        }
    }
    m_bSignalled = true;
}

void KvEvent::Reset() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bSignalled = false;
}

bool KvEvent::IsSet() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bSignalled;
}

int KvEvent::GetWaiterCount() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return (int)m_waiters.size();
}

bool KvEvent::Wait(DWORD ms) {
    KvEvent* self = this;
    return WaitAny(&self, 1, ms) == 0;
}

int KvEvent::WaitAny(KvEvent* const* events, int count, DWORD ms) {
    if (!events || count <= 0) return -1;

    Waiter waiter;
    int reached = 0;  // events [0, reached) may list the waiter
    for (; reached < count; ++reached) {
        KvEvent* ev = events[reached];
        if (!ev) continue;
        std::lock_guard<std::mutex> guard(ev->m_lock);
        if (waiter.Claimed()) break;  // an earlier event handed us its signal
        if (ev->m_bSignalled) {
            if (waiter.TryClaim(reached)) ev->ConsumeLocked();
            break;
        }
        ev->m_waiters.push_back(WaitEntry{&waiter, reached});
    }

    if (!waiter.Claimed()) {
        std::unique_lock<std::mutex> lk(waiter.lock);
        auto claimed = [&] { return waiter.Claimed(); };
        if (ms == INFINITE) {
            waiter.cv.wait(lk, claimed);
        } else {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
            if (!waiter.cv.wait_until(lk, deadline, claimed)) waiter.TryClaim(-2);
        }
    }

    // Leave every event that may still list the waiter before it goes
    // out of scope. An event that claimed it has removed it already.
    for (int i = 0; i < reached && i < count; ++i) {
        KvEvent* ev = events[i];
        if (!ev) continue;
        std::lock_guard<std::mutex> guard(ev->m_lock);
        ev->m_waiters.remove_if([&](const WaitEntry& e) { return e.waiter == &waiter; });
    }
    int result = waiter.claim.load();
    return result >= 0 ? result : -1;
}
