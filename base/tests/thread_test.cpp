#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/app/KvDelay.h"
#include "base/platform/Event.h"
#include "base/platform/MessageLoop.h"
#include "base/tests/test_waits.h"
#include "base/thread/KvCleanupMgr.h"
#include "base/thread/KvCriticalObj.h"
#include "base/thread/KvThread.h"
#include "base/time/KvElapsed.h"

namespace {

using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& cond) { return testwait::WaitUntil(cond); }

bool IsReadable(int fd) {
    struct pollfd pfd = {fd, POLLIN, 0};
    return ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN);
}

// A thread whose start-up and runs can be held at a gate and counted.
class ProbeThread : public KvThread {
public:
    KvEvent initGate{true, true};  // open unless a test closes it
    KvEvent runGate{true, true};
    BOOL initResult = TRUE;
    std::atomic<int> inits{0}, runsStarted{0}, runsDone{0}, exits{0};
    std::atomic<pid_t> tid{0};  // of the thread, once it ran
    std::atomic<bool> sawSelf{false}, sawStopped{true};
    bool killSelfInRun = false;
    bool throwInRun = false;

    ~ProbeThread() override { Kill(); }

protected:
    BOOL OnInitThread() override {
        KvThread::OnInitThread();
        initGate.Wait();
        ++inits;
        return initResult;
    }
    void OnRunThread() override {
        tid = gettid();
        ++runsStarted;
        sawSelf = FindCurrentThread() == this;
        sawStopped = IsCurrentThreadStopped();
        if (killSelfInRun) Kill();
        if (throwInRun) throw std::runtime_error("run failed");
        runGate.Wait();
        ++runsDone;
    }
    DWORD OnExitThread() override {
        ++exits;
        return 7;
    }
};

// The default run: idles until told to stop.
class IdleThread : public KvThread {
public:
    ~IdleThread() override { Kill(); }
};

}  // namespace

TEST(KvEventTest, SetWhileWaitingHandsOverAndASecondSetStaysPending) {
    KvEvent ev;
    std::atomic<int> woken{0};
    std::thread waiter([&] {
        if (ev.Wait(20000)) ++woken;
    });
    ASSERT_TRUE(WaitFor([&] { return ev.GetWaiterCount() == 1; }));
    ev.Set();
    ev.Set();
    waiter.join();
    EXPECT_EQ(woken, 1);
    EXPECT_TRUE(ev.Wait(0));   // the second signal was kept
    EXPECT_FALSE(ev.Wait(0));  // and consumed once
}

TEST(KvEventTest, WaitAnyPrefersTheLowestIndexAndTimesOut) {
    KvEvent a, b;
    KvEvent* both[2] = {&a, &b};
    EXPECT_EQ(KvEvent::WaitAny(both, 2, 0), -1);
    a.Set();
    b.Set();
    EXPECT_EQ(KvEvent::WaitAny(both, 2, 0), 0);
    EXPECT_EQ(KvEvent::WaitAny(both, 2, 0), 1);
    KvElapsed clock;
    EXPECT_EQ(KvEvent::WaitAny(both, 2, 20), -1);
    EXPECT_GE(clock.GetElapsed(), 19);
}

TEST(KvEventTest, ManualResetWakesEveryWaiterAndStaysSet) {
    KvEvent ev(true, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) waiters.emplace_back([&] { woken += ev.Wait(20000) ? 1 : 0; });
    ev.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 4);
    EXPECT_TRUE(ev.IsSet());
    ev.Reset();
    EXPECT_FALSE(ev.Wait(0));
}

TEST(KvThreadTest, CreateTwiceStartsOneThread) {
    ProbeThread t;
    ASSERT_TRUE(t.Create(20000));
    DWORD id = t.GetID();
    EXPECT_NE(id, 0u);
    EXPECT_TRUE(t.Create(20000));
    EXPECT_EQ(t.GetID(), id);
    EXPECT_EQ(t.inits, 1);
    EXPECT_TRUE(t.IsAlive());
    EXPECT_EQ(t.GetExitCode(), KV_STILL_ACTIVE);
}

TEST(KvThreadTest, ShortCreateTimeoutFailsButTheThreadBecomesIdle) {
    ProbeThread t;
    t.initGate.Reset();
    EXPECT_FALSE(t.Create(10));
    t.initGate.Set();
    ASSERT_TRUE(WaitFor([&] { return t.inits == 1; }));
    t.Run();
    EXPECT_TRUE(WaitFor([&] { return t.runsDone == 1; }));
    EXPECT_TRUE(t.Create(0));  // the thread exists now

    // The start-up signal that came after the time-out must not be taken
    // for the start-up of the next thread of this object.
    t.Kill();
    t.initGate.Reset();
    const pid_t creator = gettid();
    std::thread opener([&] {
        testwait::WaitAsleep(creator);  // in Create's wait
        t.initGate.Set();
    });
    EXPECT_TRUE(t.Create(INFINITE));
    EXPECT_EQ(t.inits, 2);
    opener.join();
}

TEST(KvThreadTest, RefusedStartUpEndsTheThreadWithMinusOne) {
    ProbeThread t;
    t.initResult = FALSE;
    EXPECT_FALSE(t.Create(2000));
    ASSERT_TRUE(WaitFor([&] { return !t.IsAlive(); }));
    EXPECT_EQ(t.GetExitCode(), (DWORD)-1);
    EXPECT_EQ(t.exits, 0);
    t.initResult = TRUE;
    EXPECT_TRUE(t.Create());
}

TEST(KvThreadTest, RunDuringARunGivesExactlyOneMoreRun) {
    ProbeThread t;
    ASSERT_TRUE(t.Create());
    t.runGate.Reset();
    t.Run();
    ASSERT_TRUE(WaitFor([&] { return t.runsStarted == 1; }));
    t.Run();
    t.Run();  // absorbed: one pending run at most
    t.runGate.Set();
    ASSERT_TRUE(WaitFor([&] { return t.runsDone == 2; }));
    // Idle (asleep, not running) it has no run left pending.
    ASSERT_TRUE(WaitFor([&] { return !t.IsRunning(); }));
    ASSERT_TRUE(testwait::WaitAsleep(t.tid));
    EXPECT_EQ(t.runsStarted, 2);
    EXPECT_TRUE(t.sawSelf);
    EXPECT_FALSE(t.sawStopped);
}

TEST(KvThreadTest, StopAndRequestStopEndTheRunThroughTheWakeDescriptor) {
    IdleThread t;
    ASSERT_TRUE(t.Create());
    int fd = t.GetWakeFd();
    ASSERT_GE(fd, 0);

    t.Run();
    ASSERT_TRUE(WaitFor([&] { return t.IsRunning(); }));
    EXPECT_FALSE(IsReadable(fd));
    t.Stop();  // waits for the run to end
    EXPECT_FALSE(t.IsRunning());
    EXPECT_TRUE(IsReadable(fd));

    // A new run drains the descriptor; RequestStop does not wait.
    t.Run();
    ASSERT_TRUE(WaitFor([&] { return t.IsRunning(); }));
    EXPECT_FALSE(IsReadable(fd));
    t.RequestStop();
    EXPECT_TRUE(IsReadable(fd));
    EXPECT_TRUE(WaitFor([&] { return !t.IsRunning(); }));
    t.Stop();  // no run in progress: returns at once
}

TEST(KvThreadTest, KillEndsTheRunAndReturnsTheExitCode) {
    IdleThread idle;
    ASSERT_TRUE(idle.Create());
    idle.Run();
    ASSERT_TRUE(WaitFor([&] { return idle.IsRunning(); }));
    idle.Kill();
    EXPECT_FALSE(idle.IsAlive());
    EXPECT_EQ(idle.GetHandle(), nullptr);
    EXPECT_EQ(idle.GetExitCode(), 0u);

    ProbeThread probe;
    ASSERT_TRUE(probe.Create());
    probe.Kill();
    EXPECT_EQ(probe.exits, 1);
    EXPECT_EQ(probe.GetExitCode(), 7u);
    // And the object can be made to run again.
    ASSERT_TRUE(probe.Create());
    probe.Run();
    EXPECT_TRUE(WaitFor([&] { return probe.runsDone == 1; }));
}

TEST(KvThreadTest, KillFromTheThreadItselfDoesNotDeadlock) {
    ProbeThread t;
    t.killSelfInRun = true;
    ASSERT_TRUE(t.Create());
    t.Run();
    EXPECT_TRUE(WaitFor([&] { return t.exits == 1; }));
    EXPECT_TRUE(WaitFor([&] { return !t.IsAlive(); }));
    t.Kill();
    EXPECT_EQ(t.runsDone, 1);
}

TEST(KvThreadTest, AnExceptionEndsTheRunNotTheThreadAndIsLogged) {
    ProbeThread t;
    t.throwInRun = true;
    ASSERT_TRUE(t.Create());
    testing::internal::CaptureStderr();  // no application: the line goes to stderr
    t.Run();
    ASSERT_TRUE(WaitFor([&] { return t.runsStarted == 1 && !t.IsRunning(); }));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Error: a thread's run: caught run failed"), std::string::npos);
    t.throwInRun = false;
    t.Run();
    EXPECT_TRUE(WaitFor([&] { return t.runsDone == 1; }));
    EXPECT_TRUE(t.IsAlive());
}

TEST(KvThreadTest, ObjectsWithoutAThread) {
    ProbeThread t;
    t.Kill();  // never created: nothing to wait for
    t.Stop();
    t.Run();
    EXPECT_FALSE(t.IsAlive());
    EXPECT_FALSE(t.SetPriority(1));
    EXPECT_EQ(t.GetPriority(), -1);
    EXPECT_EQ(t.GetExitCode(), (DWORD)-2);

    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    t.SetAttributes(&sa);
    ASSERT_NE(t.GetAttributes(), nullptr);
    EXPECT_TRUE(t.GetAttributes()->bInheritHandle);
    t.SetAttributes(nullptr);
    EXPECT_EQ(t.GetAttributes(), nullptr);
}

TEST(KvThreadTest, PlainThreadsAreNeitherFoundNorStopped) {
    std::thread plain([] {
        EXPECT_EQ(FindCurrentThread(), nullptr);
        EXPECT_FALSE(IsCurrentThreadStopped());
        EXPECT_EQ(GetCurrentThreadWakeFd(), -1);
    });
    plain.join();
    EXPECT_EQ(FindCurrentThread(), nullptr);
}

TEST(KvThreadTest, RegistryListsLiveObjects) {
    int before = KvThreadRegistry::GetCount();
    {
        IdleThread a;
        ProbeThread b;
        EXPECT_EQ(KvThreadRegistry::GetCount(), before + 2);
        EXPECT_TRUE(KvThreadRegistry::Contains(&a));
        ASSERT_TRUE(a.Create());
        a.Run();
        ASSERT_TRUE(WaitFor([&] { return a.IsRunning(); }));
        // Destruction kills the running thread.
    }
    EXPECT_EQ(KvThreadRegistry::GetCount(), before);
}

namespace {
std::vector<int> g_cleanupOrder;
void CleanupOne() { g_cleanupOrder.push_back(1); }
void CleanupTwo() { g_cleanupOrder.push_back(2); }
void CleanupThrows() { throw std::runtime_error("cleanup failed"); }
void CleanupThree() {
    g_cleanupOrder.push_back(3);
    KvCleanupMgr::Register(CleanupOne);  // registered while clean-up runs
}
}  // namespace

TEST(KvCleanupMgrTest, RunsNewestFirstAndSurvivesAThrowingFunction) {
    KvCleanupMgr::DestroyInstance();
    g_cleanupOrder.clear();
    KvCleanupMgr::Register(CleanupOne);
    KvCleanupMgr::Register(CleanupTwo);
    KvCleanupMgr::Register(CleanupThrows);
    KvCleanupMgr::Register(CleanupThree);
    KvCleanupMgr::Register(nullptr);
    EXPECT_EQ(KvCleanupMgr::GetCount(), 4);
    KvCleanupMgr::DestroyInstance();
    EXPECT_EQ(g_cleanupOrder, (std::vector<int>{3, 1, 2, 1}));
    EXPECT_EQ(KvCleanupMgr::GetCount(), 0);
    KvCleanupMgr::DestroyInstance();  // empty: nothing runs
    EXPECT_EQ(g_cleanupOrder.size(), 4u);
}

TEST(KvDelayTest, DelayRunsItsTimeWithoutAQuit) {
    KvResetQuit();
    KvElapsed clock("delay");
    EXPECT_EQ(Delay(30, FALSE), 1);
    EXPECT_GE(clock.GetElapsed(), 29);
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_STREQ(clock.GetName(), "delay");
}

TEST(KvDelayTest, APostedQuitEndsDelayAtOnceAndStaysPosted) {
    KvResetQuit();
    KvPostQuitMessage(3);
    // 0, not the 1 of a delay that ran its time.
    EXPECT_EQ(Delay(60000, FALSE), 0);
    EXPECT_EQ(Delay(60000, TRUE), 0);
    EXPECT_EQ(DoEvents(), 0);
    EXPECT_EQ(KvGetQuitCode(), 3);
    KvResetQuit();

    // A quit posted by another thread wakes a delay in progress.
    const pid_t delaying = gettid();
    std::thread poster([delaying] {
        testwait::WaitAsleep(delaying);
        KvPostQuitMessage();
    });
    EXPECT_EQ(Delay(60000, FALSE), 0);
    poster.join();
    KvResetQuit();
}

namespace {
int g_fatalCalls = 0;
void CountFatal() { ++g_fatalCalls; }
}  // namespace

TEST(KvDelayTest, FatalExitAsksTheHostOrPostsAQuit) {
    KvResetQuit();
    g_fatalCalls = 0;
    KvSetFatalHandler(CountFatal);
    KvFatalExit();
    EXPECT_EQ(g_fatalCalls, 1);
    EXPECT_FALSE(KvIsQuitPosted());
    KvSetFatalHandler(nullptr);
    KvFatalExit();
    EXPECT_TRUE(KvIsQuitPosted());
    EXPECT_EQ(KvGetQuitCode(), 1);
    KvResetQuit();
}

TEST(KvElapsedTest, CopiesKeepNameAndStart) {
    KvElapsed a("copy");
    std::this_thread::sleep_for(5ms);
    KvElapsed b(a);
    EXPECT_STREQ(b.GetName(), "copy");
    EXPECT_GE(b.GetElapsed(), 4);
    KvElapsed c;
    c = a;
    EXPECT_STREQ(c.GetName(), "copy");
    c.Show();
}

TEST(KvCriticalObjTest, ANestedUnlockKeepsTheLockHeldByItsThread) {
    KvCriticalObj cs;
    {
        KvCriticalLock outer(cs);
        {
            KvCriticalLock inner(cs);
        }
        EXPECT_TRUE(cs.IsLocked());
        EXPECT_TRUE(cs.IsHeldByCurrentThread());
        bool heldElsewhere = true;
        std::thread([&] { heldElsewhere = cs.IsHeldByCurrentThread(); }).join();
        EXPECT_FALSE(heldElsewhere);
    }
    EXPECT_FALSE(cs.IsLocked());
    EXPECT_FALSE(cs.IsHeldByCurrentThread());
}
