// Where bodies end: the framing rules and the chunk follower.
#include <gtest/gtest.h>

#include <memory>
#include <string>


#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvProxyBody.h"

namespace {

const std::string kChunked = "4;name=\"v\"\r\nWiki\r\n5\r\npedia\r\nE\r\n in\r\n\r\nchunks.\r\n0\r\nX-T: 1\r\n\r\n";

// A response with the status line and header lines of `head`, as the
// relay sees it after reading them from the origin.
std::unique_ptr<KvHttpResponse> Response(const std::string& head) {
    auto r = std::make_unique<KvHttpResponse>();
    size_t at = 0;
    bool first = true;
    while (at < head.size()) {
        size_t end = head.find("\r\n", at);
        std::string line = head.substr(at, end - at);
        at = end + 2;
        if (first) r->ParseFirstLineHeader(line.data());
        else r->ParseFieldFromLine(line.data());
        first = false;
    }
    if (const char* length = r->GetHeaderValue("Content-Length")) r->m_nContentLength = std::atoll(length);
    return r;
}

}  // namespace

TEST(ChunkTrackerTest, EndsAfterTheTrailerWhereverTheBytesAreCut) {
    for (size_t cut = 0; cut <= kChunked.size(); ++cut) {
        KvChunkTracker t;
        std::string payload;
        size_t used = t.Feed(kChunked.data(), cut, &payload);
        used += t.Feed(kChunked.data() + cut, kChunked.size() - cut, &payload);
        ASSERT_TRUE(t.IsDone()) << "cut at " << cut;
        EXPECT_EQ(used, kChunked.size());
        EXPECT_EQ(payload, "Wikipedia in\r\n\r\nchunks.");
    }
}

TEST(ChunkTrackerTest, StopsAtTheEndAndLeavesWhatFollows) {
    KvChunkTracker t;
    std::string bytes = "3\r\nabc\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
    EXPECT_EQ(t.Feed(bytes.data(), bytes.size()), bytes.find("HTTP"));
    EXPECT_TRUE(t.IsDone());
}

TEST(ChunkTrackerTest, BrokenFramingIsReported) {
    for (const std::string bad : {"x\r\n", "3\r\nabcX\r\n", "\r\n", "3\rX", "ffffffffffffffffff\r\n"}) {
        KvChunkTracker t;
        t.Feed(bad.data(), bad.size());
        EXPECT_TRUE(t.IsBad()) << bad;
        EXPECT_FALSE(t.IsDone());
    }
    KvChunkTracker longLine;
    std::string ext = "1;" + std::string(100000, 'e');
    longLine.Feed(ext.data(), ext.size());
    EXPECT_TRUE(longLine.IsBad());
}

TEST(ChunkTrackerTest, BareLineFeedsAreAccepted) {
    KvChunkTracker t;
    std::string payload;
    std::string bytes = "2\nhi\n0\n\n";
    EXPECT_EQ(t.Feed(bytes.data(), bytes.size(), &payload), bytes.size());
    EXPECT_TRUE(t.IsDone());
    EXPECT_EQ(payload, "hi");
}

TEST(BodyPlanTest, ResponsesWithoutBodies) {
    for (const char* status : {"100 Continue", "103 Early Hints", "204 No Content", "304 Not Modified"}) {
        auto r = Response(std::string("HTTP/1.1 ") + status + "\r\nContent-Length: 10\r\n");
        EXPECT_EQ(KvResponseBodyPlan(*r, "GET").framing, KvBodyFraming::None) << status;
    }
    EXPECT_EQ(KvResponseBodyPlan(*Response("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n"), "head").framing,
              KvBodyFraming::None);
}

TEST(BodyPlanTest, ChunkedWinsOverLengthAndOtherCodingsRunToClose) {
    auto chunked = Response("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\nContent-Length: 5\r\n");
    EXPECT_EQ(KvResponseBodyPlan(*chunked, "GET").framing, KvBodyFraming::Chunked);
    auto gzip = Response("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n");
    EXPECT_EQ(KvResponseBodyPlan(*gzip, "GET").framing, KvBodyFraming::UntilClose);
    auto zero = Response("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n");
    KvBodyPlan plan = KvResponseBodyPlan(*zero, "GET");
    EXPECT_EQ(plan.framing, KvBodyFraming::Length);
    EXPECT_EQ(plan.length, 0);
    auto big = Response("HTTP/1.1 200 OK\r\nContent-Length: 6000000000\r\n");
    EXPECT_EQ(KvResponseBodyPlan(*big, "GET").length, 6000000000LL);
    EXPECT_EQ(KvResponseBodyPlan(*Response("HTTP/1.0 200 OK\r\n"), "GET").framing, KvBodyFraming::UntilClose);
}

TEST(BodyPlanTest, RequestBodies) {
    KvHttpRequest get;
    EXPECT_EQ(KvRequestBodyPlan(get).framing, KvBodyFraming::None);
    KvHttpRequest post;
    post.AddHeaderValue("Transfer-Encoding", "chunked");
    EXPECT_EQ(KvRequestBodyPlan(post).framing, KvBodyFraming::Chunked);
}

TEST(CacheCopyBudgetTest, SharesNeverExceedTheLimitAndAreGivenBack) {
    const size_t saved = KvCacheCopyBudget::Limit();
    KvCacheCopyBudget::SetLimit(100);
    {
        KvCopyReservation a, b;
        EXPECT_TRUE(a.GrowTo(60));
        EXPECT_TRUE(a.GrowTo(40));  // a share never shrinks by growing
        EXPECT_FALSE(b.GrowTo(41));
        EXPECT_EQ(b.Reserved(), 0u);
        EXPECT_TRUE(b.GrowTo(40));
        EXPECT_EQ(KvCacheCopyBudget::InUse(), 100u);
        a.Release();
        EXPECT_TRUE(b.GrowTo(100));
    }
    EXPECT_EQ(KvCacheCopyBudget::InUse(), 0u);
    KvCacheCopyBudget::SetLimit(saved);
}
