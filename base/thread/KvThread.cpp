#include "base/thread/KvThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>
#include <list>
#include <system_error>

#include "base/app/KvLogCaught.h"
#include "base/thread/KvCriticalObj.h"

IMPLEMENT_DYNAMIC(KvThread, CObject)

namespace {

// The KvThread whose controlling function runs on this thread.
thread_local KvThread* t_currentThread = nullptr;

struct ThreadList {
    KvCriticalObj lock;
    std::list<KvThread*> threads;
};

ThreadList& Registry() {
    static ThreadList registry;  // built on first use, outlives every KvThread made after it
    return registry;
}

}  // namespace

// ---------------------------------------------------------------- registry

void KvThreadRegistry::Add(KvThread* thread) {
    ThreadList& r = Registry();
    KvCriticalLock guard(r.lock);
    r.threads.push_back(thread);
}

void KvThreadRegistry::Remove(KvThread* thread) {
    ThreadList& r = Registry();
    KvCriticalLock guard(r.lock);
    r.threads.remove(thread);
}

int KvThreadRegistry::GetCount() {
    ThreadList& r = Registry();
    KvCriticalLock guard(r.lock);
    return (int)r.threads.size();
}

bool KvThreadRegistry::Contains(const KvThread* thread) {
    ThreadList& r = Registry();
    KvCriticalLock guard(r.lock);
    return std::find(r.threads.begin(), r.threads.end(), thread) != r.threads.end();
}

KvThread* FindCurrentThread() {
    // The controlling function records its object in a thread-local slot,
    // so this needs neither the registry lock nor a search.
    return t_currentThread;
}

BOOL IsCurrentThreadStopped() {
    KvThread* t = FindCurrentThread();
    return (t && !t->IsRunning()) ? TRUE : FALSE;
}

int GetCurrentThreadWakeFd() {
    KvThread* t = FindCurrentThread();
    return t ? t->GetWakeFd() : -1;
}

// ---------------------------------------------------------------- KvThread

KvThread::KvThread(void* owner, long param) : m_pOwner(owner), m_lOwnerParam(param) {
    m_nWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    KvThreadRegistry::Add(this);
}

KvThread::~KvThread() {
    Kill();
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        // Only reachable from the thread itself (which Kill cannot wait for).
        if (m_thread.joinable()) m_thread.detach();
    }
    KvThreadRegistry::Remove(this);
    if (m_nWakeFd >= 0) ::close(m_nWakeFd);
}

bool KvThread::IsOwnThread() const {
    return t_currentThread == this;
}

bool KvThread::CreateEvents() {
    try {
        if (!m_hInitEvent) m_hInitEvent = std::make_unique<KvEvent>();
        if (!m_hKillEvent) m_hKillEvent = std::make_unique<KvEvent>();
        if (!m_hRunEvent) m_hRunEvent = std::make_unique<KvEvent>();
        if (!m_hDoneEvent) m_hDoneEvent = std::make_unique<KvEvent>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

BOOL KvThread::Create(DWORD timeout) {
    std::lock_guard<std::mutex> creating(m_mxCreate);
    if (GetHandle()) return TRUE;
    if (!CreateEvents()) return FALSE;
    // Signals left from an earlier thread of this object must not be
    // taken for this one's start-up or kill.
    m_hInitEvent->Reset();
    m_hKillEvent->Reset();
    m_bKillRequested = false;
    m_bInitResult = FALSE;
    if (!DoStartThread()) return FALSE;
    if (IsAlive() && !m_hInitEvent->Wait(timeout)) return FALSE;
    return m_bInitResult.load();
}

BOOL KvThread::DoStartThread() {
    std::unique_lock<std::mutex> lk(m_mxState);
    ReapLocked();
    m_bStarted = false;
    m_bEnded = false;
    m_bRunActive = false;
    m_nPriority = 0;
    try {
        m_thread = std::thread(&KvThread::ControllingFunction, this);
    } catch (const std::system_error&) {
        m_bEnded = true;
        return FALSE;
    }
    // The new thread cannot go on before this lock is released in the
    // wait below, so the handle is stored before it could end.
    m_hThread = static_cast<HANDLE>(&m_thread);
    m_cvState.wait(lk, [this] { return m_bStarted; });
    return TRUE;
}

DWORD KvThread::ControllingFunction(void* param) {
    KvThread* self = static_cast<KvThread*>(param);
    {
        std::lock_guard<std::mutex> guard(self->m_mxState);
        self->m_dwThreadID = (DWORD)::gettid();
        self->m_bStarted = true;
        self->m_cvState.notify_all();
    }
    t_currentThread = self;
    DWORD code = self->ThreadHandler();
    t_currentThread = nullptr;
    self->ThreadEnded(code);  // the last touch of the object
    return code;
}

DWORD KvThread::ThreadHandler() {
    assert(IsOwnThread());
    if (!m_bInitResult) {
        BOOL ok = FALSE;
        try {
            ok = OnInitThread();
        } catch (...) {
            KvLogCaught("starting a thread");
            ok = FALSE;  // a throwing start-up is a refused one
        }
        m_bInitResult = ok;
        m_hInitEvent->Set();
        if (!ok) return (DWORD)-1;
    }
    KvEvent* events[2] = {m_hKillEvent.get(), m_hRunEvent.get()};
    for (;;) {
        int which = KvEvent::WaitAny(events, 2, INFINITE);
        if (which == 0) break;
        if (which == 1 && BeginRun()) {
            try {
                OnRunThread();
            } catch (...) {
                // An exception ends this run, not the process.
                KvLogCaught("a thread's run");
            }
            EndRun();
        }
    }
    try {
        return OnExitThread();
    } catch (...) {
        KvLogCaught("ending a thread");
        return (DWORD)-1;
    }
}

bool KvThread::BeginRun() {
    std::lock_guard<std::mutex> guard(m_mxState);
    if (m_bKillRequested) return false;  // a pending kill wins over a pending run
    assert(!m_bRunActive);  // one run at a time
    DrainWake();
    m_bRunActive = true;
    ++m_nRunGeneration;
    m_bRunning = TRUE;
    return true;
}

void KvThread::EndRun() {
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        assert(m_bRunActive);
        m_bRunning = FALSE;
        m_bRunActive = false;
        m_cvState.notify_all();
    }
    m_hDoneEvent->Set();
}

void KvThread::ThreadEnded(DWORD exitCode) {
    std::lock_guard<std::mutex> guard(m_mxState);
    m_dwExitCode = exitCode;
    m_bEnded = true;
    m_bRunActive = false;
    m_hThread = nullptr;
    // A dead thread's identifier may be given to a new thread.
    m_dwThreadID = 0;
    m_cvState.notify_all();
}

void KvThread::ReapLocked() const {
    if (!m_bEnded || !m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();  // it has finished: this returns at once
}

void KvThread::Run() {
    if (m_hRunEvent) m_hRunEvent->Set();
}

void KvThread::RequestStop() {
    std::lock_guard<std::mutex> guard(m_mxState);
    m_bRunning = FALSE;
    SignalWake();
}

void KvThread::SetRunning(BOOL running) {
    if (running)
        m_bRunning = TRUE;
    else
        RequestStop();
}

void KvThread::Stop() {
    if (IsOwnThread()) {
        RequestStop();
        return;
    }
    std::unique_lock<std::mutex> lk(m_mxState);
    if (!m_bRunActive) return;
    m_bRunning = FALSE;
    SignalWake();
    // Wait for this run only: a run that starts after it is not ours.
    unsigned generation = m_nRunGeneration;
    m_cvState.wait(lk, [&] { return !m_bRunActive || m_bEnded || m_nRunGeneration != generation; });
}

void KvThread::Kill() {
    {
        std::lock_guard<std::mutex> guard(m_mxState);
        m_bKillRequested = true;
        m_bRunning = FALSE;
        SignalWake();
    }
    if (!IsAlive()) return;
    if (m_hKillEvent) m_hKillEvent->Set();
    // The thread leaves after its current run returns; it cannot wait for
    // itself.
    if (IsOwnThread()) return;
    std::unique_lock<std::mutex> lk(m_mxState);
    m_cvState.wait(lk, [this] { return m_bEnded; });
    ReapLocked();
}

BOOL KvThread::IsAlive() const {
    std::lock_guard<std::mutex> guard(m_mxState);
    ReapLocked();
    if (!m_hThread) return FALSE;
    m_dwExitCode = KV_STILL_ACTIVE;
    return TRUE;
}

HANDLE KvThread::GetHandle() const {
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_hThread;
}

DWORD KvThread::GetID() const {
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_dwThreadID;
}

void KvThread::SetOwnerParams(void* owner, long param) {
    m_pOwner = owner;
    m_lOwnerParam = param;
}

void KvThread::GetOwnerParams(void*& owner, long& param) const {
    owner = m_pOwner;
    param = m_lOwnerParam;
}

void KvThread::SetAttributes(const SECURITY_ATTRIBUTES* sa) {
    if (sa) {
        m_sa = *sa;
        m_pSA = &m_sa;
    } else {
        m_sa = SECURITY_ATTRIBUTES{};
        m_pSA = nullptr;
    }
}

BOOL KvThread::SetPriority(int priority) {
    std::lock_guard<std::mutex> guard(m_mxState);
    if (!m_hThread) return FALSE;
    // Thread priorities map onto the nice value of the thread: below
    // normal is nicer, above normal needs the privilege to raise it.
    int niceValue = std::clamp(-priority, -20, 19);
    if (::setpriority(PRIO_PROCESS, (id_t)m_dwThreadID, niceValue) != 0) return FALSE;
    m_nPriority = priority;
    return TRUE;
}

int KvThread::GetPriority() const {
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_hThread ? m_nPriority : -1;
}

void KvThread::StoreThreadExitCode() {
    DWORD code = GetExitCode();
    std::lock_guard<std::mutex> guard(m_mxState);
    m_dwExitCode = code;
}

DWORD KvThread::GetExitCode() const {
    std::lock_guard<std::mutex> guard(m_mxState);
    return m_hThread ? KV_STILL_ACTIVE : m_dwExitCode;
}

void KvThread::SignalWake() {
    if (m_nWakeFd < 0) return;
    uint64_t one = 1;
    // Fails only when the counter is saturated, which still reads as set.
    (void)!::write(m_nWakeFd, &one, sizeof one);
}

void KvThread::DrainWake() {
    if (m_nWakeFd < 0) return;
    uint64_t value;
    (void)!::read(m_nWakeFd, &value, sizeof value);
}

// ---------------------------------------------------------------- defaults

BOOL KvThread::OnInitThread() {
    return TRUE;
}

void KvThread::OnRunThread() {
    // Idles until told to stop; the wake descriptor ends the wait at once.
    while (!IsCurrentThreadStopped()) {
        if (m_nWakeFd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        struct pollfd pfd = {m_nWakeFd, POLLIN, 0};
        ::poll(&pfd, 1, -1);
        // Readable while still running: a stop that was withdrawn
        // (SetRunning(TRUE)); drop it rather than spin on it.
        if (IsRunning()) DrainWake();
    }
}

DWORD KvThread::OnExitThread() {
    return 0;
}
