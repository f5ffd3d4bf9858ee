// The browser's connection carrying several exchanges: kept when the
// answer's end is known, closed when it is not or the browser asks.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

constexpr int kGuardMs = 20000;

// One framed answer from a kept connection: the head, then a body of
// Content-Length bytes or chunks up to the last one (none after HEAD).
Answer ReadAnswer(Conn& c, bool head = false) {
    std::string raw = c.ReadHead(kGuardMs);
    Answer a = Parse(raw);
    if (head || raw.empty()) return a;
    if (a.Get("transfer-encoding") == "chunked") {
        std::string body;
        while (body.find("0\r\n\r\n") == std::string::npos) {
            std::string byte = c.ReadExact(1, kGuardMs);
            if (byte.empty()) break;
            body += byte;
        }
        a.body = body;
    } else if (a.Has("content-length")) {
        a.body = c.ReadExact((size_t)std::atol(a.Get("content-length").c_str()), kGuardMs);
    }
    return a;
}

std::string Request(const std::string& method, const std::string& url, const std::string& version = "HTTP/1.1",
                    const std::string& extra = "") {
    std::string host = url.substr(url.find("//") + 2);
    host = host.substr(0, host.find('/'));
    return method + " " + url + " " + version + "\r\nHost: " + host + "\r\n" + extra + "\r\n";
}

size_t CountOf(const std::string& text, const std::string& word) {
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
    return count;
}

class KeepAliveTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }
    Proxy proxy{"KeepAliveTimeout=60"};
    CountingOrigin origin;
};

}  // namespace

TEST_F(KeepAliveTest, OneConnectionCarriesGetsAPostAHeadAndLocalPages) {
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/a"))));
    Answer a = ReadAnswer(c);
    EXPECT_EQ(a.body, "answer 1 /a");
    EXPECT_EQ(a.Get("connection"), "keep-alive");
    // A body read exactly: the next request starts right behind it.
    ASSERT_TRUE(c.Write(Request("POST", origin.Url("/p"), "HTTP/1.1", "Content-Length: 5\r\n") + "hello"));
    EXPECT_EQ(ReadAnswer(c).body, "answer 2 /p");
    ASSERT_TRUE(c.Write(Request("HEAD", origin.Url("/h"))));
    Answer head = ReadAnswer(c, true);
    EXPECT_EQ(head.status, 200);
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/b"))));
    EXPECT_EQ(ReadAnswer(c).body, "answer 4 /b");  // no body of the HEAD answer in between
    // The proxy's own page and error page keep it too.
    ASSERT_TRUE(c.Write("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    Answer home = ReadAnswer(c);
    EXPECT_EQ(home.status, 200);
    EXPECT_NE(home.body.find("KvProxy"), std::string::npos);
    ASSERT_TRUE(c.Write(Request("GET", "http://127.0.0.1:1/")));  // refused: the proxy's error page
    EXPECT_EQ(ReadAnswer(c).status, 502);
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/c"), "HTTP/1.1", "Connection: close\r\n")));
    Answer last = ReadAnswer(c);
    EXPECT_EQ(last.body, "answer 5 /c");
    EXPECT_EQ(last.Get("connection"), "close");
    EXPECT_TRUE(c.WaitClosed(kGuardMs));
}

TEST_F(KeepAliveTest, PipelinedRequestsAreAnsweredInOrder) {
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/1")) +
                        Request("POST", origin.Url("/2"), "HTTP/1.1", "Content-Length: 3\r\n") + "abc" +
                        Request("GET", origin.Url("/3"))));
    EXPECT_EQ(ReadAnswer(c).body, "answer 1 /1");
    EXPECT_EQ(ReadAnswer(c).body, "answer 2 /2");
    EXPECT_EQ(ReadAnswer(c).body, "answer 3 /3");
}

TEST_F(KeepAliveTest, ChunkedAnswerIsFollowedByTheNextAndCloseDelimitedEndsTheConnection) {
    Server chunked([&](Conn& c) {
        for (std::string head = c.ReadHead(kGuardMs); !head.empty(); head = c.ReadHead(kGuardMs)) {
            if (head.find(" /close ") != std::string::npos) {
                c.Write("HTTP/1.1 200 OK\r\n\r\nuntil the close");
                return;
            }
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
        }
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(chunked.Port());
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(Request("GET", base + "/chunked")));
    Answer a = ReadAnswer(c);
    EXPECT_EQ(a.body, "5\r\nhello\r\n0\r\n\r\n");
    EXPECT_EQ(a.Get("connection"), "keep-alive");
    ASSERT_TRUE(c.Write(Request("GET", base + "/close")));
    Answer head = ReadAnswer(c, true);
    EXPECT_EQ(head.Get("connection"), "close");
    EXPECT_EQ(c.ReadAll(kGuardMs), "until the close");
}

TEST_F(KeepAliveTest, Http10KeepsOnlyWhenAskedAndAnIdleConnectionIsClosed) {
    Proxy quick("KeepAliveTimeout=1");
    ASSERT_TRUE(quick.Started());
    {
        Conn c = Conn::ConnectTo(quick.Port());
        ASSERT_TRUE(c.Write(Request("GET", origin.Url("/old"), "HTTP/1.0")));
        Answer a = ReadAnswer(c);
        EXPECT_EQ(a.Get("connection"), "close");
        EXPECT_TRUE(c.WaitClosed(kGuardMs));
    }
    Conn c = Conn::ConnectTo(quick.Port());
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/ka"), "HTTP/1.0", "Connection: keep-alive\r\n")));
    Answer a = ReadAnswer(c);
    EXPECT_EQ(a.body, "answer 2 /ka");
    EXPECT_EQ(a.Get("connection"), "keep-alive");
    // Left idle past its keep-alive time, the connection is closed.
    EXPECT_TRUE(c.WaitClosed(kGuardMs));
}

TEST_F(KeepAliveTest, KeepAliveTimeoutZeroClosesAfterEachAnswer) {
    Proxy closing("KeepAliveTimeout=0");
    ASSERT_TRUE(closing.Started());
    Conn c = Conn::ConnectTo(closing.Port());
    ASSERT_TRUE(c.Write(Request("GET", origin.Url("/once"))));
    Answer a = ReadAnswer(c);
    EXPECT_EQ(a.Get("connection"), "close");
    EXPECT_TRUE(c.WaitClosed(kGuardMs));
}

TEST_F(KeepAliveTest, CurlReusesOneConnectionForCacheMissesAndHits) {
    if (!HaveCurl()) GTEST_SKIP() << "curl not installed";
    std::string out, err;
    const std::string url = origin.Url("/hit");
    int rc = RunProgram({"curl", "-sS", "-v", "--max-time", "20", "-x",
                         "http://127.0.0.1:" + std::to_string(proxy.Port()), url, url, url},
                        &out, &err);
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(out, "answer 1 /hitanswer 1 /hitanswer 1 /hit");  // the second and third are hits
    EXPECT_EQ(CountOf(err, "Re-using existing connection"), 2u) << err;
}

TEST_F(KeepAliveTest, WgetReusesOneConnection) {
    if (RunProgram({"wget", "--version"}) != 0) GTEST_SKIP() << "wget not installed";
    std::string out, err;
    const std::string url = origin.Url("/w");
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port()) + "/").c_str(), 1);
    int rc = RunProgram({"wget", "-d", "-q", "-O", "-", "--timeout=20", url, origin.Url("/x"), url}, &out, &err);
    unsetenv("http_proxy");
    EXPECT_EQ(rc, 0) << err;
    EXPECT_EQ(out, "answer 1 /wanswer 2 /xanswer 1 /w");  // the third is a hit
    EXPECT_EQ(CountOf(err, "Reusing fd"), 2u) << err;
}

TEST_F(KeepAliveTest, OriginConnectionsAreKeptForTheNextRequest) {
    Conn c = Conn::ConnectTo(proxy.Port());
    for (const char* path : {"/k1", "/k2", "/k3"}) {
        ASSERT_TRUE(c.Write(Request("GET", origin.Url(path))));
        EXPECT_EQ(ReadAnswer(c).status, 200) << path;
    }
    EXPECT_EQ(origin.server().Connections(), 1);
    for (const std::string& head : origin.server().Heads()) {
        EXPECT_NE(head.find("Connection: keep-alive"), std::string::npos) << head;
    }
}

TEST_F(KeepAliveTest, AKeptConnectionClosedAtReuseIsAskedAgainForGetOnly) {
    // Each connection answers its first request and closes on its second
    // without a word, as an origin does whose idle time ran out just then.
    Server closing([&](Conn& c) {
        for (int n = 0;; ++n) {
            std::string head = c.ReadHead(kGuardMs);
            if (head.empty()) return;
            closing.Record(head);
            if (n == 1) return;
            const size_t length = (size_t)std::atol(Parse(head + "\r\n\r\n").Get("content-length").c_str());
            if (length) c.ReadExact(length, kGuardMs);
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        }
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(closing.Port());
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(Request("GET", base + "/first")));
    EXPECT_EQ(ReadAnswer(c).body, "ok");
    // Sent on the kept connection, which closes: asked again on a new one.
    ASSERT_TRUE(c.Write(Request("GET", base + "/second")));
    Answer again = ReadAnswer(c);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body, "ok");
    EXPECT_EQ(closing.Connections(), 2);
    // A POST is never sent twice: the browser is told it failed.
    ASSERT_TRUE(c.Write(Request("POST", base + "/post", "HTTP/1.1", "Content-Length: 3\r\n") + "abc"));
    EXPECT_GE(ReadAnswer(c).status, 500);
    EXPECT_EQ(closing.Connections(), 2);
    size_t posts = 0;
    for (const std::string& head : closing.Heads()) posts += head.rfind("POST", 0) == 0;
    EXPECT_EQ(posts, 1u);
}

namespace {

int ThreadsOf(pid_t pid) {
    std::string out;
    RunProgram({"/bin/sh", "-c", "ls /proc/" + std::to_string(pid) + "/task | wc -l"}, &out);
    return std::atoi(out.c_str());
}

const char kHomeRequest[] = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";

// A connection from another loopback address (its own per-address count).
Conn ConnectFrom(const char* source, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source, &from.sin_addr);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons((uint16_t)port);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0) close(fd);
        return Conn(-1);
    }
    return Conn(fd);
}

}  // namespace

TEST(IdleConnectionTest, AThousandIdleConnectionsHoldNoThreadAndLittleMemory) {
    Proxy proxy("MaxConnectionsPerClient=2000");
    ASSERT_TRUE(proxy.Started());
    {
        Conn warm = Conn::ConnectTo(proxy.Port());
        ASSERT_TRUE(warm.Write(kHomeRequest));
        ASSERT_EQ(ReadAnswer(warm).status, 200);
    }
    const int threadsBefore = ThreadsOf(proxy.Pid());
    const long rssBefore = proxy.MemoryKb("VmRSS");
    // Half have been answered and wait for their next request; half have
    // sent part of a head and wait to send the rest.
    std::vector<Conn> idle;
    for (int i = 0; i < 1000; ++i) {
        idle.push_back(Conn::ConnectTo(proxy.Port()));
        ASSERT_TRUE(idle.back().IsOpen()) << i;
        if (i % 2 == 0) {
            ASSERT_TRUE(idle.back().Write(kHomeRequest));
            ASSERT_EQ(ReadAnswer(idle.back()).status, 200) << i;
        } else {
            ASSERT_TRUE(idle.back().Write("GET / HTTP/1.1\r\nHo"));
        }
    }
    // Each waiting connection is a descriptor in the server's poll set,
    // not a thread (a few threads may serve at the last moment).
    EXPECT_LT(ThreadsOf(proxy.Pid()), threadsBefore + 64);
    EXPECT_LT(proxy.MemoryKb("VmRSS") - rssBefore, 30 * 1024);
    Conn next = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(next.Write(kHomeRequest));
    EXPECT_EQ(ReadAnswer(next).status, 200);
    // The connections still work: a head finished, a next request sent.
    ASSERT_TRUE(idle[1].Write("st: x\r\n\r\n"));
    EXPECT_EQ(ReadAnswer(idle[1]).status, 200);
    ASSERT_TRUE(idle[0].Write(kHomeRequest));
    EXPECT_EQ(ReadAnswer(idle[0]).status, 200);
}

TEST(IdleConnectionTest, SlowHeadsWaitWithoutThreadsUntilTheirTimeOutAndEachAddressHasItsMost) {
    Proxy proxy("HeadTimeout=1\r\nMaxConnectionsPerClient=300");
    ASSERT_TRUE(proxy.Started());
    // More slow clients than there are request threads to hold them, all
    // from one address: none is idle, so none can make room for another.
    std::vector<Conn> slow;
    for (int i = 0; i < 300; ++i) {
        slow.push_back(Conn::ConnectTo(proxy.Port()));
        ASSERT_TRUE(slow.back().Write("GET / HTTP/1.1\r\n")) << i;
    }
    // Another address is counted on its own and finds a thread.
    Conn served = ConnectFrom("127.0.0.2", proxy.Port());
    ASSERT_TRUE(served.IsOpen());
    ASSERT_TRUE(served.Write(kHomeRequest));
    EXPECT_EQ(ReadAnswer(served).status, 200);
    // The first address holds its 300 open connections: one more is refused.
    Conn refused = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(refused.IsOpen());
    EXPECT_EQ(Parse(refused.ReadAll(kGuardMs)).status, 503);
    // A head not complete within its time-out is closed; the kept one stays.
    for (Conn& c : slow) EXPECT_TRUE(c.WaitClosed(kGuardMs));
    ASSERT_TRUE(served.Write(kHomeRequest));
    EXPECT_EQ(ReadAnswer(served).status, 200);
}
