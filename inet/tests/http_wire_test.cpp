// HTTP messages over real loopback connections: heads and bodies that
// arrive in pieces, limits on heads, heads that never end, huge lengths,
// bodies delimited by the close, chunked bodies and one-write heads.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "inet/net/KvComObject.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "inet/net/KvSocketObj.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

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
    // Writes from another thread (for data larger than the socket buffers
    // or arriving over time) and joins on destruction.
    void WriteLater(std::string data, int delayMs = 0) {
        m_writer = std::thread([this, data = std::move(data), delayMs] {
            if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            send(peer, data.data(), data.size(), MSG_NOSIGNAL);
        });
    }
    void JoinWriter() {
        if (m_writer.joinable()) m_writer.join();
    }

    KvComObject con;
    SOCKET peer = INVALID_SOCKET;
    std::thread m_writer;

private:
    KvSocketObj m_listener;
};

}  // namespace

TEST_F(HttpWireTest, HeadAndBodyInThreeSegmentsLeaveTheNextRequestInTheConnection) {
    // The head is cut inside a line, the body inside itself, and the next
    // pipelined request follows the body in the same segment.
    m_writer = std::thread([this] {
        send(peer, "POST http://h.example/form HTTP/1.1\r\nHo", 39, MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        send(peer, "st: h.example\r\nContent-Length: 11\r\n\r\nhello", 42, MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const char tail[] = " worldGET http://h.example/next HTTP/1.1\r\n\r\n";
        send(peer, tail, sizeof(tail) - 1, MSG_NOSIGNAL);
    });
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
    WriteLater(head);  // never ends: the refusal must not wait for the blank line
    KvHttpRequest r;
    auto start = Clock::now();
    EXPECT_EQ(r.ReceiveHeader(&con), KV_HTTP_BAD_HEADER);
    EXPECT_LT(MsSince(start), 2000);
}

TEST_F(HttpWireTest, HeadThatNeverEndsFailsWithinTheTimeOut) {
    con.SetTimeOut(300);
    Write("GET http://h/ HTTP/1.0\r\nHost: h\r\n");
    KvHttpRequest r;
    auto start = Clock::now();
    EXPECT_EQ(r.ReceiveHeader(&con), KV_HTTP_BAD_HEADER);
    EXPECT_GE(MsSince(start), 250);
    EXPECT_LT(MsSince(start), 2000);
}

TEST_F(HttpWireTest, TricklingHeadIsBoundByOneTimeOutNotOnePerByte) {
    con.SetTimeOut(400);
    std::atomic<bool> stop{false};
    m_writer = std::thread([this, &stop] {
        const char* text = "GET http://h/ HTTP/1.0\r\nX: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
        for (const char* p = text; *p && !stop; ++p) {
            send(peer, p, 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    KvHttpRequest r;
    auto start = Clock::now();
    EXPECT_EQ(r.ReceiveHeader(&con), KV_HTTP_BAD_HEADER);
    EXPECT_LT(MsSince(start), 1200);
    stop = true;
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
    WriteLater("this", 30);
    std::thread closer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        shutdown(peer, SHUT_WR);
    });
    KvHttpResponse m;
    int64_t n = m.Receive(&con);
    closer.join();
    EXPECT_EQ(n, 15 + 24 + 11);
    EXPECT_EQ(Body(m), "all of this");
}

TEST_F(HttpWireTest, ChunkedBodyArrivingInPieces) {
    m_writer = std::thread([this] {
        const char* parts[] = {"POST http://h/up HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nab",
                               "cd\r\n3\r\nefg\r", "\n0\r\n\r\n"};
        for (const char* p : parts) {
            send(peer, p, strlen(p), MSG_NOSIGNAL);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
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
