// Name look-ups: a stop request ends a look-up that never finishes, and
// names and numbers of either family reach their listener.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "base/thread/KvThread.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvResolver.h"
#include "inet/net/KvSocketObj.h"

namespace {

// The stuck look-up tells it has begun on one pipe and waits on another
// that is written only when the test ends.
int g_entered[2] = {-1, -1};
int g_release[2] = {-1, -1};
std::atomic<int> g_lookups{0};

bool StuckResolver(const char*, unsigned, std::vector<KvResolvedAddress>&) {
    char ch = 0;
    ssize_t n = write(g_entered[1], "e", 1);
    n = read(g_release[0], &ch, 1);
    (void)n;
    return false;
}

// Every name is the IPv6 loopback address.
bool LoopbackV6Resolver(const char*, unsigned port, std::vector<KvResolvedAddress>& out) {
    ++g_lookups;
    KvResolvedAddress a;
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a.addr);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons((uint16_t)port);
    v6->sin6_addr = in6addr_loopback;
    a.length = sizeof *v6;
    a.family = AF_INET6;
    out.push_back(a);
    return true;
}

class Connector : public KvThread {
public:
    std::atomic<int> result{1};
    std::atomic<int> error{0};
    ~Connector() override { Kill(); }

protected:
    void OnRunThread() override {
        KvSocketObj socket;
        socket.CreateSocket();
        result = socket.Connect("stuck.test", 80);
        error = socket.GetErrorCode();
    }
};

class ResolverTest : public ::testing::Test {
protected:
    void TearDown() override { KvSetResolverFunction(nullptr); }
};

TEST_F(ResolverTest, StopRequestEndsAConnectWhoseLookUpNeverFinishes) {
    ASSERT_EQ(pipe(g_entered), 0);
    ASSERT_EQ(pipe(g_release), 0);
    KvSetResolverFunction(&StuckResolver);
    Connector thread;
    ASSERT_TRUE(thread.Create(INFINITE));
    thread.Run();
    char ch = 0;
    ASSERT_EQ(read(g_entered[0], &ch, 1), 1);  // the look-up is under way
    thread.Stop();                              // returns only once the run has ended
    EXPECT_EQ(thread.result.load(), FALSE);
    EXPECT_EQ(thread.error.load(), KV_WSAETIMEDOUT);
    ASSERT_EQ(write(g_release[1], "r", 1), 1);  // lets the abandoned look-up end
}

TEST_F(ResolverTest, NamesAndNumbersReachAnIpv6Listener) {
    KvSocketObj listener;
    if (!listener.CreateListeningSocket(0, SOCK_STREAM, "[::1]")) GTEST_SKIP() << "no IPv6 loopback";
    ASSERT_TRUE(listener.Listen(4));
    CString ip;
    short port = 0;
    ASSERT_TRUE(listener.GetSockName(ip, port));
    EXPECT_EQ(ip, "::1");
    KvSetResolverFunction(&LoopbackV6Resolver);
    for (const char* host : {"v6.test", "::1", "[::1]"}) {
        KvComSocketImp imp;
        EXPECT_EQ(imp.Connect(host, (uint16_t)port), 0) << host;
        SOCKET accepted;
        sockaddr peer{};
        EXPECT_TRUE(listener.Accept(accepted, peer)) << host;
        close(accepted);
    }
    EXPECT_EQ(g_lookups.load(), 1);  // numbers are never looked up
}

}  // namespace
