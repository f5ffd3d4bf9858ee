// The proxy program between a raw client (or curl) and origins that send
// exact bytes: bodies held back for "Expect: 100-continue", folded header
// lines, and answers that end before their length.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

constexpr int kGuardMs = 20000;

std::string Url(const Server& origin, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(origin.Port()) + path;
}

// A PUT whose body waits for the word to send it.
std::string ExpectingPut(const Server& origin, size_t length) {
    return "PUT " + Url(origin, "/file") + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
           std::to_string(length) + "\r\nExpect: 100-continue\r\n\r\n";
}

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }
    Proxy proxy{"RecTimeout=60"};
};

}  // namespace

TEST_F(ExchangeTest, OriginsContinueAndLaterInterimAnswersReachTheBrowser) {
    std::string received;
    Server origin([&](Conn& c) {
        origin.Record(c.ReadHead());
        c.Write("HTTP/1.1 100 Continue\r\nX-From: origin\r\n\r\n");
        received = c.ReadExact(4);
        c.Write("HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n"
                "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n");
        c.WaitClosed(kGuardMs);
    });
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(ExpectingPut(origin, 4)));
    Answer interim = Parse(c.ReadHead(kGuardMs));
    EXPECT_EQ(interim.status, 100);
    EXPECT_EQ(interim.Get("x-from"), "origin");
    ASSERT_TRUE(c.Write("data"));
    Answer hints = Parse(c.ReadHead(kGuardMs));
    EXPECT_EQ(hints.status, 103);
    EXPECT_EQ(hints.Get("link"), "</s.css>; rel=preload");
    EXPECT_EQ(Parse(c.ReadAll(kGuardMs)).status, 201);
    EXPECT_EQ(received, "data");
    ASSERT_EQ(origin.Heads().size(), 1u);
    EXPECT_EQ(Parse(origin.Heads()[0]).Get("expect"), "100-continue");
}

TEST_F(ExchangeTest, SilentHttp10OriginGetsTheBodyAfterTheProxysOwnContinue) {
    const std::string body(100000, 'b');
    std::string received;
    Server origin([&](Conn& c) {
        c.ReadHead();
        received = c.ReadExact(body.size());  // knows no interim answers: waits for the body
        c.Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
    });
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(ExpectingPut(origin, body.size())));
    Answer interim = Parse(c.ReadHead(kGuardMs));
    EXPECT_EQ(interim.statusLine, "HTTP/1.1 100 Continue");
    EXPECT_FALSE(interim.Has("x-from"));
    ASSERT_TRUE(c.Write(body));
    Answer a = Parse(c.ReadAll(kGuardMs));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "ok");
    EXPECT_EQ(received, body);
}

TEST_F(ExchangeTest, FinalAnswerBeforeTheBodyIsTheAnswerAndTheBodyIsNeverSent) {
    std::string after;
    std::atomic<bool> done{false};
    Server origin([&](Conn& c) {
        c.ReadHead();
        c.Write("HTTP/1.1 417 Expectation Failed\r\nContent-Length: 0\r\n\r\n");
        after = c.ReadAll(kGuardMs);  // ends when the proxy lets go
        done = true;
    });
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(ExpectingPut(origin, 4)));
    EXPECT_EQ(Parse(c.ReadHead(kGuardMs)).status, 417);
    c.Write("data");  // a browser that gave up waiting sends it anyway
    c.ReadAll(kGuardMs);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_EQ(after, "");
}

TEST_F(ExchangeTest, FoldedSetCookieKeepsItsAttributes) {
    Server origin([&](Conn& c) {
        c.ReadHead();
        c.Write("HTTP/1.1 200 OK\r\nSet-Cookie: id=1;\r\n Domain=127.0.0.1;\r\n\tPath=/; HttpOnly\r\n"
                "Content-Length: 2\r\n\r\nok");
        c.WaitClosed(kGuardMs);
    });
    Answer a = Parse(proxy.Exchange(GetRequest(Url(origin, "/cookie")), kGuardMs));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.Get("set-cookie"), "id=1; Domain=127.0.0.1; Path=/; HttpOnly");
    EXPECT_EQ(a.body, "ok");
}

TEST_F(ExchangeTest, ShortBodyEndsCleanlyOnlyWhenItsLengthWasAnnounced) {
    Server origin([&](Conn& c) {
        const std::string head = c.ReadHead();
        if (head.find("/length") != std::string::npos) {
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        } else {
            c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n");
        }
        // Cut off either way; a reset would drop what the proxy has not read.
        c.WaitDelivered();
    });
    for (const char* path : {"/length", "/chunked"}) {
        const bool announced = std::string(path) == "/length";
        Conn c = Conn::ConnectTo(proxy.Port());
        ASSERT_TRUE(c.Write(GetRequest(Url(origin, path))));
        bool reset = false;
        Answer a = Parse(c.ReadAll(kGuardMs, &reset));
        EXPECT_EQ(reset, !announced) << path;
        if (announced) {
            EXPECT_EQ(a.Get("content-length"), "10");
            EXPECT_EQ(a.body, "abc");
        }
    }
    if (!HaveCurl()) return;
    std::string err;
    int rc = RunProgram({"curl", "-sS", "--max-time", "20", "-x", "http://127.0.0.1:" + std::to_string(proxy.Port()),
                         Url(origin, "/length")},
                        nullptr, &err);
    EXPECT_EQ(rc, 18) << err;  // a partial file
    EXPECT_NE(err.find("7 bytes remaining"), std::string::npos) << err;
}

TEST(ExchangeLocalTest, LocalSiteAsksForTheHeldBackBodyItself) {
    Proxy proxy({{"LocalWeb/Docs.Local/index.html", "home"}}, "[Proxy]\nRecTimeout=60\n");
    ASSERT_TRUE(proxy.Started());
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write("POST http://docs.local/ HTTP/1.1\r\nHost: docs.local\r\nContent-Length: 4\r\n"
                        "Expect: 100-continue\r\n\r\n"));
    EXPECT_EQ(Parse(c.ReadHead(kGuardMs)).statusLine, "HTTP/1.1 100 Continue");
    ASSERT_TRUE(c.Write("a=12"));
    EXPECT_EQ(Parse(c.ReadAll(kGuardMs)).body, "home");
}
