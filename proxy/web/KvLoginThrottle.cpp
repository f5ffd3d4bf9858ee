// Failed sign-ins per client address.
#include "proxy/web/KvLoginThrottle.h"

bool KvLoginThrottle::Expire(Entry& entry, int64_t nowMs) {
    while (!entry.failures.empty() && nowMs - entry.failures.front() >= kWindowMs) entry.failures.pop_front();
    return !entry.failures.empty() || nowMs < entry.refusedUntil;
}

bool KvLoginThrottle::IsRefused(const std::string& address, int64_t nowMs) {
    auto it = m_failures.find(address);
    if (it == m_failures.end()) return false;
    if (!Expire(it->second, nowMs)) {
        m_failures.erase(it);
        return false;
    }
    return nowMs < it->second.refusedUntil;
}

void KvLoginThrottle::RecordFailure(const std::string& address, int64_t nowMs) {
    Entry& entry = m_failures[address];
    Expire(entry, nowMs);
    entry.lastSeen = nowMs;
    entry.failures.push_back(nowMs);
    if ((int)entry.failures.size() >= kMaxFailures) {
        entry.refusedUntil = nowMs + kWindowMs;
        entry.failures.clear();
    }
    if (m_failures.size() > kMaxAddresses) Trim(nowMs);
}

void KvLoginThrottle::Trim(int64_t nowMs) {
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        it = Expire(it->second, nowMs) ? std::next(it) : m_failures.erase(it);
    }
    while (m_failures.size() > kMaxAddresses) {
        auto oldest = m_failures.begin();
        for (auto it = m_failures.begin(); it != m_failures.end(); ++it) {
            if (it->second.lastSeen < oldest->second.lastSeen) oldest = it;
        }
        m_failures.erase(oldest);
    }
}
