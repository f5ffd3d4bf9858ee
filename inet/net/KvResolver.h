// Name look-ups that a stop request cuts short.
//
// The system's look-up blocks in the C library for as long as the name
// servers take, and nothing can interrupt it. A name is therefore looked up
// on a helper thread of its own while the caller waits with poll on the
// helper's completion descriptor and its own thread's wake descriptor: a
// stop request (or the deadline) ends the caller's wait at once, and the
// helper, left alone, frees what it found when the library returns.
// Numeric addresses ("192.0.2.1", "::1", "[::1]") need no helper.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <vector>

struct KvResolvedAddress {
    sockaddr_storage addr{};
    socklen_t length = 0;
    int family = 0;
};

enum class KvResolveStatus {
    Found,
    NotFound,  // the name has no address (or the look-up failed)
    TimedOut,  // the deadline passed first
    Stopped,   // the calling thread was told to stop
};

// The addresses of `host` (a name, a dotted IPv4 number, an IPv6 address
// with or without brackets) for a stream socket to `port`, of any family,
// in the order the system prefers. `deadlineMs` and `watchStop` as in
// KvSocketWait.h (a thread's start-up, which runs before its stop flag is
// raised, resolves with watchStop false).
KvResolveStatus KvResolveHost(const char* host, unsigned port, std::vector<KvResolvedAddress>& out,
                              int64_t deadlineMs, bool watchStop = true);

// The look-up the helper runs: fills `out` and returns true when found.
// Tests put one in that never finishes, or answers from a table.
using KvResolverFunction = bool (*)(const char* host, unsigned port, std::vector<KvResolvedAddress>& out);
// Null puts the system's look-up back. Returns the one replaced.
KvResolverFunction KvSetResolverFunction(KvResolverFunction fn);
