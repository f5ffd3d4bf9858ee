// KvLinkCard: the link clipboard shared by every local site of the process.
//
// A map from a key to a list of records (usually copies of KvLinkItem).
// Callers pass the client's address as the key ("127.0.0.1"), so one
// client machine has one clipboard, whichever site it copies from and
// pastes into. Nothing else keys it: a list copied under a session id
// could never be found from another site.
//
// Bounds, so that no client can grow the process without limit:
//   - a list holds at most KV_LINKCARD_MAX_LINKS records; its Add refuses
//     further records (answers -1, the caller keeps the record) and the
//     caller tells the user;
//   - the card holds at most KV_LINKCARD_MAX_KEYS keys; Get of a new key on
//     a full card drops the least recently used key and its list.
//
// Threads: callers hold the card's lock (Lock/Unlock) for as long as they
// use a list; Get takes it too. A list pointer is valid while the caller
// holds the lock (a later Get of another, new key may drop a list that was
// not used for longest, never the one used last).
#pragma once

#include <cstdint>

#include "base/containers/KvMap.h"
#include "base/containers/KvObjectArray.h"
#include "base/thread/KvCriticalObj.h"

constexpr int KV_LINKCARD_MAX_LINKS = 10000;
constexpr int KV_LINKCARD_MAX_KEYS = 1000;

// One clipboard. Records are added through Add only, which keeps the bound;
// the array's other growing members are hidden.
class KvLinkCardList : public KvObjectArray {
    DECLARE_DYNCREATE(KvLinkCardList)
public:
    KvLinkCardList() = default;

    // The index of the new record, or -1 when the list is full (or cannot
    // grow): the caller keeps p then.
    int Add(KvObject* p);
    bool IsFull() const { return GetSize() >= KV_LINKCARD_MAX_LINKS; }

    // When the card last handed this list out (a use counter, not a time).
    uint64_t m_nLastUse = 0;

private:
    using KvObjectArray::Append;
    using KvObjectArray::InsertAt;
    using KvObjectArray::SetAtGrow;
    using KvObjectArray::SetSize;
};

class KvLinkCard : public KvObject {
    DECLARE_DYNAMIC(KvLinkCard)
public:
    KvLinkCard() = default;
    ~KvLinkCard() override;
    KvLinkCard(const KvLinkCard&) = delete;
    KvLinkCard& operator=(const KvLinkCard&) = delete;

    // The process-wide card, made on first use (its destruction is
    // registered with KvCleanupMgr).
    static KvLinkCard* GetInstance();
    static void DestroyInstance();

    void Lock() { m_cs.Lock(); }
    void Unlock() { m_cs.Unlock(); }

    // The list stored under key (the client's address), made empty when
    // there is none. Never null.
    KvLinkCardList* Get(const char* key);
    int GetKeyCount();

private:
    void DropLeastRecentlyUsed();

    KvCriticalObj m_cs;
    KvMapStringToObject m_map{10};
    uint64_t m_nUseCounter = 0;
};
