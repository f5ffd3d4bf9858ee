#include "base/thread/KvCleanupMgr.h"

#include "base/app/KvLogCaught.h"

std::list<KvCleanupMgr::CleanupFn>& KvCleanupMgr::CleanupList() {
    static std::list<CleanupFn> m_lstCleanup;
    return m_lstCleanup;
}

KvCriticalObj& KvCleanupMgr::CleanupLock() {
    static KvCriticalObj m_csCleanupMgr;
    return m_csCleanupMgr;
}

void KvCleanupMgr::Register(CleanupFn fn) {
    if (!fn) return;
    KvCriticalLock lock(CleanupLock());
    CleanupList().push_front(fn);
}

void KvCleanupMgr::DestroyInstance() {
    KvCriticalLock lock(CleanupLock());
    std::list<CleanupFn>& list = CleanupList();
    // Take the functions out before running them: one of them may
    // register another (the lock is re-entrant), which then runs next.
    while (!list.empty()) {
        CleanupFn fn = list.front();
        list.pop_front();
        try {
            fn();
        } catch (...) {
            KvLogCaught("a clean-up function");
            // A failing clean-up must not keep the others from running.
        }
    }
}

int KvCleanupMgr::GetCount() {
    KvCriticalLock lock(CleanupLock());
    return (int)CleanupList().size();
}
