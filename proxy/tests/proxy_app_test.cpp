// The proxy application in-process: configuration, online state, lists,
// the listen address, and the copy of the body kept for the cache.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/tests/test_waits.h"
#include "inet/match/KvMatchList.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvProxyServer.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"

namespace {

struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/kvproxy-app-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(path + "/" + name, std::ios::binary) << text;
        return path + "/" + name;
    }
};

// An application configured from `ini` (written into a fresh folder).
struct AppFixture {
    TempDir dir;
    KvWebProxyApp app;
    int init = 0;
    explicit AppFixture(const std::string& ini) {
        app.m_strConfigFile = dir.Write("kvproxy.ini", ini).c_str();
        init = app.InitInstance();
    }
    ~AppFixture() { app.ExitInstance(); }
};

std::string Base(const std::string& dir) { return "[Directories]\nbasepath=" + dir + "\n"; }

int ConnectTo(const char* ip, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, ip, &addr.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    close(fd);
    return -1;
}

std::string ReadAll(int fd) {
    std::string out;
    char buf[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10000) <= 0) break;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, (size_t)n);
    }
    return out;
}

}  // namespace

TEST(ProxyConfigTest, MissingKeysTakeTheirDefaults) {
    TempDir data;
    AppFixture f(Base(data.path) + "[Proxy]\n");
    ASSERT_EQ(f.init, 1);
    EXPECT_EQ(f.app.m_strListenHost, "127.0.0.1");
    EXPECT_EQ(f.app.m_nListenPort, 8168);
    EXPECT_EQ(f.app.m_nForwardPort, 0);
    EXPECT_EQ(f.app.m_nRecTimeout, 180000);
    EXPECT_EQ(f.app.m_nCacheExpiredDays, 3650);
    EXPECT_EQ(f.app.m_bTunnel, 0);
    EXPECT_EQ(f.app.m_nMaxCacheCopy, 16u << 20);
    EXPECT_EQ(f.app.m_nDebugMask, 0x4000);
    EXPECT_EQ(f.app.m_bUseWhiteList, 0);
    EXPECT_EQ(f.app.m_strWhiteListFile, "whitelist.txt");
    // An application not yet configured holds the same values, so nothing
    // depends on whether it has read its file.
    KvWebProxyApp made;
    EXPECT_EQ(made.m_strListenHost, f.app.m_strListenHost);
    EXPECT_EQ(made.m_nListenPort, f.app.m_nListenPort);
    EXPECT_EQ(made.m_nRecTimeout, f.app.m_nRecTimeout);
    EXPECT_EQ(made.m_nCacheExpiredDays, f.app.m_nCacheExpiredDays);
    EXPECT_EQ(made.m_strTunnelPorts, f.app.m_strTunnelPorts);
    EXPECT_EQ(made.m_nMaxCacheCopy, f.app.m_nMaxCacheCopy);
    EXPECT_EQ(made.m_bUseWhiteList + made.m_bUseBlackList + made.m_bUsePopUpFilter + made.m_bUseNoCacheList, 0);
    struct stat st;
    for (const char* sub : {"/Cache", "/Log", "/Temp"}) EXPECT_EQ(stat((data.path + sub).c_str(), &st), 0) << sub;
}

TEST(ProxyConfigTest, KeysAreReadAndOddValuesFallBack) {
    TempDir data;
    AppFixture f(Base(data.path + "/") +
                 "[Proxy]\nListen=:9000\nForward=up.example:3128\nRecTimeout=30\nCacheExpiredDays=-4\n"
                 "Tunnel=1\nTunnelPorts=443,8443\nMaxCacheBody=2\nKeepAliveTimeout=0\nHeadTimeout=0\n[General]\nUseBlackList=1\n[Debugging]\ndebug=8192\n");
    ASSERT_EQ(f.init, 1);
    EXPECT_EQ(f.app.m_strBasePath, data.path.c_str());  // the final "/" is dropped
    EXPECT_EQ(f.app.m_strListenHost, "127.0.0.1");      // no host: the loopback address, never all
    EXPECT_EQ(f.app.m_nListenPort, 9000);
    EXPECT_EQ(f.app.m_strForwardHost, "up.example");
    EXPECT_EQ(f.app.m_nForwardPort, 3128);
    EXPECT_EQ(f.app.m_nRecTimeout, 30000);
    EXPECT_EQ(f.app.m_nCacheExpiredDays, 3650);
    EXPECT_EQ(f.app.m_bTunnel, 1);
    EXPECT_EQ(f.app.m_strTunnelPorts, "443,8443");
    EXPECT_EQ(f.app.m_nMaxCacheCopy, 2u << 20);
    EXPECT_EQ(f.app.m_nKeepAliveTimeout, 0);  // 0 means something here: close after each answer
    EXPECT_EQ(f.app.m_nHeadTimeout, 30000);   // but a head always has a deadline
    EXPECT_EQ(f.app.m_bUseBlackList, 1);
    EXPECT_EQ(f.app.m_nDebugMask, 8192 | 0x4000);
}

TEST(ProxyConfigTest, RelativeBasePathIsTakenFromTheFilesFolder) {
    AppFixture f("[Directories]\nbasepath=data\n[Proxy]\nRecTimeout=0\nKeepAliveTimeout=soon\n");
    ASSERT_EQ(f.init, 1);
    EXPECT_EQ(f.app.m_strBasePath, (f.dir.path + "/data").c_str());
    EXPECT_EQ(f.app.m_nRecTimeout, 180000);
    EXPECT_EQ(f.app.m_nKeepAliveTimeout, 60000);
}

TEST(ProxyConfigTest, MissingFileOrProxySectionStopsStartUp) {
    TempDir dir;
    KvWebProxyApp missing;
    missing.m_strConfigFile = (dir.path + "/none.ini").c_str();
    EXPECT_EQ(missing.InitInstance(), 0);
    missing.ExitInstance();
    AppFixture noProxy(Base(dir.path) + "[General]\nUseWhiteList=1\n");
    EXPECT_EQ(noProxy.init, 0);
    KvWebProxyApp manual;
    manual.m_bReadConfigFiles = 0;
    EXPECT_EQ(manual.InitInstance(), 0);
    manual.ExitInstance();
}

TEST(ProxyOnlineTest, FailuresWithinAMinuteOfASuccessStayOnline) {
    KvWebProxyApp app;
    EXPECT_EQ(app.IsOnline(), 0);
    app.SetOnline(1);
    for (int i = 0; i < 3; ++i) app.SetOnline(0);
    EXPECT_EQ(app.IsOnline(), 1);
    app.m_dwLastOnlineChange -= 61000;  // the success lies more than 60 s back
    app.SetOnline(0);
    EXPECT_EQ(app.IsOnline(), 0);
}

TEST(ProxyListTest, ListsArePreparedOnceAndAnswerFromManyThreads) {
    TempDir data;
    data.Write("blacklist.txt", "*ads.example*\n");
    data.Write("popupfilter.txt", "*popup.example*\n");
    const KvPortalHosts saved = KvGetPortalHosts();
    AppFixture f(Base(data.path) +
                 "[Proxy]\n[General]\nUseBlackList=1\nUsePopUpFilter=1\nUseNoCacheList=0\nPortalDomain=portal.test\n");
    ASSERT_EQ(f.init, 1);
    std::atomic<int> blocked{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            CString rule;
            if (f.app.IsInBlackList("http://ads.example/x.js", rule) && rule == "*ads.example*") ++blocked;
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(blocked.load(), 8);
    CString rule;
    EXPECT_EQ(f.app.IsInBlackList("http://clean.example/", rule), 0);
    EXPECT_EQ(f.app.IsMatchPopUpFilter("http://popup.example/w"), 1);
    EXPECT_EQ(f.app.IsMatchNoCacheList("http://anything/"), 0);
    // A referer on the portal's own domain lets anything through, list or not.
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://www.portal.test/page"), 1);
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", ".portal.test/"), 0);
    // The portal itself counts; a foreign page naming the domain in its path,
    // query or user part, or a look-alike host, does not.
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://PORTAL.test:8080/"), 1);
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://evil.example/x.portal.test/"), 0);
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://evil.example/?r=.portal.test/"), 0);
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://www.portal.test@evil.example/"), 0);
    EXPECT_EQ(f.app.IsInWhiteList("http://elsewhere.example/", "http://notportal.test/"), 0);
    KvSetPortalHosts(saved);
}

TEST(ProxyListTest, UnsetPortalHostsWhiteListOnlyThePortalsDomain) {
    KvWebProxyApp app;  // hands the portal's entries to every white list
    KvMatchList list;
    list.AddKavoriItems();
    ASSERT_EQ(list.GetTheList().GetCount(), 1);  // no bare "*./*" for the unset hosts
    list.InitTheList();
    EXPECT_TRUE(list.IsMatch("http://search.kvproxy.home.arpa/"));
    EXPECT_FALSE(list.IsMatch("http://www.unrelated.org/"));
}

TEST(ProxyAppTest, SearchToolParametersMergeWithoutRegardToCase) {
    KvWebProxyApp app;
    CsStrMap first;
    first.AddTail("Engine", "a");
    first.AddTail("lang", "en");
    app.SaveSeToolsParams(&first);
    CsStrMap second;
    second.AddTail("ENGINE", "b");
    second.AddTail("safe", "1");
    app.SaveSeToolsParams(&second);
    EXPECT_STREQ(app.GetSeToolsParams()->ILookup("engine"), "b");
    EXPECT_STREQ(app.GetSeToolsParams()->ILookup("safe"), "1");
    EXPECT_EQ(app.GetSeToolsParams()->Size(), 3);
}

TEST(ProxyListenTest, TheDefaultAddressIsNotReachableFromTheNetwork) {
    TempDir data;
    AppFixture f(Base(data.path) + "[Proxy]\n");
    ASSERT_EQ(f.init, 1);
    f.app.m_nListenPort = 0;  // any free port, on the configured (default) host
    ASSERT_EQ(f.app.StartProxy(), 1);
    const int port = (int)f.app.GetBoundPort();
    ASSERT_GT(port, 0);
    int local = ConnectTo("127.0.0.1", port);
    EXPECT_GE(local, 0);
    if (local >= 0) close(local);

    std::string other;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i && other.empty(); i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
            char text[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
            if (std::strncmp(text, "127.", 4) != 0) other = text;
        }
        freeifaddrs(list);
    }
    f.app.StopProxy();
    if (other.empty()) GTEST_SKIP() << "no address other than loopback here";
    ASSERT_EQ(f.app.StartProxy(), 1);
    int remote = ConnectTo(other.c_str(), (int)f.app.GetBoundPort());
    EXPECT_LT(remote, 0) << "reachable on " << other;
    if (remote >= 0) close(remote);
}

TEST(ProxyListenTest, ATakenPortIsReported) {
    TempDir data;
    AppFixture first(Base(data.path) + "[Proxy]\n");
    first.app.m_nListenPort = 0;
    ASSERT_EQ(first.app.StartProxy(), 1);
    const int port = (int)first.app.GetBoundPort();
    KvWebProxyApp second;
    second.m_strListenHost = "127.0.0.1";
    second.m_nListenPort = port;
    EXPECT_EQ(second.StartProxy(), 0);
    EXPECT_EQ(second.GetStartError(), 10048);
    EXPECT_EQ(second.GetProxyServer(), nullptr);
}

// ---------------------------------------------------------------------------
// The copy of the body kept for the cache.

namespace {

struct Outcome {
    int complete = -1;
    int dropped = -1;
    int saveToCache = -1;
    size_t copySize = 0;
    std::string contentLength;
};
std::mutex g_outcomeLock;
Outcome g_outcome;

// A request that wants the answer for the cache, as the cache extension does.
class CachingRequest : public KvProxyRequest {
    DECLARE_DYNCREATE(CachingRequest)
protected:
    int ResponseForwarded() override {
        m_bSaveToCache = 1;
        int result = KvProxyRequest::ResponseForwarded();
        std::lock_guard<std::mutex> guard(g_outcomeLock);
        g_outcome.complete = m_bBodyComplete;
        g_outcome.dropped = m_bBodyCopyDropped;
        g_outcome.saveToCache = m_bSaveToCache;
        g_outcome.copySize = m_response.m_bufBody.GetCount();
        const char* length = m_response.GetHeaderValue("Content-Length");
        g_outcome.contentLength = length ? length : "";
        return result;
    }
};
IMPLEMENT_DYNCREATE(CachingRequest, KvProxyRequest)

class CachingServer : public KvProxyServer {
    DECLARE_DYNCREATE(CachingServer)
public:
    CachingServer() { SetRTRequest(RUNTIME_CLASS(CachingRequest)); }
    ~CachingServer() override { Kill(); }
};
IMPLEMENT_DYNCREATE(CachingServer, KvProxyServer)

// Answers every connection with the same bytes, then closes.
class OneAnswerOrigin {
public:
    explicit OneAnswerOrigin(std::string answer) : m_answer(std::move(answer)) {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(m_fd, 8);
        socklen_t len = sizeof addr;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] {
            int c = accept(m_fd, nullptr, nullptr);
            if (c < 0) return;
            char buf[4096];
            recv(c, buf, sizeof buf, 0);
            send(c, m_answer.data(), m_answer.size(), MSG_NOSIGNAL);
            close(c);
        });
    }
    ~OneAnswerOrigin() {
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }
    int Port() const { return m_port; }

private:
    std::string m_answer;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

Outcome Fetch(KvWebProxyApp& app, const std::string& answer, std::string* received = nullptr) {
    OneAnswerOrigin origin(answer);
    {
        std::lock_guard<std::mutex> guard(g_outcomeLock);
        g_outcome = Outcome{};
    }
    int fd = ConnectTo("127.0.0.1", (int)app.GetBoundPort());
    std::string request = "GET http://127.0.0.1:" + std::to_string(origin.Port()) + "/x HTTP/1.0\r\n\r\n";
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got = ReadAll(fd);
    close(fd);
    if (received) *received = got;
    // The request thread records after the browser is served.
    const bool recorded = testwait::WaitUntil([] {
        std::lock_guard<std::mutex> guard(g_outcomeLock);
        return g_outcome.complete >= 0;
    });
    std::lock_guard<std::mutex> guard(g_outcomeLock);
    return recorded ? g_outcome : Outcome{};
}

}  // namespace

TEST(ProxyCacheCopyTest, CopyIsCappedAndABodyCutShortIsNotForTheCache) {
    TempDir data;
    AppFixture f(Base(data.path) + "[Proxy]\nMaxCacheBody=1\nRecTimeout=5\n");
    ASSERT_EQ(f.init, 1);
    f.app.SetProxyServerClass(RUNTIME_CLASS(CachingServer));
    f.app.m_nListenPort = 0;
    ASSERT_EQ(f.app.StartProxy(), 1);

    std::string small(512 * 1024, 's');
    Outcome kept = Fetch(f.app, "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(small.size()) + "\r\n\r\n" + small);
    EXPECT_EQ(kept.complete, 1);
    EXPECT_EQ(kept.dropped, 0);
    EXPECT_EQ(kept.saveToCache, 1);
    EXPECT_EQ(kept.copySize, small.size());

    std::string large(3 * 1024 * 1024, 'L');
    std::string received;
    Outcome over = Fetch(f.app, "HTTP/1.0 200 OK\r\n\r\n" + large, &received);
    EXPECT_EQ(over.complete, 1);
    EXPECT_EQ(over.dropped, 1);
    EXPECT_EQ(over.saveToCache, 0);
    EXPECT_EQ(over.copySize, 0u);
    EXPECT_EQ(received.size() - received.find("\r\n\r\n") - 4, large.size()) << "relayed in full all the same";

    Outcome chunked = Fetch(f.app, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n");
    EXPECT_EQ(chunked.complete, 1);
    EXPECT_EQ(chunked.copySize, 5u);
    EXPECT_EQ(chunked.contentLength, "5");

    Outcome cut = Fetch(f.app, "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly this");
    EXPECT_EQ(cut.complete, 0);
    EXPECT_EQ(cut.saveToCache, 0);
}

namespace {

std::atomic<long> g_heldAfterDispatch{-1};

// Records how much body memory the request still holds once an exchange
// is over (the thread then idles in the pool until its next connection).
class HoldingRequest : public KvProxyRequest {
    DECLARE_DYNCREATE(HoldingRequest)
protected:
    int ResponseForwarded() override {
        m_bSaveToCache = 1;
        return KvProxyRequest::ResponseForwarded();
    }
    BOOL DispatchRequest() override {
        BOOL result = KvProxyRequest::DispatchRequest();
        g_heldAfterDispatch = (long)(m_bufRemote.GetAllocSize() + m_request.m_bufBody.GetAllocSize() +
                                     m_response.m_bufBody.GetAllocSize());
        return result;
    }
};
IMPLEMENT_DYNCREATE(HoldingRequest, KvProxyRequest)

class HoldingServer : public KvProxyServer {
    DECLARE_DYNCREATE(HoldingServer)
public:
    HoldingServer() { SetRTRequest(RUNTIME_CLASS(HoldingRequest)); }
    ~HoldingServer() override { Kill(); }
};
IMPLEMENT_DYNCREATE(HoldingServer, KvProxyServer)

}  // namespace

TEST(ProxyMemoryTest, AnIdleRequestThreadHoldsNoBodyOfItsLastExchange) {
    TempDir data;
    AppFixture f(Base(data.path) + "[Proxy]\nRecTimeout=5\n");
    ASSERT_EQ(f.init, 1);
    f.app.SetProxyServerClass(RUNTIME_CLASS(HoldingServer));
    f.app.m_nListenPort = 0;
    ASSERT_EQ(f.app.StartProxy(), 1);

    const std::string answer(2 << 20, 'a');
    const std::string body(4 << 20, 'b');
    // An origin that reads the whole request before it answers.
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    listen(listener, 4);
    socklen_t len = sizeof addr;
    getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    struct { int Port() const { return port; } int port; } origin{ntohs(addr.sin_port)};
    std::thread server([&] {
        int c = accept(listener, nullptr, nullptr);
        if (c < 0) return;
        std::string in;
        char buf[65536];
        while (in.find("\r\n\r\n") == std::string::npos || in.size() - in.find("\r\n\r\n") - 4 < body.size()) {
            pollfd p{c, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0) break;
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            in.append(buf, (size_t)n);
        }
        std::string out = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(answer.size()) + "\r\n\r\n" + answer;
        send(c, out.data(), out.size(), MSG_NOSIGNAL);
        close(c);
    });
    int fd = ConnectTo("127.0.0.1", (int)f.app.GetBoundPort());
    std::string request = "POST http://127.0.0.1:" + std::to_string(origin.Port()) +
                          "/up HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got = ReadAll(fd);
    close(fd);
    server.join();
    close(listener);
    EXPECT_EQ(got.size() - got.find("\r\n\r\n") - 4, answer.size());
    EXPECT_TRUE(testwait::WaitUntil([] { return g_heldAfterDispatch >= 0; }));
    EXPECT_LT(g_heldAfterDispatch.load(), 64 * 1024) << "a request body and a cache copy of megabytes stay behind";
}
