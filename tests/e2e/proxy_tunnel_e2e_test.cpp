// CONNECT tunnels under load: bulk data both ways at once, a side that
// shuts its sending direction, and IPv6 targets and listeners.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

constexpr size_t kMiB = 1024 * 1024;
constexpr int kBulkMs = 120000;  // a bound for a stall, never a measure

std::string ConnectHead(const std::string& authority) {
    return "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n";
}

// Sends back what arrives, as it arrives; ends its side when the peer does.
void BulkEcho(Conn& c) {
    c.Drain([&c](const char* p, size_t n) { c.Write(std::string(p, n)); }, kBulkMs);
    c.ShutdownWrite();
}

// Reads the request up to the peer's end, then answers with `size` bytes.
Server::Handler AnswerAfterEnd(size_t size) {
    return [size](Conn& c) {
        c.ReadAll(kBulkMs);
        ByteStream bytes(5);
        std::string piece(256 * 1024, '\0');
        for (size_t sent = 0; sent < size; sent += piece.size()) {
            bytes.Fill(piece.data(), piece.size());
            if (!c.Write(piece)) return;
        }
    };
}

// Reads to the end and counts the bytes that differ from the stream.
struct Checked {
    size_t bytes = 0;
    size_t wrong = 0;
    bool reset = false;
    bool ended = false;
};
Checked ReadStream(Conn& c, uint64_t seed) {
    Checked out;
    ByteStream expect(seed);
    std::string want;
    out.ended = c.Drain(
        [&](const char* p, size_t n) {
            want.resize(n);
            expect.Fill(want.data(), n);
            for (size_t i = 0; i < n; ++i) out.wrong += p[i] != want[i];
            out.bytes += n;
        },
        kBulkMs, &out.reset);
    return out;
}

std::string TunnelSection(int port) { return "Tunnel=1\r\nTunnelPorts=" + std::to_string(port); }

// A tunnel through the proxy to `authority`; empty on failure.
Conn OpenTunnel(const Proxy& proxy, const std::string& authority) {
    Conn c = Conn::ConnectTo(proxy.Port());
    if (!c.Write(ConnectHead(authority)) || Parse(c.ReadHead()).status != 200) return Conn();
    return c;
}

}  // namespace

TEST(TunnelBulkTest, TwentyMegabytesEchoedWhileStillSendingArriveWhole) {
    Server echo(BulkEcho);
    Proxy proxy(TunnelSection(echo.Port()));
    ASSERT_TRUE(proxy.Started());
    Conn c = OpenTunnel(proxy, "127.0.0.1:" + std::to_string(echo.Port()));
    ASSERT_TRUE(c.IsOpen());
    const size_t total = 20 * kMiB;
    std::thread writer([&c, total] {
        ByteStream bytes(11);
        std::string piece(64 * 1024, '\0');
        for (size_t sent = 0; sent < total; sent += piece.size()) {
            bytes.Fill(piece.data(), piece.size());
            if (!c.Write(piece)) return;
        }
        c.ShutdownWrite();
    });
    Checked got = ReadStream(c, 11);
    writer.join();
    EXPECT_TRUE(got.ended);
    EXPECT_FALSE(got.reset);
    EXPECT_EQ(got.bytes, total);
    EXPECT_EQ(got.wrong, 0u);
}

TEST(TunnelBulkTest, ClientThatShutsItsSideAfterTheRequestGetsTheWholeAnswer) {
    Server origin(AnswerAfterEnd(5 * kMiB));
    Proxy proxy(TunnelSection(origin.Port()));
    ASSERT_TRUE(proxy.Started());
    Conn c = OpenTunnel(proxy, "127.0.0.1:" + std::to_string(origin.Port()));
    ASSERT_TRUE(c.IsOpen());
    // The origin answers only once it has seen the end of the request, so
    // the end must be passed on while the answer's direction stays open.
    ASSERT_TRUE(c.Write("GET /big HTTP/1.0\r\n\r\n"));
    c.ShutdownWrite();
    Checked got = ReadStream(c, 5);
    EXPECT_TRUE(got.ended);
    EXPECT_FALSE(got.reset);
    EXPECT_EQ(got.bytes, 5 * kMiB);
    EXPECT_EQ(got.wrong, 0u);
}

TEST(TunnelBulkTest, OriginThatBreaksOffIsPassedOnAsAReset) {
    Server origin([](Conn& c) {
        c.ReadExact(4);
        c.Write("partial");
        c.Reset();
    });
    Proxy proxy(TunnelSection(origin.Port()));
    ASSERT_TRUE(proxy.Started());
    Conn c = OpenTunnel(proxy, "127.0.0.1:" + std::to_string(origin.Port()));
    ASSERT_TRUE(c.IsOpen());
    ASSERT_TRUE(c.Write("ping"));
    bool reset = false;
    c.ReadAll(kBulkMs, &reset);
    EXPECT_TRUE(reset);
}

TEST(TunnelIpv6Test, TunnelForwardAndListenerWorkOverIpv6) {
    Server echo(BulkEcho, "::1");
    if (!echo.Listening()) GTEST_SKIP() << "no IPv6 loopback on this machine";
    Server origin(
        [&origin](Conn& c) {
            origin.Record(c.ReadHead());
            c.Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nv6");
        },
        "::1");
    Proxy proxy(DataFiles{}, "[Proxy]\r\n" + TunnelSection(echo.Port()), "[::1]:0");
    ASSERT_TRUE(proxy.Started());

    Conn c = Conn::ConnectTo(proxy.Port(), "::1");
    ASSERT_TRUE(c.Write(ConnectHead("[::1]:" + std::to_string(echo.Port()))));
    EXPECT_EQ(Parse(c.ReadHead()).status, 200);
    ASSERT_TRUE(c.Write("six"));
    EXPECT_EQ(c.ReadExact(3), "six");
    c.Close();

    Conn get = Conn::ConnectTo(proxy.Port(), "::1");
    ASSERT_TRUE(get.Write("GET http://[::1]:" + std::to_string(origin.Port()) + "/x HTTP/1.0\r\n\r\n"));
    Answer a = Parse(get.ReadAll());
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "v6");
    ASSERT_EQ(origin.Heads().size(), 1u);
    EXPECT_EQ(Parse(origin.Heads()[0]).Get("host"), "[::1]:" + std::to_string(origin.Port()));
}
