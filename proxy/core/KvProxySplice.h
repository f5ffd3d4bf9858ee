// Moving a body between two sockets inside the kernel (splice through a
// pipe), for bodies of which no copy is kept.
//
// Bytes the source connection already holds in its receive buffer go
// first, through user space; from then on the data never enters the
// process. Waits poll the socket and the calling thread's wake descriptor,
// so a stop request ends the move at once.
#pragma once

#include <cstdint>

class KvComObject;

enum class KvSpliceResult {
    Done,          // `limit` bytes went through
    SourceEnded,   // the source closed in good order
    SourceFailed,  // the source connection broke (reset)
    TimedOut,      // the source stayed silent for its receive time-out
    Stopped,       // the calling thread was told to stop
    SinkFailed,    // the receiver is gone or took nothing within its time-out
    Unavailable,   // nothing moved: the connections cannot be spliced here
};

// Moves up to `limit` bytes (-1: until the source closes) from `from` to
// `to`; `moved` receives the count passed on, whatever the result.
KvSpliceResult KvSpliceBody(KvComObject& from, KvComObject& to, int64_t limit, int64_t& moved);
