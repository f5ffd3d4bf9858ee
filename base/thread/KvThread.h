// KvThread: a worker thread that is created once, then idles and runs its
// work each time it is told to (Run), until it is killed.
//
// Life: constructed (registered, no thread) -> Create (OnInitThread runs
// once on the new thread) -> idle, waiting for run or kill without polling
// <-> running (one OnRunThread per Run) -> exiting (OnExitThread) -> ended.
// A Run during a run is remembered and gives one more run afterwards.
//
// Stopping: m_bRunning is TRUE during a run; clearing it (Stop, Kill,
// RequestStop, SetRunning(FALSE)) asks the run to return. Every thread
// has a wake descriptor (an eventfd) that becomes readable at the same
// moment, so a run blocked in poll() on a socket wakes at once; it is
// drained when the next run starts. Code running on a KvThread asks
// IsCurrentThreadStopped() or polls GetCurrentThreadWakeFd().
//
// Derived classes: override OnInitThread (call the base first; FALSE
// refuses start-up), OnRunThread (must return soon after m_bRunning is
// cleared) and OnExitThread (its result is the exit code). A derived
// class must Kill() in its own destructor: by the time the base
// destructor runs, the derived part the thread works on is gone. An
// object must not be destroyed from its own thread.
//
// Threads: Create, Run, Stop, Kill, RequestStop and the getters may be
// called from any thread. Kill and Stop from the thread itself only
// request (they cannot wait for themselves).
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "base/platform/Event.h"
#include "base/platform/Object.h"

#ifndef KV_SECURITY_ATTRIBUTES_DEFINED
#define KV_SECURITY_ATTRIBUTES_DEFINED
// Creation attributes kept for callers that pass them; threads of one
// process need no access control here.
struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    void* lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
#endif

// Exit code reported while a thread is still running.
constexpr DWORD KV_STILL_ACTIVE = 259;

class KvThread : public CObject {
    DECLARE_DYNAMIC(KvThread)
public:
    explicit KvThread(void* owner = nullptr, long param = 0);
    ~KvThread() override;
    KvThread(const KvThread&) = delete;
    KvThread& operator=(const KvThread&) = delete;

    // Starts the thread and waits up to timeout ms (INFINITE allowed) for
    // its start-up; the result of OnInitThread, FALSE on time-out or when
    // the thread cannot be made. TRUE at once if the thread exists.
    BOOL Create(DWORD timeout = INFINITE);
    // One run of OnRunThread.
    void Run();
    // Asks the run in progress to stop and waits until it has ended.
    void Stop();
    // Ends the thread (after its current run and OnExitThread) and waits.
    void Kill();
    // Clears m_bRunning and signals the wake descriptor; does not wait.
    void RequestStop();

    BOOL IsAlive() const;
    BOOL IsRunning() const { return m_bRunning.load(); }
    // Setting FALSE is a stop request (the wake descriptor is signalled).
    void SetRunning(BOOL running);
    HANDLE GetHandle() const;
    DWORD GetID() const;

    // Readable whenever the thread has been told to stop its run or to
    // leave; -1 when no descriptor could be made.
    int GetWakeFd() const { return m_nWakeFd; }

    void SetOwnerParams(void* owner, long param);
    void GetOwnerParams(void*& owner, long& param) const;
    void SetAttributes(const SECURITY_ATTRIBUTES* sa);
    const SECURITY_ATTRIBUTES* GetAttributes() const { return m_pSA; }
    // Recorded only: the platform's default thread stack is used.
    void SetStackSize(DWORD size) { m_dwStackSize = size; }
    DWORD GetStackSize() const { return m_dwStackSize; }
    // FALSE without a thread or when the scheduler refuses the change.
    BOOL SetPriority(int priority);
    // -1 without a thread.
    int GetPriority() const;
    void StoreThreadExitCode();
    // KV_STILL_ACTIVE while the thread runs, else the last exit code.
    DWORD GetExitCode() const;

protected:
    BOOL DoStartThread();
    static DWORD ControllingFunction(void* param);

    virtual DWORD ThreadHandler();
    virtual BOOL OnInitThread();
    virtual void OnRunThread();
    virtual DWORD OnExitThread();

    HANDLE m_hThread = nullptr;  // guarded by m_mxState
    DWORD m_dwThreadID = 0;      // guarded by m_mxState
    void* m_pOwner;
    long m_lOwnerParam;
    SECURITY_ATTRIBUTES m_sa{};
    SECURITY_ATTRIBUTES* m_pSA = nullptr;
    std::unique_ptr<KvEvent> m_hInitEvent;
    std::unique_ptr<KvEvent> m_hKillEvent;
    std::unique_ptr<KvEvent> m_hRunEvent;
    std::unique_ptr<KvEvent> m_hDoneEvent;
    DWORD m_dwStackSize = 0;
    mutable DWORD m_dwExitCode = (DWORD)-2;  // guarded by m_mxState
    std::atomic<BOOL> m_bInitResult{FALSE};
    std::atomic<BOOL> m_bRunning{FALSE};

    // TRUE on the object's own thread (for asserts of which thread runs what).
    bool IsOwnThread() const;

private:
    bool CreateEvents();
    void SignalWake();
    void DrainWake();
    bool BeginRun();
    void EndRun();
    void ThreadEnded(DWORD exitCode);
    // Joins an ended thread; the caller holds m_mxState.
    void ReapLocked() const;

    std::mutex m_mxCreate;  // one Create at a time
    mutable std::mutex m_mxState;
    std::condition_variable m_cvState;
    mutable std::thread m_thread;
    bool m_bStarted = false;    // the new thread has stored its identifier
    bool m_bEnded = true;       // no thread, or the thread has finished
    bool m_bRunActive = false;  // OnRunThread is executing
    unsigned m_nRunGeneration = 0;  // counts the runs begun
    std::atomic<bool> m_bKillRequested{false};
    int m_nPriority = 0;
    int m_nWakeFd = -1;
};

// The process-wide list of live KvThread objects, in construction order.
class KvThreadRegistry {
public:
    static void Add(KvThread* thread);
    static void Remove(KvThread* thread);
    static int GetCount();
    static bool Contains(const KvThread* thread);
};

// The KvThread whose thread is the calling thread, or null.
KvThread* FindCurrentThread();
// TRUE when the caller runs on a KvThread that is not running (told to stop).
BOOL IsCurrentThreadStopped();
// The calling KvThread's wake descriptor, or -1 on any other thread.
int GetCurrentThreadWakeFd();
