// KvCriticalObj: an in-process lock, re-entrant for the thread that holds
// it (a thread may lock it again and must unlock it as often).
// KvCriticalLock: holds a KvCriticalObj for the life of a scope, released
// also when an exception leaves the scope.
#pragma once

#include <atomic>
#include <mutex>

#include "base/platform/WinTypes.h"

class KvCriticalObj {
public:
    KvCriticalObj() = default;
    virtual ~KvCriticalObj();
    KvCriticalObj(const KvCriticalObj&) = delete;
    KvCriticalObj& operator=(const KvCriticalObj&) = delete;

    void Lock() {
        m_cs.lock();
        m_bLocked.store(true, std::memory_order_relaxed);
    }
    BOOL TryLock() {
        if (!m_cs.try_lock()) return FALSE;
        m_bLocked.store(true, std::memory_order_relaxed);
        return TRUE;
    }
    void Unlock() {
        m_bLocked.store(false, std::memory_order_relaxed);
        m_cs.unlock();
    }
    // Informational only: another thread may take or drop the lock at once.
    BOOL IsLocked() const { return m_bLocked.load(std::memory_order_relaxed); }

private:
    std::recursive_mutex m_cs;
    std::atomic<bool> m_bLocked{false};
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
