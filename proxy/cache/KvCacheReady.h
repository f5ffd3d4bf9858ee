// KvCacheReady: a cached answer kept ready to send: its head exactly as the
// browser gets it and its body, so a hit costs no decoding and no parsing.
// The only parts that change from one hit to the next are the times the
// cache writes into a served answer ("Date", "Last-Modified", "Expires"):
// the head keeps a slot for each, filled when it is sent.
//
// Immutable once made and shared (std::shared_ptr<const KvCacheReady>) by
// every thread that sends it; nothing in it is copied per hit but the head.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/time/KvTime.h"

class KvHttpResponse;

struct KvCacheReady {
    struct TimeSlot {
        size_t at = 0;           // offset of the value in head
        int offsetSeconds = 0;   // the value is now plus this
    };
    std::string head;            // status line, headers, blank line
    std::vector<TimeSlot> slots;
    std::string body;
    int status = 0;
    bool expires = false;        // a lookup past `expired` is a miss
    KvTime expired;

    // What the entry costs in memory (its bytes and its bookkeeping).
    size_t Bytes() const;
    // The head with the current times written into its slots, appended to
    // out. False when a time no longer fits its slot (the entry is then of
    // no use and the answer is taken from the store).
    bool ComposeHead(std::string& out) const;
};

// The entry for an answer whose head is as the cache serves it (times set
// by KvCacheServeHeaders, connection headers as they go out); null when
// its time headers cannot be found in slot form.
std::shared_ptr<const KvCacheReady> KvCacheMakeReady(KvHttpResponse& response, bool expires, const KvTime& expired);
