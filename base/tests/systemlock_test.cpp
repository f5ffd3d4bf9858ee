#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/tests/test_waits.h"
#include "base/thread/KvCleanupMgr.h"
#include "base/thread/KvSystemLock.h"

namespace {

using namespace std::chrono_literals;

class SystemLockTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/kv_systemlock_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        s_dir = pattern;
        SetSystemLockDir(s_dir.c_str());
    }
    static void TearDownTestSuite() {
        DestroySystemLock();
        std::string cmd = "rm -rf '" + s_dir + "'";
        (void)!std::system(cmd.c_str());
    }

    // The lock file of lock index 1..8.
    static std::string LockFile(int index) {
        char name[32];
        std::snprintf(name, sizeof name, "/DbLock_%02d.lock", index - 1);
        return s_dir + name;
    }

    // Whether another open of the lock file would have to wait: what any
    // other process sees.
    static bool HeldElsewhere(int index) {
        int fd = ::open(LockFile(index).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        bool held = ::fcntl(fd, F_OFD_SETLK, &fl) != 0;
        ::close(fd);  // also drops our probe lock
        return held;
    }

    static std::string s_dir;
};

std::string SystemLockTest::s_dir;

}  // namespace

TEST_F(SystemLockTest, IndexZeroTakesAndReleasesAllEight) {
    SystemLock(0);
    for (int i = 1; i <= 8; ++i) EXPECT_TRUE(HeldElsewhere(i)) << i;
    SystemUnlock(0);
    for (int i = 1; i <= 8; ++i) EXPECT_FALSE(HeldElsewhere(i)) << i;
}

TEST_F(SystemLockTest, OwnerMayLockAgainAndNeedsAsManyUnlocks) {
    SystemLock(3);
    SystemLock(3);
    EXPECT_TRUE(HeldElsewhere(3));
    EXPECT_FALSE(HeldElsewhere(4));
    SystemUnlock(3);
    EXPECT_TRUE(HeldElsewhere(3));
    SystemUnlock(3);
    EXPECT_FALSE(HeldElsewhere(3));
    SystemUnlock(3);  // one too many: nothing happens
    SystemUnlock(9);  // outside the table: ignored
    SystemLock(9);
    EXPECT_FALSE(HeldElsewhere(3));
}

TEST_F(SystemLockTest, OtherThreadsWaitAndCannotReleaseTheOwnersLock) {
    SystemLock(4);
    std::atomic<bool> acquired{false};
    std::atomic<pid_t> tid{0};
    std::thread other([&] {
        tid = gettid();
        SystemUnlock(4);  // not the owner: ignored
        SystemLock(4);
        acquired = true;
        SystemUnlock(4);
    });
    // It either took the lock (wrongly) or waits for it.
    ASSERT_TRUE(testwait::WaitUntil([&] { return acquired || (tid != 0 && testwait::IsAsleep(tid)); }));
    EXPECT_FALSE(acquired);
    EXPECT_TRUE(HeldElsewhere(4));
    SystemUnlock(4);
    other.join();
    EXPECT_TRUE(acquired);
    EXPECT_FALSE(HeldElsewhere(4));
}

TEST_F(SystemLockTest, AnotherProcessIsExcludedUntilTheHolderUnlocks) {
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SystemLock(3);
        char c = 'L';
        (void)!::write(toParent[1], &c, 1);
        (void)!::read(toChild[0], &c, 1);
        SystemUnlock(3);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);

    std::atomic<bool> acquired{false};
    std::atomic<pid_t> tid{0};
    std::thread locker([&] {
        tid = gettid();
        SystemLock(3);
        acquired = true;
        SystemUnlock(3);
    });
    ASSERT_TRUE(testwait::WaitUntil([&] { return acquired || (tid != 0 && testwait::IsAsleep(tid)); }));
    EXPECT_FALSE(acquired);
    (void)!::write(toChild[1], &c, 1);
    locker.join();
    EXPECT_TRUE(acquired);

    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
}

TEST_F(SystemLockTest, ALockHeldByADeadProcessCountsAsAcquired) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SystemLock(6);
        ::_exit(0);  // never unlocks
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    SystemLock(6);
    EXPECT_TRUE(HeldElsewhere(6));
    SystemUnlock(6);
}

TEST_F(SystemLockTest, FirstUseRegistersTheCleanupAndLocksWorkAgainAfterIt) {
    KvCleanupMgr::DestroyInstance();  // runs DestroySystemLock if registered
    EXPECT_EQ(KvCleanupMgr::GetCount(), 0);
    SystemUnlock(1);  // nothing to release yet
    SystemLock(1);
    EXPECT_EQ(KvCleanupMgr::GetCount(), 1);
    SystemUnlock(1);
    KvCleanupMgr::DestroyInstance();
    EXPECT_EQ(KvCleanupMgr::GetCount(), 0);
    SystemLock(2);
    EXPECT_TRUE(HeldElsewhere(2));
    SystemUnlock(2);
    EXPECT_FALSE(HeldElsewhere(2));
}

TEST_F(SystemLockTest, ADirectoryChangeMovesTheNextLockAndKeepsTheHeldOne) {
    char pattern[] = "/tmp/kv_systemlock2_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    std::string other = pattern;

    SystemLock(5);
    SetSystemLockDir((other + "/").c_str());
    EXPECT_EQ(GetSystemLockDir(), other);
    EXPECT_TRUE(HeldElsewhere(5));  // still held in the old directory
    SystemUnlock(5);
    EXPECT_FALSE(HeldElsewhere(5));

    SystemLock(5);
    EXPECT_EQ(::access((other + "/DbLock_04.lock").c_str(), F_OK), 0);
    SystemUnlock(5);

    SetSystemLockDir(s_dir.c_str());
    std::string cmd = "rm -rf '" + other + "'";
    (void)!std::system(cmd.c_str());
}
