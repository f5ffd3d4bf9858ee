// Restoring an answer from the blob form the object store keeps, the body
// decoded straight into the response: whole answers come back byte for
// byte, and a damaged form is a miss that keeps no part of the body.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheCrc.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

// The blob form of an answer with that body, as the store writes it.
std::string Encoded(const std::string& body) {
    KvHttpResponse r;
    MakeAnswer(r, body);
    KvGenBuffer stored, blob;
    EXPECT_EQ(KvCacheSerialize(r, stored), 1);
    EXPECT_TRUE(KvCacheEncodeBlob(stored.GetData(), stored.GetCount(), blob));
    return std::string(blob.GetData(), blob.GetCount());
}

int Restore(const std::string& blob, KvHttpResponse& r) { return KvCacheRestoreEncoded(blob.data(), blob.size(), r); }

}  // namespace

TEST(CacheAnswerTest, BlobFormRestoresBodyWithEscapesAndItsLength) {
    std::string body = "\x01\x01\x02\x00" + std::string(70000, 'z') + "\r\n\r\n\x00";
    body[3] = '\0';
    body.back() = '\x01';
    KvHttpResponse r;
    ASSERT_EQ(Restore(Encoded(body), r), 1);
    EXPECT_EQ(Body(r), body);
    EXPECT_EQ(r.m_nStatus, 200);
    EXPECT_STREQ(r.GetHeaderValue("Content-Type"), "text/html");
    EXPECT_STREQ(r.GetHeaderValue("Content-Length"), std::to_string(body.size()).c_str());
    EXPECT_EQ(r.GetContentLength(), (int64_t)body.size());

    KvHttpResponse empty;
    ASSERT_EQ(Restore(Encoded(""), empty), 1);
    EXPECT_EQ(Body(empty), "");
    EXPECT_STREQ(empty.GetHeaderValue("Content-Length"), "0");
}

TEST(CacheAnswerTest, DamagedBlobFormsAreMissesThatKeepNoBody) {
    const std::string good = Encoded("0123456789\x01");
    const std::string damaged[] = {
        good.substr(0, good.size() - 3),         // cut short
        good + "x",                              // a byte too many
        good.substr(0, good.size() - 1),         // a broken escape at the end
        good.substr(0, good.size() - 2) + std::string(1, '\0') + "x",  // a raw zero byte
        good.substr(0, good.find("\r\n\r\n")),  // no end of head
        "(null) 200 OK\r\nContent-Length: 0\r\n\r\n",
        "HTTP/1.1 200 OK\r\n\nX-Lost: 1\r\nContent-Length: 0\r\n\r\n",  // an empty line inside the head
        "",
    };
    for (const std::string& blob : damaged) {
        KvHttpResponse r;
        r.m_bufBody.PutString("left over", 9);
        EXPECT_EQ(Restore(blob, r), 0) << blob;
        EXPECT_EQ(r.m_bufBody.GetCount(), 0u) << blob;
        EXPECT_TRUE(r.m_strStatus.IsEmpty()) << blob;
    }
    KvHttpResponse r;
    EXPECT_EQ(KvCacheRestoreEncoded(nullptr, 5, r), 0);
}

// Nothing encodes to nothing and back, also into a buffer that has no
// storage yet (both once failed there).
TEST(CacheAnswerTest, EmptyBytesEncodeAndDecodeIntoAFreshBuffer) {
    KvGenBuffer encoded, decoded;
    EXPECT_TRUE(KvCacheEncodeBlob("", 0, encoded));
    EXPECT_TRUE(KvCacheDecodeBlob("", 0, decoded));
    EXPECT_EQ(encoded.GetCount() + decoded.GetCount(), 0u);
}

TEST(CacheAnswerTest, EncodingWhileSerialisingMatchesTheTwoStepFormAndLeavesTheAnswer) {
    std::string body(5000, '\x01');
    body[10] = '\0';
    KvHttpResponse r;
    MakeAnswer(r, body);
    r.SetHeaderValue("Last-Modified", "Sat, 17 Jun 2000 12:00:00 GMT");
    KvGenBuffer direct;
    ASSERT_EQ(KvCacheSerializeEncoded(r, direct), 1);
    KvGenBuffer plain, twoStep;
    ASSERT_EQ(KvCacheSerialize(r, plain), 1);
    ASSERT_TRUE(KvCacheEncodeBlob(plain.GetData(), plain.GetCount(), twoStep));
    EXPECT_EQ(std::string(direct.GetData(), direct.GetCount()), std::string(twoStep.GetData(), twoStep.GetCount()));
    EXPECT_STREQ(r.GetHeaderValue("Last-Modified"), "Sat, 17 Jun 2000 12:00:00 GMT");
    EXPECT_EQ(r.GetHeaderValue("Content-Length"), nullptr);
    EXPECT_EQ(Body(r), body);

    r.SetHeaderValue("Content-Length", body.size() + 1);  // cut short
    KvGenBuffer refused;
    EXPECT_EQ(KvCacheSerializeEncoded(r, refused), 0);
}

// A stored head that repeats "Set-Cookie" 10,000 times between other
// fields: the hit comes back without any of them and with every other
// field in its order. (Removing them once cost a search from the front per
// repeat, 5 s of CPU for such a hit; that it is one walk now is shown in
// the HTTP message tests, and bench/header_bench times it.)
TEST(CacheAnswerTest, HitWhoseStoredHeadRepeatsANameTenThousandTimesLosesEveryRepeat) {
    const int kRepeats = 10000;
    KvHttpResponse origin;
    MakeAnswer(origin, "body");
    for (int i = 0; i < kRepeats; ++i) {
        origin.AddHeaderValue("A", std::to_string(i).c_str());
        origin.AddHeaderValue(i % 2 ? "SET-COOKIE" : "Set-Cookie", "x=1");
    }
    KvGenBuffer blob;
    ASSERT_EQ(KvCacheSerializeEncoded(origin, blob), 1);

    KvHttpResponse hit;
    ASSERT_EQ(KvCacheRestoreEncoded(blob.GetData(), blob.GetCount(), hit), 1);
    ASSERT_EQ(KvCacheServeHeaders(hit, "store"), 1);
    std::vector<std::string> others;
    int nextA = 0;
    bool inOrder = true;
    hit.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (std::string(item->GetKey()) != "A") others.push_back(item->GetKey());
        else inOrder = inOrder && std::to_string(nextA++) == item->GetValue();
    });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(nextA, kRepeats);
    const std::vector<std::string> expected = {"Content-Type", "Date", "Last-Modified", "Content-Length",
                                               "Expires", "CacheName"};
    EXPECT_EQ(others, expected);
    EXPECT_EQ(Body(hit), "body");
}

// Stored forms already carry zlib's CRC-32: the faster sum must give the
// same value for every length, alignment, and sum carried from a piece before.
TEST(CacheAnswerTest, ChecksumMatchesZlibAtEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<unsigned char> data(300000);
    for (unsigned char& c : data) c = (unsigned char)rng();
    for (size_t length = 0; length < 600; ++length) {
        for (size_t at : {size_t(0), size_t(1), size_t(13)}) {
            const uint32_t seed = length % 3 ? 0 : (uint32_t)rng();
            ASSERT_EQ(KvCacheCrc32(seed, data.data() + at, length), crc32_z(seed, data.data() + at, length))
                << length << " at " << at;
        }
    }
    uint32_t pieces = 0;
    for (size_t at = 0; at < data.size(); at += 65537)
        pieces = KvCacheCrc32(pieces, data.data() + at, std::min<size_t>(65537, data.size() - at));
    EXPECT_EQ(pieces, crc32_z(0, data.data(), data.size()));
    EXPECT_EQ(KvCacheChecksum(data.data(), data.size()), pieces);
}

// Plain bytes are decoded in blocks: escapes and damage at every place of
// a block, and across its edge, are found as one byte at a time would.
TEST(CacheAnswerTest, EscapesAndDamageAnywhereInABlockOfTheBody) {
    for (size_t at = 0; at < 40; ++at) {
        std::string body(40, 'x');
        body[at] = (char)(at % 2);  // 00 or 01: each takes an escape
        KvGenBuffer encoded, decoded;
        ASSERT_TRUE(KvCacheEncodeBlob(body.data(), body.size(), encoded));
        ASSERT_TRUE(KvCacheDecodeBlob(encoded.GetData(), encoded.GetCount(), decoded)) << at;
        EXPECT_EQ(std::string(decoded.GetData(), decoded.GetCount()), body) << at;

        std::string zero(40, 'x'), broken(40, 'x');
        zero[at] = '\0';
        broken[at] = '\x01';
        if (at + 1 < broken.size()) broken[at + 1] = '\x03';
        KvGenBuffer out;
        EXPECT_FALSE(KvCacheDecodeBlob(zero.data(), zero.size(), out)) << at;
        EXPECT_FALSE(KvCacheDecodeBlob(broken.data(), broken.size(), out)) << at;
    }
}
