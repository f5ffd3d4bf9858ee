// The memory front of the cache: its byte budget, the keys the stores drop
// when they change, answers read from a store while it changed, expiry;
// and the large answers sent in pieces from the cache file.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "ext/KvSqLite/KvSqLite.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheBodyStream.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheMemory.h"
#include "proxy/cache/KvCacheMgr.h"
#include "proxy/cache/KvCacheReady.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

std::shared_ptr<const KvCacheReady> Ready(size_t bodyBytes, bool expires = false, double expiredInDays = 1) {
    KvHttpResponse r;
    MakeAnswer(r, std::string(bodyBytes, 'x'));
    EXPECT_TRUE(KvCacheServeHeaders(r, "vcache"));
    KvTime expired = KvCacheNow();
    expired += expiredInDays;
    return KvCacheMakeReady(r, expires, expired);
}

}  // namespace

TEST(CacheMemoryTest, BudgetHoldsAndTheLeastRecentlyUsedGoFirst) {
    KvCacheMemory front;
    const size_t each = Ready(100 * 1024)->Bytes();
    front.SetBudget(3 * each + 3 * 16);
    for (const char* key : {"a", "b", "c"}) EXPECT_TRUE(front.Offer(key, Ready(100 * 1024), front.Snapshot(key)));
    ASSERT_NE(front.Find("a"), nullptr);  // "b" is now the least recently used
    EXPECT_TRUE(front.Offer("d", Ready(100 * 1024), front.Snapshot("d")));
    EXPECT_EQ(front.Find("b"), nullptr);
    EXPECT_NE(front.Find("a"), nullptr);
    EXPECT_LE(front.Bytes(), front.Budget());
    // A smaller budget drops entries at once; one entry over the budget,
    // or over the largest object kept, is never taken in.
    front.SetBudget(each + 16);
    EXPECT_EQ(front.Count(), 1u);
    EXPECT_LE(front.Bytes(), front.Budget());
    EXPECT_FALSE(front.Offer("e", Ready(200 * 1024), front.Snapshot("e")));
    front.SetBudget(64u << 20);
    EXPECT_FALSE(front.Offer("f", Ready(KvCacheMemory::kLargestObject + 1), front.Snapshot("f")));
}

TEST(CacheMemoryTest, AReadOverlappingAChangeIsNotTakenInAndExpiredEntriesMiss) {
    KvCacheMemory front;
    front.SetBudget(1u << 20);
    uint64_t snapshot = front.Snapshot("k");
    front.Forget("k");  // a store changed the key while it was read
    EXPECT_FALSE(front.Offer("k", Ready(10), snapshot));
    snapshot = front.Snapshot("k");
    front.ForgetAll();
    EXPECT_FALSE(front.Offer("k", Ready(10), snapshot));
    ASSERT_TRUE(front.Offer("k", Ready(10), front.Snapshot("k")));
    front.Forget("k");
    EXPECT_EQ(front.Find("k"), nullptr);

    ASSERT_TRUE(front.Offer("old", Ready(10, true, -1.0 / 24), front.Snapshot("old")));
    EXPECT_EQ(front.Find("old"), nullptr);
    EXPECT_EQ(front.Count(), 0u);
}

TEST(CacheMemoryTest, ReadyHeadGetsTheTimesOfEachSend) {
    KvHttpResponse r;
    MakeAnswer(r, "body", "image/png");
    ASSERT_TRUE(KvCacheServeHeaders(r, "vcache"));
    KvGenBuffer composed;
    ASSERT_GT(r.ComposeHeader(&composed), 0);
    auto ready = KvCacheMakeReady(r, false, KvTime());
    ASSERT_NE(ready, nullptr);
    std::string head;
    ASSERT_TRUE(ready->ComposeHead(head));
    // Same bytes as the message writes, and an image expires a day ahead.
    ASSERT_EQ(head.size(), composed.GetCount());
    ASSERT_EQ(ready->slots.size(), 3u);
    EXPECT_EQ(ready->slots[2].offsetSeconds, 24 * 60 * 60);
    std::string expected(composed.GetData(), composed.GetCount());
    for (const auto& slot : ready->slots) expected.replace(slot.at, 29, head, slot.at, 29);
    EXPECT_EQ(head, expected);
    EXPECT_EQ(ready->body, "body");
}

TEST(CacheMemoryTest, StoresDropTheKeysTheyChange) {
    TempDir dir;
    KvCacheDB db;
    ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1);
    KvCacheMemory& front = KvCacheMemory::Shared();
    front.SetBudget(1u << 20);
    const std::string key = KvCacheMemory::Key("a.org", "/x");
    KvHttpResponse r;
    MakeAnswer(r, "one");
    auto keep = [&] { ASSERT_TRUE(front.Offer(key, Ready(3), front.Snapshot(key))); };
    keep();
    ASSERT_EQ(db.AddCache("A.org", "/x", &r), 1);
    EXPECT_EQ(front.Find(key), nullptr);
    keep();
    ASSERT_EQ(db.DeleteCache("a.org", "/x"), 1);
    EXPECT_EQ(front.Find(key), nullptr);
    keep();
    ASSERT_EQ(db.AddCache("a.org", "/x", &r), 1);
    ASSERT_EQ(db.DeleteAllCacheByHost("a.org"), 1);
    EXPECT_EQ(front.Find(key), nullptr);
    // Looking into a store read-only (the cache pages do) changes nothing.
    keep();
    {
        KvCacheDB reader;
        reader.SetReadOnly(TRUE);
        ASSERT_EQ(reader.Open(dir.Path().c_str(), "vcache"), 1);
    }
    EXPECT_NE(front.Find(key), nullptr);
    front.SetBudget(0);
}

TEST(CacheMemoryTest, DeletingOneUrlOfANamedStoreKeepsTheRestOfTheFront) {
    TempDir dir;
    KvCacheMgr::SetCacheSettings(dir.Path().c_str(), 7);
    KvHttpResponse r;
    MakeAnswer(r, "one");
    ASSERT_EQ(KvCacheMgr::GetInstance()->AddCache("a.org", "/x", &r), 1);  // the manager's vcache is open
    KvCacheMemory& front = KvCacheMemory::Shared();
    front.SetBudget(1u << 20);
    const std::string other = KvCacheMemory::Key("b.org", "/y"), gone = KvCacheMemory::Key("a.org", "/x");
    for (const std::string& key : {other, gone}) ASSERT_TRUE(front.Offer(key, Ready(3), front.Snapshot(key)));

    EXPECT_EQ(OpenAndDeleteCacheObject("vcache", "http://A.org/x"), 1);
    EXPECT_EQ(front.Find(gone), nullptr);
    EXPECT_NE(front.Find(other), nullptr);
    KvHttpRequest request;
    EXPECT_EQ(KvCacheMgr::GetInstance()->GetCache("a.org", "/x", &request, &r), 0);
    // A store that is not there is not made for a deletion.
    EXPECT_EQ(KvCacheMgr::GetInstance()->DeleteFromStore("nosuch", "a.org", "/x"), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("nosuch.cdx")));
    front.SetBudget(0);
    KvCacheMgr::DestroyInstance();
}

TEST(CacheMemoryTest, LargeAnswerComesInPiecesAndADamagedOneIsAMiss) {
    TempDir dir;
    KvCacheDB db;
    ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1);
    // Bytes that need escapes everywhere, so escapes fall across pieces.
    std::string body(3 * KvCacheBodyStream::kPiece * 8 + 7, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = (char)((i * 7 + i / 3) % 5);
    KvHttpResponse r;
    MakeAnswer(r, body, "application/octet-stream");
    ASSERT_EQ(db.AddCache("a.org", "/big", &r), 1);

    KvHttpRequest q;
    MakeRequest(q, "http://a.org/big");
    KvHttpResponse served;
    KvCacheHit hit;
    hit.streamFrom = 1u << 20;
    ASSERT_EQ(db.GetCacheForRequest("a.org", "/big", &q, &served, &hit), 1);
    ASSERT_NE(hit.stream, nullptr);
    EXPECT_EQ(served.m_bufBody.GetCount(), 0u);
    EXPECT_EQ(served.GetContentLength(), (int64_t)body.size());
    EXPECT_EQ(CountHeader(served, "Set-Cookie"), 0);
    std::string sent;
    std::string_view piece;
    while (hit.stream->Next(piece)) {
        EXPECT_LE(piece.size(), KvCacheBodyStream::kPiece);
        sent.append(piece);
    }
    EXPECT_FALSE(hit.stream->Failed());
    EXPECT_TRUE(sent == body);
    hit.stream.reset();

    KvSqlDB raw;
    ASSERT_TRUE(raw.Open(dir.File("vcache.cdt").c_str()));
    ASSERT_EQ(raw.Execute("update cache_content set obj_crc = obj_crc + 1;"), 1);
    KvCacheHit damaged;
    damaged.streamFrom = 1u << 20;
    EXPECT_EQ(db.GetCacheForRequest("a.org", "/big", &q, &served, &damaged), 0);
    EXPECT_EQ(damaged.stream, nullptr);
    EXPECT_EQ(db.FindObjectId("a.org", "/big"), 0);  // dropped
}
