#include "base/app/KvDelay.h"

#include "base/platform/MessageLoop.h"

int DoEvents() {
    return KvIsQuitPosted() ? 0 : 1;
}

int Delay(UINT ms, int /*pump*/) {
    // INFINITE would wait forever in KvWaitForQuit; a delay is always finite.
    DWORD wait = (ms == INFINITE) ? INFINITE - 1 : ms;
    return KvWaitForQuit(wait) ? 0 : 1;
}
