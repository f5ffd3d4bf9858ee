// Waiting while the (headless) message queue is served.
//
// There is no window message queue here: the only message is the quit
// posted through KvPostQuitMessage (platform/MessageLoop.h).
#pragma once

#include "base/platform/WinTypes.h"

// 0 when a quit is posted (it stays posted), otherwise 1.
int DoEvents();

// Waits ms milliseconds; 0 as soon as a quit is posted (at once when one
// is posted already), 1 when the time passed. The wait blocks on the quit
// flag, so a posted quit ends it without delay; pump is accepted for
// callers that serve a queue and behaves the same.
int Delay(UINT ms, int pump = FALSE);
