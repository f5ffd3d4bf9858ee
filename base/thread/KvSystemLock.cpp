#include "base/thread/KvSystemLock.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "base/platform/FileIo.h"
#include "base/thread/KvCleanupMgr.h"

namespace {

constexpr UINT kSlotCount = 8;

struct Slot {
    std::recursive_mutex mutex;
    int depth = 0;            // lock count of the owning thread; guarded by mutex
    int fd = -1;              // the slot's lock file; guarded by mutex
    unsigned generation = 0;  // the table generation fd was opened under
};

struct LockTable {
    std::mutex master;  // guards the fields below
    std::string dir;
    unsigned generation = 1;
    bool initialised = false;
    Slot slots[kSlotCount];
};

void AfterForkInChild();

LockTable& Table() {
    // Never destroyed: clean-up functions may lock during the process's exit.
    static LockTable* table = [] {
        auto* t = new LockTable;
        ::pthread_atfork(nullptr, nullptr, AfterForkInChild);
        return t;
    }();
    return *table;
}

// A child process shares the parent's open file descriptions, and with
// them the parent's file locks: it must open its own.
void AfterForkInChild() {
    LockTable& t = Table();
    for (Slot& s : t.slots) {
        if (s.fd >= 0) ::close(s.fd);
        s.fd = -1;
    }
    ++t.generation;
}

// A directory for this user alone; empty when it is not safe to use.
std::string DefaultLockDir() {
    char path[64];
    std::snprintf(path, sizeof path, "/tmp/kvproxy-%u", (unsigned)::getuid());
    ::mkdir(path, 0700);
    struct stat st;
    if (::lstat(path, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return {};
    return path;
}

std::string LockFilePath(unsigned slot, unsigned* generation) {
    LockTable& t = Table();
    std::lock_guard<std::mutex> guard(t.master);
    if (t.dir.empty()) t.dir = DefaultLockDir();
    *generation = t.generation;
    if (t.dir.empty()) return {};
    char name[32];
    std::snprintf(name, sizeof name, "/DbLock_%02u.lock", slot);
    return t.dir + name;
}

bool FileLock(int fd, short type, int cmd) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;  // start 0, length 0: the whole file
    while (::fcntl(fd, cmd, &fl) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

// The owning thread takes the cross-process lock of slot k (depth 0 -> 1).
void LockFileOf(Slot& s, unsigned k) {
    unsigned generation = 0;
    std::string path = LockFilePath(k, &generation);
    if (s.fd >= 0 && s.generation != generation) {
        ::close(s.fd);
        s.fd = -1;
    }
    if (s.fd < 0 && !path.empty()) {
        s.fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        s.generation = generation;
    }
    if (s.fd >= 0 && !FileLock(s.fd, F_WRLCK, F_OFD_SETLKW)) {
        // No file lock to be had here (e.g. a file system without
        // locks): the slot still serialises this process's threads.
        ::close(s.fd);
        s.fd = -1;
    }
}

void AcquireSlot(unsigned k) {
    Slot& s = Table().slots[k];
    s.mutex.lock();
    if (s.depth++ == 0) LockFileOf(s, k);
}

void ReleaseSlot(unsigned k) {
    Slot& s = Table().slots[k];
    // Unlocking a mutex this thread does not own is undefined: try_lock
    // succeeds only for the owner (or when the slot is free).
    if (!s.mutex.try_lock()) return;
    bool held = s.depth > 0;
    s.mutex.unlock();
    if (!held) return;
    if (--s.depth == 0 && s.fd >= 0) FileLock(s.fd, F_UNLCK, F_OFD_SETLK);
    s.mutex.unlock();
}

// First use: register the clean-up. Registration happens outside the
// master lock, because DestroyInstance holds the clean-up lock while it
// calls DestroySystemLock, which takes the master.
void EnsureInitialised() {
    LockTable& t = Table();
    bool first = false;
    {
        std::lock_guard<std::mutex> guard(t.master);
        if (!t.initialised) t.initialised = first = true;
    }
    if (first) KvCleanupMgr::Register(DestroySystemLock);
}

}  // namespace

void SystemLock(UINT index) {
    if (index > kSlotCount) return;
    EnsureInitialised();
    if (index == 0) {
        for (unsigned k = 0; k < kSlotCount; ++k) AcquireSlot(k);
    } else {
        AcquireSlot(index - 1);
    }
}

void SystemUnlock(UINT index) {
    if (index > kSlotCount) return;
    if (index == 0) {
        for (unsigned k = 0; k < kSlotCount; ++k) ReleaseSlot(k);
    } else {
        ReleaseSlot(index - 1);
    }
}

void DestroySystemLock() {
    LockTable& t = Table();
    {
        std::lock_guard<std::mutex> guard(t.master);
        t.initialised = false;
        ++t.generation;  // slots busy now reopen at their next first lock
    }
    for (Slot& s : t.slots) {
        if (!s.mutex.try_lock()) continue;
        if (s.depth == 0 && s.fd >= 0) {
            ::close(s.fd);
            s.fd = -1;
        }
        s.mutex.unlock();
    }
}

void SetSystemLockDir(const char* dir) {
    std::string native = KvNativePath(dir ? dir : "");
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (!native.empty()) ::mkdir(native.c_str(), 0777);
    LockTable& t = Table();
    std::lock_guard<std::mutex> guard(t.master);
    t.dir = native;
    ++t.generation;
}

std::string GetSystemLockDir() {
    LockTable& t = Table();
    std::lock_guard<std::mutex> guard(t.master);
    if (t.dir.empty()) t.dir = DefaultLockDir();
    return t.dir;
}
