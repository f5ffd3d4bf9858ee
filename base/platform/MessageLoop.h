// The headless stand-in for the application's message queue.
//
// The process has one quit flag. Posting a quit sets it and wakes every
// thread waiting in KvWaitForQuit (the application's message loop, Delay);
// it stays set ("queued") until KvResetQuit. The fatal handler is how the
// libraries ask the host to shut down after a fatal error.
#pragma once

#include "base/platform/WinTypes.h"

// Sets the quit flag with the given exit code and wakes all waiters.
void KvPostQuitMessage(int exitCode = 0);
bool KvIsQuitPosted();
// Clears the flag (a new message loop starts with an empty queue).
void KvResetQuit();
// The exit code of the last posted quit (0 before any).
int KvGetQuitCode();

// Waits up to ms milliseconds (INFINITE allowed) for a quit to be posted.
// True when the flag is set, also when it was set before the call.
bool KvWaitForQuit(DWORD ms);

// The host's handler for fatal errors; null restores the default, which
// posts a quit with exit code 1.
void KvSetFatalHandler(void (*handler)());
void KvFatalExit();
