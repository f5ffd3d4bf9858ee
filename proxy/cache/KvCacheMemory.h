// KvCacheMemory: the in-memory front of the cache: answers recently served
// or stored, kept ready to send (KvCacheReady), least recently used first
// out, within a budget of bytes ([Proxy] MemoryCache).
//
// It never serves what the stores would not: every store, replacement or
// deletion in a store drops the key here at once (Forget, called by the
// stores themselves), an entry past its expiry is a miss, and an entry read
// from a store while that key changed is never taken in: a reader takes a
// Snapshot before it reads and Offer refuses the entry when the key was
// forgotten since. The stores stay the truth; the front starts empty.
//
// Keys are the stores' keys: host (lower case, ":port" when not 80) and
// path. Objects larger than kLargestObject are not kept.
//
// Threads: every operation may be called from any thread; one lock guards
// the table, and entries are shared, never copied.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "proxy/cache/KvCacheReady.h"

class KvCacheMemory {
public:
    static constexpr size_t kLargestObject = 1u << 20;

    // The process-wide front the stores and the proxy share.
    static KvCacheMemory& Shared();
    static std::string Key(const char* host, const char* path);

    // 0 turns the front off; a smaller budget drops entries at once.
    void SetBudget(size_t bytes);
    size_t Budget() const;
    size_t Bytes() const;
    size_t Count() const;

    // The entry, made most recently used; null when absent or expired (an
    // expired one is dropped).
    std::shared_ptr<const KvCacheReady> Find(const std::string& key);
    // Taken before the key is read from a store, given to Offer after.
    uint64_t Snapshot(const std::string& key) const;
    // Keeps the entry unless the key changed since the snapshot or the
    // entry does not fit; true when kept.
    bool Offer(const std::string& key, std::shared_ptr<const KvCacheReady> entry, uint64_t snapshot);
    void Forget(const std::string& key);
    void ForgetAll();

private:
    using Item = std::pair<std::string, std::shared_ptr<const KvCacheReady>>;
    static constexpr size_t kStripes = 64;

    size_t Stripe(const std::string& key) const { return std::hash<std::string>{}(key) % kStripes; }
    uint64_t SnapshotLocked(const std::string& key) const { return m_epoch + m_changes[Stripe(key)]; }
    void EraseLocked(std::unordered_map<std::string, std::list<Item>::iterator>::iterator it);
    void TrimLocked();

    mutable std::mutex m_mx;
    std::list<Item> m_lru;  // most recently used first
    std::unordered_map<std::string, std::list<Item>::iterator> m_index;
    // Changes counted per key stripe and for the whole front: a snapshot
    // is their sum, which only grows.
    std::array<uint64_t, kStripes> m_changes{};
    uint64_t m_epoch = 0;
    size_t m_bytes = 0;
    size_t m_budget = 0;
};
