#include "proxy/repo/KvLinkCard.h"

#include <atomic>

#include "base/thread/KvCleanupMgr.h"

IMPLEMENT_DYNCREATE(KvLinkCardList, KvObjectArray)
IMPLEMENT_DYNAMIC(KvLinkCard, KvObject)

namespace {

KvCriticalObj g_instanceLock;
std::atomic<KvLinkCard*> g_instance{nullptr};

}  // namespace

int KvLinkCardList::Add(KvObject* p) {
    if (IsFull()) return -1;
    return KvObjectArray::Add(p);
}

KvLinkCard::~KvLinkCard() { m_map.RemoveAll(true); }

KvLinkCard* KvLinkCard::GetInstance() {
    if (KvLinkCard* card = g_instance.load(std::memory_order_acquire)) return card;
    KvCriticalLock lock(g_instanceLock);
    if (!g_instance.load(std::memory_order_relaxed)) {
        g_instance.store(new KvLinkCard, std::memory_order_release);
        KvCleanupMgr::Register(&KvLinkCard::DestroyInstance);
    }
    return g_instance.load(std::memory_order_relaxed);
}

void KvLinkCard::DestroyInstance() {
    KvCriticalLock lock(g_instanceLock);
    delete g_instance.exchange(nullptr);
}

KvLinkCardList* KvLinkCard::Get(const char* key) {
    KvCriticalLock lock(m_cs);
    if (!key) key = "";
    KvObject* found = nullptr;
    if (!m_map.Lookup(key, found) && m_map.GetCount() >= KV_LINKCARD_MAX_KEYS) DropLeastRecentlyUsed();
    KvObject*& slot = m_map[key];
    if (!slot) slot = new KvLinkCardList;
    auto* list = static_cast<KvLinkCardList*>(slot);
    list->m_nLastUse = ++m_nUseCounter;
    return list;
}

int KvLinkCard::GetKeyCount() {
    KvCriticalLock lock(m_cs);
    return m_map.GetCount();
}

// A linear pass over at most KV_LINKCARD_MAX_KEYS entries, paid only when a
// new client arrives at a full card.
void KvLinkCard::DropLeastRecentlyUsed() {
    CString oldestKey;
    uint64_t oldest = UINT64_MAX;
    POSITION pos = m_map.GetStartPosition();
    while (pos) {
        CString key;
        KvObject* value = nullptr;
        m_map.GetNextAssoc(pos, key, value);
        uint64_t use = value ? static_cast<KvLinkCardList*>(value)->m_nLastUse : 0;
        if (use < oldest) {
            oldest = use;
            oldestKey = key;
        }
    }
    if (oldest != UINT64_MAX) m_map.RemoveKey(oldestKey);
}
