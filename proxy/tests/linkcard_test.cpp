// The link clipboard: one list per client address, bounded in links per
// list and in lists per card.
#include <gtest/gtest.h>

#include <string>

#include "base/thread/KvCleanupMgr.h"
#include "proxy/repo/KvLinkCard.h"

namespace {

TEST(LinkCardTest, SameAddressSameListAcrossCallsAndSingleton) {
    KvLinkCard* card = KvLinkCard::GetInstance();
    EXPECT_EQ(card, KvLinkCard::GetInstance());
    card->Lock();
    KvLinkCardList* list = card->Get("10.0.0.1");
    EXPECT_EQ(list->Add(new KvObject), 0);
    EXPECT_EQ(card->Get("10.0.0.1"), list);
    EXPECT_NE(card->Get("10.0.0.2"), list);
    EXPECT_EQ(card->Get("10.0.0.1")->GetSize(), 1);
    card->Unlock();
    KvCleanupMgr::DestroyInstance();
    EXPECT_NE(KvLinkCard::GetInstance()->Get("10.0.0.1"), nullptr);
    KvCleanupMgr::DestroyInstance();
}

TEST(LinkCardTest, ListRefusesLinksBeyondItsBound) {
    KvLinkCard card;
    KvLinkCardList* list = card.Get("127.0.0.1");
    for (int i = 0; i < KV_LINKCARD_MAX_LINKS; ++i) ASSERT_EQ(list->Add(new KvObject), i);
    EXPECT_TRUE(list->IsFull());
    KvObject* refused = new KvObject;
    EXPECT_EQ(list->Add(refused), -1);  // still ours
    delete refused;
    EXPECT_EQ(list->GetSize(), KV_LINKCARD_MAX_LINKS);
}

TEST(LinkCardTest, FullCardDropsTheLeastRecentlyUsedKey) {
    KvLinkCard card;
    for (int i = 0; i < KV_LINKCARD_MAX_KEYS; ++i) card.Get(("10.1." + std::to_string(i)).c_str())->Add(new KvObject);
    card.Get("10.1.0");  // used again: now the most recent
    card.Get("192.168.0.1");
    EXPECT_EQ(card.GetKeyCount(), KV_LINKCARD_MAX_KEYS);
    EXPECT_EQ(card.Get("10.1.0")->GetSize(), 1);
    // 10.1.1 was least recently used and is gone: its list starts empty.
    EXPECT_EQ(card.Get("10.1.1")->GetSize(), 0);
    EXPECT_EQ(card.Get("10.1.2")->GetSize(), 0);  // dropped for 10.1.1
    EXPECT_EQ(card.Get("10.1.999")->GetSize(), 1);
}

}  // namespace
