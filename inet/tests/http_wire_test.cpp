// HTTP messages over real loopback connections: heads and bodies that
// arrive in pieces, limits on heads, heads that never end, huge lengths,
// bodies delimited by the close, chunked bodies and one-write heads.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/net/KvComObject.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketObj.h"
#include "inet/tests/loopback_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Longer than any read here may take; only keeps a broken one from
// hanging the test.
constexpr int kGuardMs = 20000;

std::string Body(const KvHttpBuffer& m) { return std::string(m.m_bufBody.GetData(), m.m_bufBody.GetCount()); }

// `con` is our side of a loopback connection (a KvComSocketImp), `peer` the
// other end as a plain blocking descriptor that the test writes to.
class HttpWireTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_listener.CreateListeningSocket(0, SOCK_STREAM, "127.0.0.1"));
        ASSERT_TRUE(m_listener.Listen(4));
        CString ip;
        short port = 0;
        ASSERT_TRUE(m_listener.GetSockName(ip, port));
        auto* imp = new KvComSocketImp;
        con.Attach(imp);
        con.SetTimeOut(5000);
        ASSERT_EQ(con.Connect("127.0.0.1", (uint16_t)port), 0);
        ours = imp->GetSocketObj().GetHandle();
        sockaddr addr{};
        for (int i = 0; i < 200 && peer == INVALID_SOCKET; i++) {
            if (!m_listener.Accept(peer, addr)) m_listener.IsDataWaiting(10);
        }
        ASSERT_NE(peer, INVALID_SOCKET);
        fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) & ~O_NONBLOCK);
    }
    void TearDown() override {
        // Shutting down first wakes a writer still blocked in send.
        if (peer != INVALID_SOCKET) shutdown(peer, SHUT_RDWR);
        JoinWriter();
        if (peer != INVALID_SOCKET) close(peer);
    }

    void Write(const std::string& data) {
        ASSERT_EQ(send(peer, data.data(), data.size(), MSG_NOSIGNAL), (ssize_t)data.size());
    }
    // Writes from another thread (for data larger than the socket buffers)
    // and joins on destruction.
    void WriteLater(std::string data) {
        m_writer = std::thread([this, data = std::move(data)] { send(peer, data.data(), data.size(), MSG_NOSIGNAL); });
    }
    // Sends the pieces from another thread, each once the reader has taken
    // every byte before it (so that it meets them one by one), and then,
    // with `closeAfter`, ends the peer's side the same way.
    void SendPieces(std::vector<std::string> pieces, bool closeAfter = false) {
        m_writer = std::thread([this, pieces = std::move(pieces), closeAfter] {
            for (const std::string& piece : pieces) {
                if (!testwait::WaitConsumed(peer, ours)) return;
                send(peer, piece.data(), piece.size(), MSG_NOSIGNAL);
            }
            if (closeAfter && testwait::WaitConsumed(peer, ours)) shutdown(peer, SHUT_WR);
        });
    }
    void JoinWriter() {
        if (m_writer.joinable()) m_writer.join();
    }
    // Runs `receive` (a read of `con`) and waits for it up to the hang
    // guard, the connection's own time-out being longer: true when it
    // returned by itself (otherwise the peer's close ends it).
    bool ReturnsWithinGuard(const std::function<void()>& receive) {
        return testwait::ReturnsWithin(receive, [this] { shutdown(peer, SHUT_RDWR); }, kGuardMs);
    }

    KvComObject con;
    SOCKET ours = INVALID_SOCKET;
    SOCKET peer = INVALID_SOCKET;
    std::thread m_writer;

private:
    KvSocketObj m_listener;
};

}  // namespace

TEST_F(HttpWireTest, HeadAndBodyInThreeSegmentsLeaveTheNextRequestInTheConnection) {
    // The head is cut inside a line, the body inside itself, and the next
    // pipelined request follows the body in the same segment.
    SendPieces({"POST http://h.example/form HTTP/1.1\r\nHo", "st: h.example\r\nContent-Length: 11\r\n\r\nhello",
                " worldGET http://h.example/next HTTP/1.1\r\n\r\n"});
    KvHttpRequest r;
    ASSERT_GT(r.ReceiveHeader(&con), 0);
    EXPECT_STREQ(r.GetHeaderValue("Host"), "h.example");
    EXPECT_EQ(r.GetContentLength(), 11);
    EXPECT_EQ(r.ReceiveBody(&con, 0), 11);
    EXPECT_EQ(Body(r), "hello world");

    KvHttpRequest next;
    ASSERT_GT(next.ReceiveHeader(&con), 0);
    EXPECT_STREQ(next.m_strPath, "/next");
}

TEST_F(HttpWireTest, FiveGigabyteLengthDoesNotWrap) {
    Write("HTTP/1.0 200 OK\r\nContent-Length: 5000000000\r\n\r\nfirst bytes");
    shutdown(peer, SHUT_WR);
    KvHttpResponse m;
    ASSERT_GT(m.ReceiveHeader(&con), 0);
    EXPECT_EQ(m.GetContentLength(), 5000000000LL);
    // The peer stops long before: a short body is an error, not a success.
    EXPECT_EQ(m.ReceiveBody(&con, 0), KV_COM_CLOSED);
    EXPECT_EQ(Body(m), "first bytes");
}

TEST_F(HttpWireTest, LongCookieLinesUpToTheLimitAreIntactBeyondItRefused) {
    std::string cookie(60 * 1024, 'k');
    WriteLater("GET http://h/ HTTP/1.0\r\nCookie: id=" + cookie + "\r\nAccept: */*\r\n\r\n");
    KvHttpRequest ok;
    ASSERT_GT(ok.ReceiveHeader(&con), 0);
    EXPECT_EQ(std::string(ok.GetHeaderValue("Cookie")), "id=" + cookie);
    EXPECT_STREQ(ok.GetHeaderValue("Accept"), "*/*");
    JoinWriter();

    WriteLater("GET http://h/ HTTP/1.0\r\nCookie: id=" + std::string(70 * 1024, 'k') + "\r\n\r\n");
    KvHttpRequest tooLong;
    EXPECT_EQ(tooLong.ReceiveHeader(&con), KV_HTTP_BAD_HEADER);
}

TEST_F(HttpWireTest, HeadBeyondTheLimitIsRefusedWithoutReadingOn) {
    std::string head = "GET http://h/ HTTP/1.0\r\n";
    for (int i = 0; head.size() <= KV_HTTP_MAX_HEAD + 4096; i++) {
        head += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f') + "\r\n";
    }
    con.SetTimeOut(10 * kGuardMs);
    WriteLater(head);  // never ends: the refusal must not wait for the blank line
    KvHttpRequest r;
    int got = 0;
    EXPECT_TRUE(ReturnsWithinGuard([&] { got = r.ReceiveHeader(&con); }));
    EXPECT_EQ(got, KV_HTTP_BAD_HEADER);
}

TEST_F(HttpWireTest, HeadThatNeverEndsFailsWithinTheTimeOut) {
    con.SetTimeOut(300);
    Write("GET http://h/ HTTP/1.0\r\nHost: h\r\n");
    KvHttpRequest r;
    int got = 0;
    auto start = Clock::now();
    EXPECT_TRUE(ReturnsWithinGuard([&] { got = r.ReceiveHeader(&con); }));
    EXPECT_EQ(got, KV_HTTP_BAD_HEADER);
    EXPECT_GE(MsSince(start), 250);  // a time-out never ends early (the slack is the clocks' grain)
}

TEST_F(HttpWireTest, TricklingHeadIsBoundByOneTimeOutNotOnePerByte) {
    con.SetTimeOut(400);
    // A slow client: one byte every 50 ms, well within the time-out each,
    // for as long as the head is read. A time-out per byte would never end.
    std::mutex mx;
    std::condition_variable wake;
    bool stop = false;
    m_writer = std::thread([&] {
        std::string text = "GET http://h/ HTTP/1.0\r\nX: ";
        std::unique_lock<std::mutex> lock(mx);
        for (size_t i = 0; !stop; ++i) {
            const char byte = i < text.size() ? text[i] : 'a';
            send(peer, &byte, 1, MSG_NOSIGNAL);
            wake.wait_for(lock, std::chrono::milliseconds(50), [&] { return stop; });
        }
    });
    KvHttpRequest r;
    int got = 0;
    EXPECT_TRUE(ReturnsWithinGuard([&] { got = r.ReceiveHeader(&con); }));
    EXPECT_EQ(got, KV_HTTP_BAD_HEADER);
    {
        std::lock_guard<std::mutex> lock(mx);
        stop = true;
    }
    wake.notify_all();
    JoinWriter();
    EXPECT_EQ(con.GetTimeOut(), 400);  // the caller's time-out is restored
}

TEST_F(HttpWireTest, IdleConnectionTimesOutAndCloseMidHeadIsNoSuccess) {
    con.SetTimeOut(150);
    KvHttpRequest idle;
    EXPECT_EQ(idle.ReceiveHeader(&con), KV_COM_TIMEOUT);

    Write("GET http://h/ HTTP/1.0\r\nHost: h\r\n");
    shutdown(peer, SHUT_WR);
    KvHttpRequest cut;
    EXPECT_EQ(cut.ReceiveHeader(&con), KV_COM_CLOSED);
}

TEST_F(HttpWireTest, BodyWithoutLengthIsReadUntilClose) {
    Write("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nall of ");
    SendPieces({"this"}, true);
    KvHttpResponse m;
    int64_t n = m.Receive(&con);
    EXPECT_EQ(n, 15 + 24 + 11);
    EXPECT_EQ(Body(m), "all of this");
}

TEST_F(HttpWireTest, ChunkedBodyArrivingInPieces) {
    SendPieces({"POST http://h/up HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nab", "cd\r\n3\r\nefg\r",
                "\n0\r\n\r\n"});
    KvHttpRequest r;
    ASSERT_GT(r.ReceiveHeader(&con), 0);
    ASSERT_TRUE(r.IsChunked());
    EXPECT_EQ(r.ReceiveChunkedBody(&con), 7);
    EXPECT_EQ(Body(r), "abcdefg");
    EXPECT_EQ(r.GetHeaderValue("Transfer-Encoding"), nullptr);
    EXPECT_STREQ(r.GetHeaderValue("Content-Length"), "7");
}

TEST_F(HttpWireTest, ResponseGoesOutWhole) {
    KvHttpResponse m;
    m.m_bufBody.PutString("hello");
    ASSERT_TRUE(m.Finish());
    int64_t sent = m.Send(&con);
    ASSERT_GT(sent, 0);
    std::string got(sent, '\0');
    ASSERT_EQ(recv(peer, got.data(), got.size(), MSG_WAITALL), sent);
    EXPECT_EQ(got.substr(0, 17), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(got.substr(got.size() - 9), "\r\n\r\nhello");
}
