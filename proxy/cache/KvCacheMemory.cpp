#include "proxy/cache/KvCacheMemory.h"

#include "proxy/cache/KvCacheAnswer.h"

KvCacheMemory& KvCacheMemory::Shared() {
    // Never destroyed: stores closed by the cleanup at exit still tell it.
    static KvCacheMemory* front = new KvCacheMemory;
    return *front;
}

std::string KvCacheMemory::Key(const char* host, const char* path) {
    // A host never holds a zero byte, so the key splits one way only.
    std::string key(host ? host : "");
    key.push_back('\0');
    key.append(path ? path : "");
    return key;
}

void KvCacheMemory::SetBudget(size_t bytes) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_budget = bytes;
    TrimLocked();
}

size_t KvCacheMemory::Budget() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_budget;
}

size_t KvCacheMemory::Bytes() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_bytes;
}

size_t KvCacheMemory::Count() const {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_index.size();
}

std::shared_ptr<const KvCacheReady> KvCacheMemory::Find(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mx);
    auto it = m_index.find(key);
    if (it == m_index.end()) return nullptr;
    const std::shared_ptr<const KvCacheReady>& entry = it->second->second;
    // Past its expiry the store would drop it: so does the front, and the
    // store's own look-up then deletes the object.
    if (entry->expires && KvCacheNow() - entry->expired > 1e-10) {
        EraseLocked(it);
        return nullptr;
    }
    m_lru.splice(m_lru.begin(), m_lru, it->second);
    return entry;
}

uint64_t KvCacheMemory::Snapshot(const std::string& key) const {
    std::lock_guard<std::mutex> lock(m_mx);
    return SnapshotLocked(key);
}

bool KvCacheMemory::Offer(const std::string& key, std::shared_ptr<const KvCacheReady> entry, uint64_t snapshot) {
    if (!entry || entry->body.size() > kLargestObject) return false;
    const size_t bytes = entry->Bytes() + key.size();
    std::lock_guard<std::mutex> lock(m_mx);
    if (bytes > m_budget || SnapshotLocked(key) != snapshot) return false;
    auto it = m_index.find(key);
    if (it != m_index.end()) EraseLocked(it);
    m_lru.emplace_front(key, std::move(entry));
    m_index.emplace(key, m_lru.begin());
    m_bytes += bytes;
    TrimLocked();
    return true;
}

void KvCacheMemory::Forget(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mx);
    ++m_changes[Stripe(key)];
    auto it = m_index.find(key);
    if (it != m_index.end()) EraseLocked(it);
}

void KvCacheMemory::ForgetAll() {
    std::lock_guard<std::mutex> lock(m_mx);
    ++m_epoch;
    m_index.clear();
    m_lru.clear();
    m_bytes = 0;
}

void KvCacheMemory::EraseLocked(std::unordered_map<std::string, std::list<Item>::iterator>::iterator it) {
    m_bytes -= it->second->second->Bytes() + it->first.size();
    m_lru.erase(it->second);
    m_index.erase(it);
}

void KvCacheMemory::TrimLocked() {
    while (m_bytes > m_budget && !m_lru.empty()) EraseLocked(m_index.find(m_lru.back().first));
}
