// KvEvent: a signalable event for threads of one process.
//
// An auto-reset event (the default) wakes exactly one waiter per Set and
// is unsignalled again afterwards. When a thread is already waiting, Set
// hands the signal straight to it, so two quick Sets while a thread waits
// count twice: one wakes the waiter, the other stays pending. With no
// waiter the event merely stays signalled (further Sets are absorbed).
// A manual-reset event stays signalled until Reset and wakes every waiter.
//
// WaitAny waits for the first of several events; when several are
// signalled on entry the lowest index wins. All members are thread-safe.
#pragma once

#include <list>
#include <mutex>

#include "base/platform/WinTypes.h"

class KvEvent {
public:
    explicit KvEvent(bool manualReset = false, bool initialState = false);
    ~KvEvent() = default;
    KvEvent(const KvEvent&) = delete;
    KvEvent& operator=(const KvEvent&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;
    // Threads blocked on this event right now (diagnostics and tests).
    int GetWaiterCount() const;

    // True when the event was signalled within ms milliseconds (INFINITE
    // waits without limit; 0 only tests).
    bool Wait(DWORD ms = INFINITE);

    // The index of the event that ended the wait, or -1 when ms passed
    // first (or count is not positive). Null entries are skipped.
    static int WaitAny(KvEvent* const* events, int count, DWORD ms = INFINITE);

private:
    struct Waiter;
    struct WaitEntry {
        Waiter* waiter;
        int index;  // the index this event has in the waiter's WaitAny call
    };

    // Takes the signal on entry to a wait; the caller holds m_lock.
    bool ConsumeLocked();

    mutable std::mutex m_lock;
    std::list<WaitEntry> m_waiters;  // registered waiters, oldest first
    bool m_bSignalled;
    const bool m_bManualReset;
};
