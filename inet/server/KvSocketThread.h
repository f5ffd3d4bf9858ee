// KvSocketThread: the base of the server and request threads, a KvThread
// made without owner parameters.
#pragma once

#include "base/thread/KvThread.h"

class KvSocketThread : public KvThread {
    DECLARE_DYNAMIC(KvSocketThread)
public:
    KvSocketThread() : KvThread(nullptr, 0) {}
    ~KvSocketThread() override = default;
};
