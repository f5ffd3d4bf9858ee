// The forward (upstream) proxy path, CONNECT tunnels, and how the program
// starts, refuses to start and stops.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

std::string FirstLine(const std::string& head) { return head.substr(0, head.find("\r\n")); }

void Echo(Conn& c) {
    for (;;) {
        std::string piece = c.ReadExact(1, 10000);
        if (piece.empty() || !c.Write(piece)) return;
    }
}

std::string Connect(int port) {
    return "CONNECT 127.0.0.1:" + std::to_string(port) + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\n\r\n";
}

std::string Kvproxy() { return BinaryDir() + "/bin/kvproxy"; }

}  // namespace

TEST(UpstreamTest, SecondKvProxyCarriesTheRequestWithoutTheSuffix) {
    Server origin([&](Conn& c) {
        origin.Record(c.ReadHead());
        c.Write("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\norigin");
    });
    Proxy upstream;
    ASSERT_TRUE(upstream.Started());
    Proxy proxy("Forward=127.0.0.1:" + std::to_string(upstream.Port()));
    ASSERT_TRUE(proxy.Started());
    Answer a = Parse(proxy.Exchange("GET http://127.0.0.1:" + std::to_string(origin.Port()) +
                                    "/p%2Fq$force HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "origin");
    ASSERT_EQ(origin.Heads().size(), 1u);
    EXPECT_EQ(FirstLine(origin.Heads()[0]), "GET /p%2Fq HTTP/1.0");
}

TEST(UpstreamTest, ForwardProxyGetsTheAbsoluteTargetAndItsCredentials) {
    Server fake([&](Conn& c) {
        fake.Record(c.ReadHead());
        c.Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nup");
    });
    Proxy proxy("Forward=127.0.0.1:" + std::to_string(fake.Port()));
    ASSERT_TRUE(proxy.Started());
    Answer a = Parse(proxy.Exchange("GET http://site.invalid/a%26b\xe9$bypass HTTP/1.1\r\nHost: site.invalid\r\n"
                                    "Proxy-Authorization: Basic dTpw\r\nProxy-Connection: keep-alive\r\n\r\n"));
    EXPECT_EQ(a.body, "up");
    ASSERT_EQ(fake.Heads().size(), 1u);
    Answer sent = Parse(fake.Heads()[0]);
    EXPECT_EQ(FirstLine(fake.Heads()[0]), "GET http://site.invalid/a%26b%E9 HTTP/1.1");
    EXPECT_EQ(sent.Get("proxy-authorization"), "Basic dTpw");
    EXPECT_FALSE(sent.Has("proxy-connection"));
    EXPECT_EQ(sent.Get("connection"), "keep-alive");
}

TEST(UpstreamTest, LocalhostIsReachedDirectlyAndADeadUpstreamGivesPage901) {
    Server origin([&](Conn& c) {
        c.ReadHead();
        c.Write("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nlocal");
    });
    int deadPort;
    { Server gone([](Conn&) {}); deadPort = gone.Port(); }
    Proxy proxy("Forward=127.0.0.1:" + std::to_string(deadPort));
    ASSERT_TRUE(proxy.Started());
    Answer local = Parse(proxy.Exchange("GET http://localhost:" + std::to_string(origin.Port()) + "/ HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(local.body, "local");
    Answer viaDead = Parse(proxy.Exchange("GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/ HTTP/1.0\r\n\r\n"));
    EXPECT_EQ(viaDead.status, 500);
    EXPECT_NE(viaDead.body.find("Unable to connect proxy server 127.0.0.1:" + std::to_string(deadPort)),
              std::string::npos);
}

TEST(TunnelTest, ConnectRelaysBothWays) {
    Server echo(Echo);
    Proxy proxy("Tunnel=1\r\nTunnelPorts=443, " + std::to_string(echo.Port()));
    ASSERT_TRUE(proxy.Started());
    Conn c = Conn::ConnectTo(proxy.Port());
    // Bytes that follow the head at once must not be lost.
    ASSERT_TRUE(c.Write(Connect(echo.Port()) + "early"));
    EXPECT_EQ(FirstLine(c.ReadHead()), "HTTP/1.0 200 Connection established");
    EXPECT_EQ(c.ReadExact(5), "early");
    ASSERT_TRUE(c.Write("ping"));
    EXPECT_EQ(c.ReadExact(4), "ping");
    c.Close();
}

TEST(TunnelTest, PortsOutsideTheListAreRefused) {
    Server echo(Echo);
    Proxy proxy("Tunnel=1");
    ASSERT_TRUE(proxy.Started());
    Answer a = Parse(proxy.Exchange(Connect(echo.Port())));
    EXPECT_EQ(a.status, 403);
    EXPECT_EQ(echo.Connections(), 0);
}

TEST(TunnelTest, WithoutTheKeyConnectIsNotServed) {
    Server echo(Echo);
    Proxy proxy("");
    ASSERT_TRUE(proxy.Started());
    bool timedOut = false;
    EXPECT_EQ(proxy.Exchange(Connect(echo.Port()), 20000, &timedOut), "");
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(echo.Connections(), 0);
}

TEST(TunnelTest, ThroughTheForwardProxyTheConnectIsPassedOn) {
    Server echo(Echo);
    Proxy upstream("Tunnel=1\r\nTunnelPorts=" + std::to_string(echo.Port()));
    ASSERT_TRUE(upstream.Started());
    Proxy proxy("Tunnel=1\r\nTunnelPorts=" + std::to_string(echo.Port()) + "\r\nForward=127.0.0.1:" +
                std::to_string(upstream.Port()));
    ASSERT_TRUE(proxy.Started());
    Conn c = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(c.Write(Connect(echo.Port())));
    EXPECT_EQ(Parse(c.ReadHead() + "").status, 200);
    ASSERT_TRUE(c.Write("through"));
    EXPECT_EQ(c.ReadExact(7), "through");
}

TEST(ProgramTest, VersionAndHelp) {
    std::string out;
    EXPECT_EQ(RunProgram({Kvproxy(), "--version"}, &out), 0);
    EXPECT_EQ(out.rfind("kvproxy ", 0), 0u);
    out.clear();
    EXPECT_EQ(RunProgram({Kvproxy(), "--help"}, &out), 0);
    EXPECT_NE(out.find("--config PATH"), std::string::npos);
}

TEST(ProgramTest, TakenPortEndsWithAClearMessage) {
    Server taken([](Conn&) {});
    std::string dir = MakeTempDir();
    WriteFile(dir + "/kvproxy.ini", "[Directories]\nbasepath=" + dir + "\n[Proxy]\nListen=127.0.0.1:" +
                                        std::to_string(taken.Port()) + "\n");
    std::string err;
    int rc = RunProgram({Kvproxy(), "--config", dir + "/kvproxy.ini"}, nullptr, &err, 20000);
    EXPECT_NE(rc, 0);
    EXPECT_NE(err.find("port " + std::to_string(taken.Port()) + " is already in use"), std::string::npos) << err;
    RemoveTree(dir);
}

TEST(ProgramTest, UnusableConfigurationEndsWithAClearMessage) {
    std::string dir = MakeTempDir();
    std::string err;
    EXPECT_NE(RunProgram({Kvproxy(), "--config", dir + "/none.ini"}, nullptr, &err), 0);
    EXPECT_NE(err.find("does not exist"), std::string::npos) << err;
    WriteFile(dir + "/noproxy.ini", "[General]\nUseWhiteList=1\n");
    err.clear();
    EXPECT_NE(RunProgram({Kvproxy(), "--config", dir + "/noproxy.ini"}, nullptr, &err), 0);
    EXPECT_NE(err.find("no [Proxy] section"), std::string::npos) << err;
    RemoveTree(dir);
}

TEST(ProgramTest, StopsOnSigtermWithoutWaitingForASilentBrowser) {
    Proxy proxy("RecTimeout=60");
    ASSERT_TRUE(proxy.Started());
    // A browser that began a request and went silent: the proxy has read
    // what it sent and waits in its receive, with a time-out longer than
    // the stop's hang guard.
    Conn idle = Conn::ConnectTo(proxy.Port());
    ASSERT_TRUE(idle.Write("GET http://"));
    ASSERT_TRUE(idle.WaitDelivered());
    int exitCode = -1;
    EXPECT_TRUE(proxy.Stop(&exitCode));
    EXPECT_EQ(exitCode, 0);
}
