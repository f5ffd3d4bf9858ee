// KvCriticalObj: an in-process lock, re-entrant for the thread that holds
// it (a thread may lock it again and must unlock it as often).
// KvCriticalLock: holds a KvCriticalObj for the life of a scope, released
// also when an exception leaves the scope.
#pragma once

#include <atomic>
#include <cassert>
#include <mutex>
#include <thread>

#include "base/platform/WinTypes.h"

class KvCriticalObj {
public:
    KvCriticalObj() = default;
    virtual ~KvCriticalObj();
    KvCriticalObj(const KvCriticalObj&) = delete;
    KvCriticalObj& operator=(const KvCriticalObj&) = delete;

    void Lock() {
        m_cs.lock();
        Acquired();
    }
    BOOL TryLock() {
        if (!m_cs.try_lock()) return FALSE;
        Acquired();
        return TRUE;
    }
    void Unlock() {
        assert(IsHeldByCurrentThread());  // only the holder unlocks
        if (--m_nDepth == 0) {
            m_owner.store(std::thread::id(), std::memory_order_relaxed);
            m_bLocked.store(false, std::memory_order_relaxed);
        }
        m_cs.unlock();
    }
    // Informational only: another thread may take or drop the lock at once.
    BOOL IsLocked() const { return m_bLocked.load(std::memory_order_relaxed); }
    // Exact for the calling thread: TRUE while it holds the lock (for
    // asserts in code that must run under it).
    bool IsHeldByCurrentThread() const {
        return m_owner.load(std::memory_order_relaxed) == std::this_thread::get_id();
    }

private:
    void Acquired() {
        m_owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
        ++m_nDepth;  // guarded by the lock itself
        m_bLocked.store(true, std::memory_order_relaxed);
    }

    std::recursive_mutex m_cs;
    std::atomic<bool> m_bLocked{false};
    std::atomic<std::thread::id> m_owner{};
    int m_nDepth = 0;
};

class KvCriticalLock {
public:
    explicit KvCriticalLock(KvCriticalObj& cs) : m_cs(cs) { m_cs.Lock(); }
    explicit KvCriticalLock(KvCriticalObj* cs) : KvCriticalLock(*cs) {}
    ~KvCriticalLock() { m_cs.Unlock(); }
    KvCriticalLock(const KvCriticalLock&) = delete;
    KvCriticalLock& operator=(const KvCriticalLock&) = delete;

private:
    KvCriticalObj& m_cs;
};
