// KvLoginThrottle: failed sign-ins counted per client address, so that a
// script cannot try passwords at full speed.
//
// After kMaxFailures failures from one address within kWindowMs, that
// address is refused for kWindowMs; then it starts afresh, so the real
// member can sign in again a minute later. Failures older than the window
// no longer count. At most kMaxAddresses addresses are remembered (the one
// seen longest ago is forgotten first).
//
// Times are milliseconds of a monotonic clock passed in by the caller.
// Not thread-safe: the owning site serialises its requests.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>

class KvLoginThrottle {
public:
    static constexpr int kMaxFailures = 10;
    static constexpr int64_t kWindowMs = 60 * 1000;
    static constexpr size_t kMaxAddresses = 4096;

    // Whether sign-ins from `address` are refused at `nowMs`.
    bool IsRefused(const std::string& address, int64_t nowMs);
    void RecordFailure(const std::string& address, int64_t nowMs);
    size_t AddressCount() const { return m_failures.size(); }

private:
    struct Entry {
        std::deque<int64_t> failures;  // within the window, newest at the back
        int64_t refusedUntil = 0;
        int64_t lastSeen = 0;
    };
    // Drops what no longer counts; whether anything is left to remember.
    static bool Expire(Entry& entry, int64_t nowMs);
    void Trim(int64_t nowMs);
    std::map<std::string, Entry> m_failures;
};
