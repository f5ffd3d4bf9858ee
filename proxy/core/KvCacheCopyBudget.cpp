#include "proxy/core/KvCacheCopyBudget.h"

#include "proxy/core/KvConfigKeys.h"

namespace {

std::atomic<size_t> g_limit{(size_t)KvConfigDefaultInt("Proxy", "CacheCopyBudget") << 20};
std::atomic<size_t> g_inUse{0};

}  // namespace

void KvCacheCopyBudget::SetLimit(size_t bytes) { g_limit.store(bytes); }

size_t KvCacheCopyBudget::Limit() { return g_limit.load(); }

size_t KvCacheCopyBudget::InUse() { return g_inUse.load(); }

bool KvCacheCopyBudget::TryReserve(size_t n) {
    size_t used = g_inUse.load();
    do {
        if (n > g_limit.load() || used > g_limit.load() - n) return false;
    } while (!g_inUse.compare_exchange_weak(used, used + n));
    return true;
}

void KvCacheCopyBudget::Release(size_t n) { g_inUse.fetch_sub(n); }

bool KvCopyReservation::GrowTo(size_t total) {
    if (total <= m_nReserved) return true;
    if (!KvCacheCopyBudget::TryReserve(total - m_nReserved)) return false;
    m_nReserved = total;
    return true;
}

void KvCopyReservation::Release() {
    if (m_nReserved) KvCacheCopyBudget::Release(m_nReserved);
    m_nReserved = 0;
}

size_t KvStoredFormReserve(size_t bodyBytes) { return bodyBytes + bodyBytes / 64 + (64u << 10); }
