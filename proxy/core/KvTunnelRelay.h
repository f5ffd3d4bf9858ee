// Relaying a tunnel: bytes in both directions between two connections at
// once, until both sides have ended.
//
// Each direction has its own buffer and moves on its own: the relay polls
// both sockets for what each direction can do now (read while its buffer
// has room, write while it holds bytes), so a side that is slow to read
// never stops the other direction. When one side shuts its sending
// direction, the other side's sending direction is shut as soon as
// everything before the end has gone out, and the opposite direction goes
// on until it ends too (a client that sends its request and shuts down
// still gets the whole answer).
//
// Waits poll the calling thread's wake descriptor too, so a stop request
// ends the relay at once.
#pragma once

#include <cstdint>

class KvComObject;

enum class KvTunnelEnd {
    Closed,    // both directions ended in good order
    Broken,    // a side failed or was reset; both are set to close with a reset
    Idle,      // nothing moved in either direction for the idle time
    Stopped,   // the calling thread was told to stop
};

struct KvTunnelResult {
    KvTunnelEnd end = KvTunnelEnd::Closed;
    int64_t toRemote = 0;  // bytes passed from `client` to `remote`
    int64_t toClient = 0;  // bytes passed from `remote` to `client`
};

// Both connections must be socket connections. Bytes they already hold
// (read behind a head) go first. The connections stay open: the caller
// closes them (a Broken end has armed both for a reset).
KvTunnelResult KvRelayTunnel(KvComObject& client, KvComObject& remote, int idleMs);

const char* KvTunnelEndText(KvTunnelEnd end);
