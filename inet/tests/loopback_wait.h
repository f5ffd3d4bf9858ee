// Signals that tests of loopback connections wait on instead of sleeping.
#pragma once

#include <linux/sockios.h>
#include <sys/ioctl.h>

#include "base/tests/test_waits.h"

namespace testwait {

// Waits until every byte written on `writer` has been read from `reader`,
// the two ends of one loopback connection in this process: the writer's
// queue holds nothing unacknowledged and the reader's nothing unread. A
// test sends its next piece after it, so that the reader sees the pieces
// one by one.
inline bool WaitConsumed(int writer, int reader, int timeoutMs = 20000) {
    return WaitUntil(
        [=] {
            int unacknowledged = -1, unread = -1;
            return ioctl(writer, SIOCOUTQ, &unacknowledged) == 0 && ioctl(reader, SIOCINQ, &unread) == 0 &&
                   unacknowledged == 0 && unread == 0;
        },
        timeoutMs);
}

}  // namespace testwait
