// Machine-wide locks that serialise writers of the SQL databases across
// threads and processes.
//
// Eight slots; lock index 1 to 8 names slot 0 to 7, index 0 all eight
// (taken from slot 0 upwards, so lockers of all slots cannot deadlock
// each other). Callers: 3 cache database, 4 link repository, 5 local web
// repository, 6 RSS repository, 7 opening any repository.
//
// A slot is owned by a thread: the thread that locks must unlock, and it
// may lock again (it then needs as many unlocks). Inside the process a
// slot is a recursive mutex; across processes the owning thread also
// holds an open-file-description lock on "<dir>/DbLock_NN.lock" (NN = 00
// to 07), which the kernel drops when a process dies. When the lock file
// cannot be made the slot still serialises the threads of this process.
//
// Locks are made on first use (which registers DestroySystemLock with
// KvCleanupMgr) and made again by a SystemLock after DestroySystemLock.
#pragma once

#include <string>

#include "base/platform/WinTypes.h"

void SystemLock(UINT index);
// Releases a slot (or all with 0) held by the calling thread; a slot the
// caller does not hold is left alone. Indices above 8 are ignored.
void SystemUnlock(UINT index);
// Forgets the lock files (slots held right now keep theirs until their
// owner's last unlock). The next SystemLock makes them again.
void DestroySystemLock();

// The directory of the lock files, normally "<base>/Temp". Until it is set
// a per-user directory under /tmp is used. Takes effect for each slot the
// next time it is taken by a thread that does not hold it.
void SetSystemLockDir(const char* dir);
std::string GetSystemLockDir();
