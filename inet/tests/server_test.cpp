// The listening server and its pool of request threads, end to end with
// real clients on 127.0.0.1 and an ephemeral port.
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <latch>
#include <memory>
#include <new>
#include <stdexcept>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "inet/server/KvSocketRequest.h"
#include "inet/server/KvSocketServer.h"
#include "inet/tests/loopback_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool WaitUntil(const std::function<bool()>& cond, int ms = 20000) {
    auto start = Clock::now();
    while (!cond()) {
        if (MsSince(start) > ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

int OpenDescriptorCount() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dirent* e = readdir(dir)) count += e->d_name[0] != '.';
    closedir(dir);
    return count - 1;  // the directory's own descriptor
}

// What the test requests saw, shared with the test body.
struct Observed {
    std::mutex lock;
    std::vector<int> results;
    std::atomic<pid_t> receiver{0};  // the thread of the last receive
    std::atomic<long long> bodySent{0};

    void Record(int result) {
        std::lock_guard<std::mutex> guard(lock);
        results.push_back(result);
    }
    std::vector<int> Results() {
        std::lock_guard<std::mutex> guard(lock);
        return results;
    }
    void Reset() {
        std::lock_guard<std::mutex> guard(lock);
        results.clear();
        receiver = 0;
        bodySent = 0;
    }
};
Observed g_seen;

// Echoes one line, prefixed with the client's address text.
class EchoRequest : public KvSocketRequest {
    DECLARE_DYNCREATE(EchoRequest)
protected:
    BOOL DispatchRequest() override {
        char line[256];
        g_seen.receiver = gettid();
        int n = m_comClient.ReceiveLine(line, sizeof(line));
        g_seen.Record(n);
        if (n <= 0) return FALSE;
        std::string answer = std::string(m_strClientIPAddr.c_str()) + " " + line + "\n";
        m_comClient.Send(answer.c_str());
        return TRUE;
    }
};
IMPLEMENT_DYNCREATE(EchoRequest, KvSocketRequest)

// Echoes like EchoRequest, but "throw" makes it throw before answering and
// "late" after a part of an answer went out.
class ThrowingRequest : public KvSocketRequest {
    DECLARE_DYNCREATE(ThrowingRequest)
protected:
    BOOL DispatchRequest() override {
        char line[256];
        if (m_comClient.ReceiveLine(line, sizeof(line)) <= 0) return FALSE;
        if (std::string(line) == "throw") throw std::out_of_range("index past the end");
        if (std::string(line) == "late") {
            m_comClient.Send("partial");
            throw std::bad_alloc();
        }
        m_comClient.Send((std::string(line) + "\n").c_str());
        return TRUE;
    }
};
IMPLEMENT_DYNCREATE(ThrowingRequest, KvSocketRequest)

// Waits for one line, then sends a 50 MiB body of a known pattern.
class BigBodyRequest : public KvSocketRequest {
    DECLARE_DYNCREATE(BigBodyRequest)
public:
    static constexpr size_t kBodySize = 50u * 1024 * 1024;

protected:
    BOOL DispatchRequest() override {
        char line[256];
        if (m_comClient.ReceiveLine(line, sizeof(line)) < 0) return FALSE;
        std::string body(kBodySize, '\0');
        for (size_t i = 0; i < body.size(); i++) body[i] = (char)(i % 251);
        int sent = m_comClient.Send(body.data(), (int)body.size());
        g_seen.bodySent = sent;
        return sent > 0;
    }
};
IMPLEMENT_DYNCREATE(BigBodyRequest, KvSocketRequest)

// For a server whose connections wait for their heads: reads a head (lines
// up to a blank one) and echoes its first line, prefixed with the client's
// address. A "wait" head holds its thread until a "go" line follows.
class HeadRequest : public KvSocketRequest {
    DECLARE_DYNCREATE(HeadRequest)
protected:
    BOOL DispatchRequest() override {
        char line[256];
        std::string first;
        for (int n; (n = m_comClient.ReceiveLine(line, sizeof(line))) != 0;) {
            if (n < 0) return FALSE;
            if (first.empty()) first = line;
        }
        if (first == "wait") {
            int n;
            while ((n = m_comClient.ReceiveLine(line, sizeof(line))) >= 0 && std::string(line) != "go") {
            }
            if (n < 0) return FALSE;
        }
        m_comClient.Send((std::string(m_strClientIPAddr.c_str()) + " " + first + "\n").c_str());
        return TRUE;
    }
};
IMPLEMENT_DYNCREATE(HeadRequest, KvSocketRequest)

// A server on 127.0.0.1, ephemeral port, serving with the given request class.
std::unique_ptr<KvSocketServer> StartServer(const CRuntimeClass* rt,
                                            const std::function<void(KvSocketServer&)>& configure = {}) {
    auto server = std::make_unique<KvSocketServer>();
    server->SetPort(0);
    server->SetRTRequest(rt);
    server->SetInitThreadCount(2);
    if (configure) configure(*server);
    if (!server->Create(INFINITE)) return nullptr;
    server->Run();
    return server;
}

int Connect(UINT port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendText(int fd, const std::string& text) {
    return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == (ssize_t)text.size();
}

// Everything until the server closes (or the 10 s receive time-out).
std::string ReadToEnd(int fd) {
    std::string all;
    char buf[4096];
    ssize_t n;
    while ((n = recv(fd, buf, sizeof(buf), 0)) > 0) all.append(buf, (size_t)n);
    return all;
}

// One line of an answer (without its LF); "" when the connection ended first.
std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (recv(fd, &c, 1, 0) == 1 && c != '\n') line += c;
    return line;
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { g_seen.Reset(); }
};

TEST_F(ServerTest, PoolCountsAreNormalisedAtStart) {
    auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) { s.SetMaxThreadCount(3); });
    ASSERT_TRUE(server);
    EXPECT_EQ(server->GetMaxThreadCount(), 5u);  // the backlog is at least 5
    server.reset();

    server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) {
        s.SetInitThreadCount(7);
        s.SetMaxThreadCount(5);
    });
    ASSERT_TRUE(server);
    EXPECT_EQ(server->GetRequestThreadCount(), 3);
    EXPECT_EQ(server->GetActiveRequestCount(), 0);
    server.reset();

    server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) {
        s.SetInitThreadCount(3);
        s.SetKeepFreeThreadCount(9);
    });
    ASSERT_TRUE(server);
    EXPECT_EQ(server->GetKeepFreeThreadCount(), 5u);
}

TEST_F(ServerTest, ListenAddressIsResolvedAndPortInUseFailsStartUp) {
    auto first = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) { s.SetListenAddress("localhost"); });
    ASSERT_TRUE(first);
    UINT port = first->GetBoundPort();
    EXPECT_NE(port, 0u);
    int fd = Connect(port);
    ASSERT_GE(fd, 0);
    close(fd);

    auto second = std::make_unique<KvSocketServer>();
    second->SetPort((short)port);
    EXPECT_FALSE(second->Create(INFINITE));

    auto unknown = std::make_unique<KvSocketServer>();
    unknown->SetPort(0);
    unknown->SetListenAddress("no.such.host.invalid");
    EXPECT_FALSE(unknown->Create(INFINITE));
}

TEST_F(ServerTest, Serves200ConcurrentClients) {
    // The backlog must hold the whole burst: an overflowing one makes the
    // kernel drop connects, which the clients retry only after a second.
    auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) { s.SetMaxThreadCount(256); });
    ASSERT_TRUE(server);
    const int kClients = 200;
    std::latch connected(kClients + 1);
    std::latch release(1);
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; i++) {
        clients.emplace_back([&, i] {
            int fd = Connect(server->GetBoundPort());
            connected.count_down();
            release.wait();
            std::string line = "hello " + std::to_string(i);
            if (fd >= 0 && SendText(fd, line + "\r\n") && ReadToEnd(fd) == "127.0.0.1 " + line + "\n") good++;
            if (fd >= 0) close(fd);
        });
    }
    connected.arrive_and_wait();
    // Every connection is held by its own thread before any line is sent.
    EXPECT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == kClients; }));
    release.count_down();
    for (auto& t : clients) t.join();
    EXPECT_EQ(good.load(), kClients);
    EXPECT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
    EXPECT_EQ(server->GetRequestThreadCount(), kClients);  // threads are reused, not added per connection
}

TEST_F(ServerTest, PoolCapAnswersBusyAndNothingLeaks) {
    int fdsBefore = OpenDescriptorCount();
    {
        auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) {
            s.SetMaxBusyThreadCount(2);
            s.SetInitThreadCount(1);
        });
        ASSERT_TRUE(server);
        UINT port = server->GetBoundPort();
        int a = Connect(port), b = Connect(port);
        ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 2; }));
        int c = Connect(port);
        std::string refused = ReadToEnd(c);
        EXPECT_EQ(refused.rfind("HTTP/1.0 503 ", 0), 0u) << refused;
        close(c);
        EXPECT_EQ(server->GetRequestThreadCount(), 2);

        SendText(a, "one\n");
        EXPECT_EQ(ReadToEnd(a), "127.0.0.1 one\n");
        close(a);
        ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 1; }));
        int d = Connect(port);
        SendText(d, "two\n");
        EXPECT_EQ(ReadToEnd(d), "127.0.0.1 two\n");
        close(d);
        close(b);  // still held when the server stops
    }
    EXPECT_EQ(OpenDescriptorCount(), fdsBefore);
}

namespace {

// A server whose connections wait in its poll set, with one thread only.
void ParkWithOneThread(KvSocketServer& s) {
    s.SetParkConnections(TRUE);
    s.SetMaxBusyThreadCount(1);
    s.SetInitThreadCount(1);
}

}  // namespace

TEST_F(ServerTest, ParkedRequestsWaitForAThreadInTheirOrder) {
    auto server = StartServer(RUNTIME_CLASS(HeadRequest), ParkWithOneThread);
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    // The one thread is held; two more requests wait for it, in order,
    // and are served as it frees up.
    int holder = Connect(port);
    SendText(holder, "wait\n\n");
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 1; }));
    int second = Connect(port), third = Connect(port);
    SendText(second, "two\n\n");
    SendText(third, "three\n\n");
    SendText(holder, "go\n");
    // Each closed once read: the server's close waits for the client's.
    const std::pair<int, const char*> expected[] = {
        {holder, "127.0.0.1 wait\n"}, {second, "127.0.0.1 two\n"}, {third, "127.0.0.1 three\n"}};
    for (auto [fd, answer] : expected) {
        EXPECT_EQ(ReadToEnd(fd), answer);
        close(fd);
    }
    EXPECT_EQ(server->GetRequestThreadCount(), 1);
}

TEST_F(ServerTest, AParkedRequestThatNeverFindsAThreadGets503) {
    auto server = StartServer(RUNTIME_CLASS(HeadRequest), [](KvSocketServer& s) {
        ParkWithOneThread(s);
        s.SetHeadTimeOut(50);
    });
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    int holder = Connect(port);
    SendText(holder, "wait\n\n");
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 1; }));
    int late = Connect(port);
    SendText(late, "late\n\n");
    std::string refused = ReadToEnd(late);
    EXPECT_EQ(refused.rfind("HTTP/1.0 503 ", 0), 0u) << refused;
    SendText(holder, "go\n");
    EXPECT_EQ(ReadToEnd(holder), "127.0.0.1 wait\n");
    for (int fd : {holder, late}) close(fd);
}

TEST_F(ServerTest, AClientAtItsLimitGivesUpItsIdleConnectionNearestItsTimeOut) {
    auto server = StartServer(RUNTIME_CLASS(HeadRequest), [](KvSocketServer& s) {
        s.SetParkConnections(TRUE);
        s.SetRequestKeepAlive(TRUE);
        s.SetMaxConnectionsPerClient(2);
    });
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    int older = Connect(port);
    SendText(older, "one\n\n");
    EXPECT_EQ(ReadLine(older), "127.0.0.1 one");
    // Each kept alive and idle once its thread is free again; the older one
    // handed back first, so its idle time runs out first.
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
    int newer = Connect(port);
    SendText(newer, "two\n\n");
    EXPECT_EQ(ReadLine(newer), "127.0.0.1 two");
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
    int third = Connect(port);
    SendText(third, "three\n\n");
    EXPECT_EQ(ReadLine(third), "127.0.0.1 three");
    EXPECT_EQ(ReadToEnd(older), "");  // closed for the new one
    SendText(newer, "again\n\n");
    EXPECT_EQ(ReadLine(newer), "127.0.0.1 again");
    for (int fd : {older, newer, third}) close(fd);
}

TEST_F(ServerTest, AnExceptionInARequestAnswers500AndFreesItsThread) {
    // One thread at most: a thread left busy by the exception would make
    // every later connection a "503".
    auto server = StartServer(RUNTIME_CLASS(ThrowingRequest), [](KvSocketServer& s) {
        s.SetMaxBusyThreadCount(1);
        s.SetInitThreadCount(1);
    });
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    auto exchange = [&](const std::string& line) {
        EXPECT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
        int fd = Connect(port);
        SendText(fd, line + "\n");
        std::string answer = ReadToEnd(fd);
        close(fd);
        return answer;
    };
    std::string failed = exchange("throw");
    EXPECT_EQ(failed.rfind("HTTP/1.0 500 Internal Server Error\r\n", 0), 0u) << failed;
    EXPECT_NE(failed.find("\r\n\r\n<html>"), std::string::npos);
    EXPECT_EQ(exchange("late"), "partial");  // no second answer after a started one
    EXPECT_EQ(exchange("hello"), "hello\n");
    EXPECT_EQ(server->GetRequestThreadCount(), 1);
}

TEST_F(ServerTest, IdleThreadsEndDownToTheInitialPoolButNeverABusyOne) {
    // Idle limit 0: a thread beyond the initial pool ends as soon as it is idle.
    auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) {
        s.SetInitThreadCount(1);
        s.SetKeepFreeThreadCount(1);
        s.SetIdleThreadLimit(0);
    });
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    int fds[3];
    for (int& fd : fds) fd = Connect(port);
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 3; }));
    EXPECT_EQ(server->GetRequestThreadCount(), 3);
    for (int i : {0, 2}) {
        SendText(fds[i], "bye\n");
        EXPECT_EQ(ReadToEnd(fds[i]), "127.0.0.1 bye\n");
        close(fds[i]);
    }
    EXPECT_TRUE(WaitUntil([&] { return server->GetRequestThreadCount() == 1; }));
    // The one left is the busy one: its client is still served.
    SendText(fds[1], "still here\n");
    EXPECT_EQ(ReadToEnd(fds[1]), "127.0.0.1 still here\n");
    close(fds[1]);
    EXPECT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
    EXPECT_EQ(server->GetRequestThreadCount(), 1);
}

TEST_F(ServerTest, StopEndsABlockedReceive) {
    auto server = StartServer(RUNTIME_CLASS(EchoRequest));
    ASSERT_TRUE(server);
    int fd = Connect(server->GetBoundPort());
    // Blocked in its receive, whose time-out (180 s) is far beyond the guard.
    ASSERT_TRUE(WaitUntil([&] { return g_seen.receiver.load() != 0; }));
    ASSERT_TRUE(testwait::WaitAsleep(g_seen.receiver.load()));
    EXPECT_TRUE(testwait::ReturnsWithin([&] { server->Kill(); }, [&] { shutdown(fd, SHUT_RDWR); }));
    ASSERT_EQ(g_seen.Results(), std::vector<int>{-8});  // the stop ended it, not the client
    EXPECT_EQ(ReadToEnd(fd), "");  // closed by the server
    close(fd);
}

TEST_F(ServerTest, StopEndsAKeptAliveConnectionWaitingForItsNextRequest) {
    auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) {
        s.SetRequestKeepAlive(TRUE);
        s.SetRequestTimeAlive(180000);
    });
    ASSERT_TRUE(server);
    int fd = Connect(server->GetBoundPort());
    SendText(fd, "first\n");
    char buf[64];
    ASSERT_GT(recv(fd, buf, sizeof(buf), 0), 0);
    SendText(fd, "second\n");  // the same thread serves the next request
    ASSERT_GT(recv(fd, buf, sizeof(buf), 0), 0);
    EXPECT_EQ(g_seen.Results(), (std::vector<int>{5, 6}));
    // Its wait for a third request would last 180 s.
    EXPECT_TRUE(testwait::ReturnsWithin([&] { server->Kill(); }, [&] { shutdown(fd, SHUT_RDWR); }));
    close(fd);
}

TEST_F(ServerTest, PeersThatCloseResetOrStallFreeTheirThread) {
    auto server = StartServer(RUNTIME_CLASS(EchoRequest), [](KvSocketServer& s) { s.SetRecTimeOut(200); });
    ASSERT_TRUE(server);
    UINT port = server->GetBoundPort();
    auto idle = [&] { return WaitUntil([&] { return server->GetActiveRequestCount() == 0; }); };

    int closer = Connect(port);
    close(closer);
    ASSERT_TRUE(WaitUntil([&] { return g_seen.Results().size() == 1; }));
    EXPECT_TRUE(idle());

    int resetter = Connect(port);
    ASSERT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 1; }));
    linger lg{1, 0};
    setsockopt(resetter, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
    close(resetter);
    ASSERT_TRUE(WaitUntil([&] { return g_seen.Results().size() == 2; }));
    EXPECT_TRUE(idle());

    int staller = Connect(port);
    SendText(staller, "half a li");
    auto start = Clock::now();
    std::string got = "unread";
    EXPECT_TRUE(testwait::ReturnsWithin([&] { got = ReadToEnd(staller); }, [&] { shutdown(staller, SHUT_RDWR); }));
    EXPECT_EQ(got, "");                // closed after the receive time-out
    EXPECT_GE(MsSince(start), 150);  // a time-out never ends early
    close(staller);
    ASSERT_TRUE(WaitUntil([&] { return g_seen.Results().size() == 3; }));
    EXPECT_TRUE(idle());

    EXPECT_EQ(g_seen.Results(), (std::vector<int>{0, -6, -8}));
}

TEST_F(ServerTest, SlowReaderDrainsA50MiBBody) {
    auto server = StartServer(RUNTIME_CLASS(BigBodyRequest), [](KvSocketServer& s) { s.SetRecTimeOut(1000); });
    ASSERT_TRUE(server);
    int fd = Connect(server->GetBoundPort());
    SendText(fd, "GET\n");
    std::vector<char> buf(256 * 1024);
    size_t total = 0;
    const size_t pauseEvery = 5u * 1024 * 1024 / 2;
    size_t nextPause = pauseEvery;
    bool intact = true;
    ssize_t n;
    while ((n = recv(fd, buf.data(), buf.size(), 0)) > 0) {
        for (ssize_t i = 0; i < n && intact; i++) intact = buf[(size_t)i] == (char)((total + (size_t)i) % 251);
        total += (size_t)n;
        if (total >= nextPause) {
            // Pauses a tenth of the time-out, twenty of them twice as long
            // as it: slow, but always progressing.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            nextPause += pauseEvery;
        }
    }
    close(fd);
    EXPECT_EQ(total, BigBodyRequest::kBodySize);
    EXPECT_TRUE(intact);
    EXPECT_TRUE(WaitUntil([&] { return server->GetActiveRequestCount() == 0; }));
    EXPECT_EQ(g_seen.bodySent.load(), (long long)BigBodyRequest::kBodySize);
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

TEST_F(ServerTest, OutOfDescriptorsBacksOffInsteadOfSpinning) {
    auto server = StartServer(RUNTIME_CLASS(EchoRequest));
    ASSERT_TRUE(server);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    // The client's descriptor is made first; then every other one is used up,
    // so the connect succeeds (the kernel queues it) but the accept cannot.
    int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    timeval tv{10, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    std::vector<int> hogs;
    rlimit tight = saved;
    tight.rlim_cur = (rlim_t)OpenDescriptorCount() + 64;
    setrlimit(RLIMIT_NOFILE, &tight);
    for (int fd; (fd = dup(0)) >= 0;) hogs.push_back(fd);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)server->GetBoundPort());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    // The CPU the process uses in 400 ms while the connection waits: a
    // measuring window, not an ordering (load only takes CPU from a spinner).
    SendText(client, "late\n");
    double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    double cpuUsed = ProcessCpuMs() - cpuBefore;
    EXPECT_TRUE(g_seen.Results().empty());  // not accepted while descriptors are out
    for (int fd : hogs) close(fd);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_LT(cpuUsed, 40.0);  // a spinning accept loop burns a good part of the 400 ms
    EXPECT_EQ(ReadToEnd(client), "127.0.0.1 late\n");  // served once descriptors are back
    close(client);
}

}  // namespace
