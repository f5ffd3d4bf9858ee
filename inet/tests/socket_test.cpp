// The socket object and the connection layer against real loopback sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/thread/KvThread.h"
#include "inet/net/KvComObject.h"
#include "inet/net/KvComSocketImp.h"
#include "inet/net/KvSocketObj.h"
#include "inet/net/KvSocketWait.h"
#include "inet/tests/loopback_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A listener on 127.0.0.1 with an ephemeral port, and helpers to make
// connected pairs: `ours` is a KvComSocketImp (connected through the
// library), `peer` a plain blocking descriptor the test drives.
class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_listener.CreateListeningSocket(0, SOCK_STREAM, "127.0.0.1"));
        ASSERT_TRUE(m_listener.Listen(16));
        CString ip;
        short port = 0;
        ASSERT_TRUE(m_listener.GetSockName(ip, port));
        m_port = (uint16_t)port;
    }

    // Connects `imp` and returns the accepted peer descriptor (blocking).
    int ConnectPair(KvComSocketImp& imp) {
        EXPECT_EQ(imp.Connect("127.0.0.1", m_port), 0);
        SOCKET peer = INVALID_SOCKET;
        sockaddr addr{};
        for (int i = 0; i < 200 && peer == INVALID_SOCKET; i++) {
            if (!m_listener.Accept(peer, addr)) m_listener.IsDataWaiting(10);
        }
        EXPECT_NE(peer, INVALID_SOCKET);
        fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) & ~O_NONBLOCK);
        return peer;
    }

    static void WriteAll(int fd, const std::string& data) {
        ASSERT_EQ(send(fd, data.data(), data.size(), MSG_NOSIGNAL), (ssize_t)data.size());
    }

    static void ResetAndClose(int fd) {
        linger lg{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof(lg));
        close(fd);
    }

    KvSocketObj m_listener;
    uint16_t m_port = 0;
};

TEST(SocketErrors, SystemErrorsKeepTheirWinsockNumbers) {
    EXPECT_EQ(KvSocketObj::MapSystemError(EAGAIN), 10035);
    EXPECT_EQ(KvSocketObj::MapSystemError(EINPROGRESS), 10036);
    EXPECT_EQ(KvSocketObj::MapSystemError(ECONNABORTED), 10053);
    EXPECT_EQ(KvSocketObj::MapSystemError(ECONNRESET), 10054);
    EXPECT_EQ(KvSocketObj::MapSystemError(EPIPE), 10054);
    EXPECT_EQ(KvSocketObj::MapSystemError(ENOBUFS), 10055);
    EXPECT_EQ(KvSocketObj::MapSystemError(ENOTCONN), 10057);
    EXPECT_EQ(KvSocketObj::MapSystemError(ETIMEDOUT), 10060);
    EXPECT_EQ(KvSocketObj::MapSystemError(ECONNREFUSED), 10061);
    EXPECT_EQ(KvSocketObj::MapSystemError(EHOSTUNREACH), 10065);
    EXPECT_EQ(KvSocketObj::MapSystemError(EINVAL), 10022);
}

TEST(SocketErrors, TextsComeFromTheStringTableWithAFallback) {
    CString text;
    KvSocketObj::TranslateErrorCode(10054, text);
    EXPECT_EQ(text, "The connection was reset by the peer.");
    KvSocketObj::TranslateErrorCode(25860, text);
    EXPECT_EQ(text, "Unknown WinSock Error Number 25860");
}

TEST(SocketObj, SendArgumentsAreCheckedBeforeAnySystemCall) {
    KvSocketObj sock;
    EXPECT_TRUE(sock.Send("x", 0));
    EXPECT_FALSE(sock.Send(nullptr, 3));
    EXPECT_EQ(sock.GetErrorCode(), 87);
    EXPECT_FALSE(sock.Send("abc", 3));
    EXPECT_EQ(sock.GetErrorCode(), 6);
    char buf[4];
    EXPECT_EQ(sock.Receive(buf, 4, 1), 0);  // no handle
}

TEST(SocketObj, BindRulesAndPortInUse) {
    KvSocketObj a;
    ASSERT_TRUE(a.CreateSocket());
    EXPECT_FALSE(a.Bind((short)0, "localhost"));  // Bind itself takes numbers only
    EXPECT_EQ(a.GetErrorCode(), 10022);

    KvSocketObj first;
    ASSERT_TRUE(first.CreateListeningSocket(0, SOCK_STREAM, "localhost"));  // names resolve here
    ASSERT_TRUE(first.Listen(5));
    CString ip;
    short port = 0;
    ASSERT_TRUE(first.GetSockName(ip, port));
    EXPECT_EQ(ip, "127.0.0.1");
    EXPECT_NE(port, 0);

    KvSocketObj second;
    EXPECT_FALSE(second.CreateListeningSocket((uint16_t)port, SOCK_STREAM, "127.0.0.1"));
    EXPECT_EQ(second.GetErrorCode(), 10048);
    EXPECT_FALSE(second.IsValid());

    sockaddr_in out{};
    EXPECT_FALSE(first.FindHost("no.such.host.invalid", 80, out));
    EXPECT_EQ(first.GetErrorCode(), 10022);
}

TEST(SocketObj, ReferenceCountFollowsLiveObjects) {
    long before = KvSocketObj::GetReferenceCount();
    {
        KvSocketObj a, b;
        EXPECT_EQ(KvSocketObj::GetReferenceCount(), before + 2);
    }
    EXPECT_EQ(KvSocketObj::GetReferenceCount(), before);
}

TEST_F(LoopbackTest, ConnectSetsNoDelayAndConnectFailuresAreResultCodes) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    int on = 0;
    int len = sizeof(on);
    ASSERT_TRUE(imp.GetSocketObj().GetSockOpt(TCP_NODELAY, &on, &len, IPPROTO_TCP));
    EXPECT_NE(on, 0);
    EXPECT_STREQ(imp.GetHost(), "127.0.0.1");
    close(peer);

    // A port nobody listens on: refused, reported as a failed connect.
    KvSocketObj probe;
    ASSERT_TRUE(probe.CreateListeningSocket(0, SOCK_STREAM, "127.0.0.1"));
    CString ip;
    short freePort = 0;
    probe.GetSockName(ip, freePort);
    probe.DestroySocket();
    KvComSocketImp refused;
    EXPECT_EQ(refused.Connect("127.0.0.1", (uint16_t)freePort), -5);
    EXPECT_EQ(refused.GetSocketObj().GetErrorCode(), 10061);
    EXPECT_FALSE(refused.IsValid());

    KvComSocketImp unknown;
    EXPECT_EQ(unknown.Connect("no.such.host.invalid", 80), -5);
    EXPECT_EQ(unknown.GetSocketObj().GetErrorCode(), 10022);
}

// Connecting a connection that is still open goes to the new host, not on
// over the old connection that "already connected" would keep.
TEST_F(LoopbackTest, ConnectAgainReachesTheNewHost) {
    KvComSocketImp imp;
    int oldPeer = ConnectPair(imp);
    KvSocketObj other;
    ASSERT_TRUE(other.CreateListeningSocket(0, SOCK_STREAM, "127.0.0.1"));
    ASSERT_TRUE(other.Listen(4));
    CString ip;
    short otherPort = 0;
    other.GetSockName(ip, otherPort);
    ASSERT_EQ(imp.Connect("127.0.0.1", (uint16_t)otherPort), 0);
    EXPECT_EQ(imp.Send("new", 3), 3);
    ASSERT_TRUE(other.IsDataWaiting(1000));
    SOCKET newPeer = INVALID_SOCKET;
    sockaddr addr{};
    ASSERT_TRUE(other.Accept(newPeer, addr));
    char buf[8] = {};
    KvSocketObj peerObj(newPeer);
    EXPECT_EQ(peerObj.Receive(buf, 8, 1000, nullptr, 1), 3);
    EXPECT_STREQ(buf, "new");
    EXPECT_EQ(recv(oldPeer, buf, sizeof(buf), 0), 0);  // the old connection was closed
    close(oldPeer);
    EXPECT_EQ(imp.Receive(buf, 0), 0);  // an empty read leaves the connection alone
    EXPECT_TRUE(imp.IsValid());
}

TEST_F(LoopbackTest, BufferedBytesAreCountedWithoutTouchingTheSocket) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    WriteAll(peer, "abcdef");
    char buf[8] = {};
    EXPECT_EQ(imp.Receive(buf, 2), 2);
    EXPECT_STREQ(buf, "ab");
    ResetAndClose(peer);  // the socket now reports a reset, the buffer does not
    EXPECT_EQ(imp.DataWaiting(0), 4);
    EXPECT_EQ(imp.Receive(buf, 8), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
}

TEST_F(LoopbackTest, PeerCloseGivesZeroOnceThenClosed) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    close(peer);
    EXPECT_EQ(imp.DataWaiting(1000), 0);
    EXPECT_FALSE(imp.IsValid());
    EXPECT_EQ(imp.DataWaiting(0), -6);
    char buf[4];
    EXPECT_EQ(imp.Receive(buf, 4), -6);

    KvComSocketImp second;
    peer = ConnectPair(second);
    close(peer);
    EXPECT_EQ(second.Receive(buf, 4), 0);
    EXPECT_EQ(second.Receive(buf, 4), -6);
}

TEST_F(LoopbackTest, PeerResetIsAClosedConnection) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    ResetAndClose(peer);
    char buf[4];
    EXPECT_EQ(imp.Receive(buf, 4), -6);
    EXPECT_EQ(imp.GetSocketObj().GetErrorCode(), 10054);
    EXPECT_FALSE(imp.IsValid());
    EXPECT_EQ(imp.Send("x", 1), -6);
}

TEST_F(LoopbackTest, StalledPeerTimesOutWithTheConnectionLayersError) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    imp.m_nTimeOut = 150;
    char buf[4];
    int got = 0;
    auto start = Clock::now();
    EXPECT_TRUE(testwait::ReturnsWithin([&] { got = imp.Receive(buf, 4); }, [&] { shutdown(peer, SHUT_RDWR); }));
    EXPECT_EQ(got, -8);
    EXPECT_GE(MsSince(start), 140);  // a time-out never ends early (the slack is the clocks' grain)
    EXPECT_EQ(imp.m_nErrorCode, -8);
    EXPECT_EQ(imp.GetSocketObj().GetErrorCode(), 25860);
    EXPECT_EQ(imp.GetSocketObj().GetErrorMsg(), "Unknown WinSock Error Number 25860");
    // A later clean close is still a plain end, not the old time-out.
    close(peer);
    EXPECT_EQ(imp.Receive(buf, 4), 0);
}

TEST_F(LoopbackTest, ReceiveLineSplitsAtLineEndsAndSize) {
    KvComObject com;
    auto* imp = new KvComSocketImp;
    com.Attach(imp);
    int peer = ConnectPair(*imp);
    WriteAll(peer, "abc\r\nxyz\nlonger line\r\n");
    char buf[8];
    EXPECT_EQ(com.ReceiveLine(buf, 1), 0);  // room for the terminator only
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(com.ReceiveLine(buf, 4), 3);  // exactly size - 1: the CR LF stays
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(com.ReceiveLine(buf, 4), 0);
    EXPECT_EQ(com.ReceiveLine(buf, 8), 3);
    EXPECT_STREQ(buf, "xyz");
    EXPECT_EQ(com.ReceiveLine(buf, 8), 7);
    EXPECT_STREQ(buf, "longer ");
    EXPECT_EQ(com.ReceiveLine(buf, 8), 4);
    EXPECT_STREQ(buf, "line");
    close(peer);
    EXPECT_EQ(com.ReceiveLine(buf, 8), 0);
    EXPECT_EQ(com.ReceiveLine(buf, 8), -6);
}

TEST_F(LoopbackTest, FilesGoBothWaysAndBadFilesAreCodes) {
    char dir[] = "/tmp/kvsockXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string src = std::string(dir) + "/src.bin", dst = std::string(dir) + "/dst.bin",
                empty = std::string(dir) + "/empty";
    std::string content(300000, '\0');
    for (size_t i = 0; i < content.size(); i++) content[i] = (char)(i * 7);
    FILE* f = fopen(src.c_str(), "wb");
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    fclose(fopen(empty.c_str(), "wb"));

    KvComObject sender, receiver;
    sender.Attach(new KvComSocketImp);
    auto* rimp = new KvComSocketImp;
    receiver.Attach(rimp);
    int peer = ConnectPair(*static_cast<KvComSocketImp*>(sender.Imp()));
    rimp->Attach(peer);
    fcntl(peer, F_SETFL, fcntl(peer, F_GETFL) | O_NONBLOCK);

    EXPECT_EQ(sender.SendFile(empty.c_str()), -4);
    EXPECT_EQ(sender.SendFile((std::string(dir) + "/missing").c_str()), -4);
    EXPECT_EQ(receiver.ReceiveFile("/nonexistent-dir/x"), -3);
    int received = 0;
    std::thread rx([&] { received = receiver.ReceiveFile(dst.c_str()); });
    EXPECT_EQ(sender.SendFile(src.c_str()), (int)content.size());
    sender.Disconnect(1);
    rx.join();
    EXPECT_EQ(received, (int)content.size());
    std::string back;
    f = fopen(dst.c_str(), "rb");
    back.resize(content.size() + 1);
    back.resize(fread(back.data(), 1, back.size(), f));
    fclose(f);
    EXPECT_TRUE(back == content);
    std::string cmd = std::string("rm -rf ") + dir;
    EXPECT_EQ(system(cmd.c_str()), 0);
}

// A connection that hands out `total` bytes of zeros and swallows what
// is sent, without touching a socket.
class EndlessImp : public KvComObjectImp {
public:
    explicit EndlessImp(int64_t total) : m_left(total) {}
    int Connect(const char*, int) override { return 0; }
    int Disconnect(int) override { return 0; }
    int DataWaiting(int) override { return 0; }
    int Receive(char*, int size) override {
        int n = m_left < size ? (int)m_left : size;
        m_left -= n;
        return n;
    }
    int Send(const char*, int length) override { return length; }

private:
    int64_t m_left;
};

// A transfer beyond 2 GiB must not wrap the int result into a negative,
// error-looking count (nor overflow on the way).
TEST(ComObjectFiles, TransfersBeyondTwoGigabytesReportTheLargestCount) {
    const int64_t huge = (int64_t)INT32_MAX + 65536 * 3;
    KvComObject receiver;
    receiver.Attach(new EndlessImp(huge));
    EXPECT_EQ(receiver.ReceiveFile("/dev/null"), INT32_MAX);

    char path[] = "/tmp/kvhugeXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, huge), 0);  // sparse: nothing is written to disk
    close(fd);
    KvComObject sender;
    sender.Attach(new EndlessImp(0));
    EXPECT_EQ(sender.SendFile(path), INT32_MAX);
    unlink(path);
}

TEST_F(LoopbackTest, ComObjectWithoutImplementationSaysSo) {
    KvComObject com;
    char buf[4];
    EXPECT_EQ(com.Connect("127.0.0.1", m_port), -2);
    EXPECT_EQ(com.Receive(buf, 4), -2);
    EXPECT_EQ(com.Send("x"), -2);
    EXPECT_EQ(com.DataWaiting(0), -2);
    EXPECT_FALSE(com.IsValid());
    auto* imp = new KvComSocketImp;
    com.Attach(imp, FALSE);
    EXPECT_EQ(com.SetTimeOut(1234), 0);
    EXPECT_EQ(com.GetTimeOut(), 1234);
    EXPECT_EQ(com.Detach(), imp);  // not owned: still ours to delete
    delete imp;
}

// A sender whose peer stops reading gives up once the time-out passes
// without progress; a slow but steady reader never trips it.
TEST_F(LoopbackTest, BlockedSendFailsOnlyWithoutProgress) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    imp.m_nTimeOut = 300;
    std::string big(8 * 1024 * 1024, 'x');
    int sent = 0;
    auto start = Clock::now();
    EXPECT_TRUE(testwait::ReturnsWithin([&] { sent = imp.Send(big.data(), (int)big.size()); },
                                        [&] { shutdown(peer, SHUT_RDWR); }));
    EXPECT_EQ(sent, -8);
    EXPECT_GE(MsSince(start), 290);  // a time-out never ends early
    close(peer);

    // The reader pauses 100 ms after every 512 KiB: 16 pauses take longer
    // than the whole time-out, and each is a tenth of it.
    KvComSocketImp slow;
    peer = ConnectPair(slow);
    slow.m_nTimeOut = 1000;
    std::atomic<size_t> got{0};
    std::thread reader([&] {
        char buf[16384];
        ssize_t n;
        while ((n = recv(peer, buf, sizeof(buf), 0)) > 0) {
            got += (size_t)n;
            if (got % (512 * 1024) < sizeof(buf)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    EXPECT_EQ(slow.Send(big.data(), (int)big.size()), (int)big.size());
    slow.Disconnect(0);
    reader.join();
    close(peer);
    EXPECT_EQ(got.load(), big.size());
}

TEST_F(LoopbackTest, WaitingReceiveEndsOnTimeOutOrStopFlag) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    KvSocketObj& sock = imp.GetSocketObj();
    char buf[16];
    int stop = 0;
    auto start = Clock::now();
    EXPECT_EQ(sock.Receive(buf, 16, 100, &stop, 1), -1);
    EXPECT_EQ(sock.GetErrorCode(), 10060);
    EXPECT_GE(MsSince(start), 95);  // a time-out never ends early

    // The flag is set once the receive waits; only the flag can end it
    // with 0 (its own time-out gives -1).
    const pid_t receiver = gettid();
    std::thread setter([&] {
        testwait::WaitAsleep(receiver);
        std::atomic_ref<int>(stop).store(1);
    });
    EXPECT_EQ(sock.Receive(buf, 16, 60000, &stop, 1), 0);
    setter.join();

    WriteAll(peer, "hello");
    EXPECT_EQ(sock.Receive(buf, 16, 1000, &stop, 1), 5);
    close(peer);
}

TEST_F(LoopbackTest, GracefulDisconnectDrainIsBounded) {
    // A peer that neither sends nor closes holds the drain for about 1 s.
    KvComSocketImp quiet;
    int peer = ConnectPair(quiet);
    auto start = Clock::now();
    EXPECT_TRUE(testwait::ReturnsWithin([&] { quiet.Disconnect(0); }, [&] { shutdown(peer, SHUT_RDWR); }));
    EXPECT_GE(MsSince(start), 900);  // a time-out never ends early
    close(peer);

    // A peer that keeps sending is cut off after 64 KiB: in the second
    // the drain may last it would take far more from a flood than the
    // buffers of a connection hold.
    KvComSocketImp flood;
    peer = ConnectPair(flood);
    std::atomic<bool> done{false};
    std::atomic<size_t> sent{0};
    std::thread writer([&] {
        std::string chunk(16384, 'f');
        ssize_t n;
        while (!done && (n = send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL)) > 0) sent += (size_t)n;
    });
    const int ours = flood.GetSocketObj().GetHandle();
    ASSERT_TRUE(testwait::WaitUntil([&] {
        int unread = 0;
        return ioctl(ours, SIOCINQ, &unread) == 0 && unread > 0;
    }));
    flood.Disconnect(0);
    EXPECT_FALSE(flood.IsValid());
    // The close with unread bytes resets the connection, which ends the writer.
    EXPECT_TRUE(testwait::ReturnsWithin([&] { writer.join(); }, [&] {
        done = true;
        shutdown(peer, SHUT_RDWR);
    }));
    EXPECT_LT(sent.load(), 32u << 20);
    close(peer);
}

TEST_F(LoopbackTest, WaitOnTwoConnectionsReportsTheReadyOne) {
    KvComSocketImp first, second;
    int peer1 = ConnectPair(first), peer2 = ConnectPair(second);
    int fds[2] = {first.GetSocketObj().GetHandle(), second.GetSocketObj().GetHandle()};
    int ready = -1;
    EXPECT_EQ(KvSocketWaitAny(fds, 2, POLLIN, KvDeadlineAfter(30), &ready), KvWait::TimedOut);
    WriteAll(peer2, "x");
    EXPECT_EQ(KvSocketWaitAny(fds, 2, POLLIN, KvDeadlineAfter(1000), &ready), KvWait::Ready);
    EXPECT_EQ(ready, 1);
    close(peer1);
    close(peer2);
}

// A KvThread whose run blocks in a receive until it is told to stop.
class BlockedReceiver : public KvThread {
public:
    KvComSocketImp* imp = nullptr;
    std::atomic<int> result{1};
    std::atomic<pid_t> tid{0};
    ~BlockedReceiver() override { Kill(); }

protected:
    void OnRunThread() override {
        tid = gettid();
        char buf[4];
        result = imp->Receive(buf, 4);
    }
};

TEST_F(LoopbackTest, StopRequestEndsABlockedReceiveAtOnce) {
    KvComSocketImp imp;
    int peer = ConnectPair(imp);
    BlockedReceiver thread;
    thread.imp = &imp;
    ASSERT_TRUE(thread.Create(INFINITE));
    thread.Run();
    // Blocked in its receive, whose time-out (180 s) is far beyond the guard.
    ASSERT_TRUE(testwait::WaitUntil([&] { return thread.tid.load() != 0; }));
    ASSERT_TRUE(testwait::WaitAsleep(thread.tid.load()));
    EXPECT_TRUE(testwait::ReturnsWithin([&] { thread.Stop(); }, [&] { shutdown(peer, SHUT_RDWR); }));
    EXPECT_EQ(thread.result.load(), -8);
    EXPECT_TRUE(imp.IsValid());  // a stop is not a broken connection
    close(peer);
}

}  // namespace
