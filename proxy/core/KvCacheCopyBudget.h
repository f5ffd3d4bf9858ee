// The memory that copies of answers for the cache may take, all exchanges
// together.
//
// While an answer is relayed the proxy keeps a copy of its body for the
// cache, and storing it makes one more (the stored form). Many large
// downloads at once would each hold such copies; the budget bounds them
// together ([Proxy] CacheCopyBudget). An exchange reserves its share before
// its copy grows; when the budget has no room, the answer is relayed
// without a copy (or its copy is dropped) and not stored.
//
// Any thread may reserve and release; the count is one atomic.
#pragma once

#include <atomic>
#include <cstddef>

class KvCacheCopyBudget {
public:
    // The limit in bytes (0: no copy is ever kept).
    static void SetLimit(size_t bytes);
    static size_t Limit();
    // Bytes reserved by all exchanges.
    static size_t InUse();
    // Reserves n bytes when they fit under the limit: false (nothing
    // reserved) when they do not.
    static bool TryReserve(size_t n);
    static void Release(size_t n);
};

// One exchange's share of the budget, given back when it ends. Used by
// one thread.
class KvCopyReservation {
public:
    KvCopyReservation() = default;
    ~KvCopyReservation() { Release(); }
    KvCopyReservation(const KvCopyReservation&) = delete;
    KvCopyReservation& operator=(const KvCopyReservation&) = delete;

    // Makes the share at least `total` bytes; false (the share as it was)
    // when the budget has no room.
    bool GrowTo(size_t total);
    void Release();
    size_t Reserved() const { return m_nReserved; }

private:
    size_t m_nReserved = 0;
};

// The bytes the stored form of a body of `bodyBytes` takes beside the copy
// (its escapes and the head included).
size_t KvStoredFormReserve(size_t bodyBytes);
