// KvCleanupMgr: the functions that tear down process-wide singletons.
//
// Singletons register their destroy function when they are first made;
// the application calls DestroyInstance from ExitInstance, which runs the
// functions newest first. A clean-up function may itself register another
// one (on the same thread): it runs in the same DestroyInstance call.
#pragma once

#include <list>

#include "base/thread/KvCriticalObj.h"

class KvCleanupMgr {
public:
    typedef void (*CleanupFn)();

    // Adds fn at the head of the list (null is ignored).
    static void Register(CleanupFn fn);
    // Runs every registered function, most recently registered first,
    // and empties the list. An exception from one function is swallowed
    // and the others still run.
    static void DestroyInstance();
    // Number of functions waiting to run.
    static int GetCount();

private:
    // Built on first use, so registering from a static initialiser is safe.
    static std::list<CleanupFn>& CleanupList();
    static KvCriticalObj& CleanupLock();
};
