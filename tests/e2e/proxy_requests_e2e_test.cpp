// Requests the proxy must read one way only, address spellings the lists
// must see through, pages that say what went wrong, loops, the access
// line's byte count and a file site's links, all through the real kvproxy.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

// An origin "127.0.0.1:<port>" base URL with the port written as given.
std::string Base(const std::string& port) { return "http://127.0.0.1:" + port; }

// Answers every request as a proxy would ("ok"), recording the heads.
class RecordingUpstream {
public:
    RecordingUpstream()
        : m_server([this](Conn& c) {
              std::string head = c.ReadHead();
              if (head.empty()) return;
              m_server.Record(head);
              c.Write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
          }) {}
    int Port() const { return m_server.Port(); }
    std::vector<std::string> Heads() { return m_server.Heads(); }

private:
    Server m_server;
};

// A listener whose accept queue is full: a connect to it is never answered.
class SilentListener {
public:
    SilentListener() {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        bind(m_fd, reinterpret_cast<sockaddr*>(&addr), length);
        listen(m_fd, 0);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &length);
        m_port = ntohs(addr.sin_port);
        for (int i = 0; i < 4; ++i) {
            int client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(client, reinterpret_cast<sockaddr*>(&addr), length);
            m_fillers.push_back(client);
        }
    }
    ~SilentListener() {
        for (int fd : m_fillers) close(fd);
        close(m_fd);
    }
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
    std::vector<int> m_fillers;
};

}  // namespace

TEST(RequestsTest, MalformedRequestsGet400AndNeverReachTheOrigin) {
    CountingOrigin origin;
    Proxy proxy(DataFiles{}, "[Proxy]\nRecTimeout=2\n");
    ASSERT_TRUE(proxy.Started());
    const std::string url = origin.Url("/x");
    const std::string host = "Host: 127.0.0.1:" + std::to_string(origin.Port()) + "\r\n";
    const std::string malformed[] = {
        "GET " + origin.Url("/a b") + " HTTP/1.1\r\n" + host + "\r\n",     // a space inside the target
        "GET " + url + " FOO/9\r\n" + host + "\r\n",                        // junk version
        "G\x01T " + url + " HTTP/1.1\r\n" + host + "\r\n",                 // control byte in the method
        "GET " + url + " HTTP/0.9\r\n" + host + "\r\n",
        "GET " + url + "\r\n\r\n",                                          // HTTP/0.9's request line
        "GET " + url + " HTTP/1.1\r\n" + host + "X-A: 1\r\n  folded\r\n\r\n",
        "GET " + url + " HTTP/1.1\r\n" + host + "X-A : 1\r\n\r\n",         // blank before the colon
        "POST " + url + " HTTP/1.1\r\n" + host + "Transfer-Encoding:\r\nContent-Length: 5\r\n\r\nhello",
    };
    for (const std::string& request : malformed) {
        std::string raw = proxy.Exchange(request);
        EXPECT_EQ(FirstLine(raw), "HTTP/1.0 400 Bad Request") << request;
    }
    EXPECT_EQ(origin.Count(), 0);
    EXPECT_EQ(Parse(proxy.Exchange(GetRequest(url))).status, 200);  // the well-formed one passes
}

TEST(RequestsTest, OtherSpellingsOfABlockedAddressAreBlockedToo) {
    CountingOrigin origin;
    const std::string port = std::to_string(origin.Port());
    Proxy proxy({{"blacklist.txt", Base(port) + "/secret*\nhttp://localhost:" + port + "/\n"}},
                    "[Proxy]\nRecTimeout=5\n[General]\nUseBlackList=1\n");
    ASSERT_TRUE(proxy.Started());
    const std::string spellings[] = {
        Base(port) + "/secret",  Base("0" + port) + "/secret", Base(port) + "//secret",
        Base(port) + "/./secret", Base(port) + "/%2e/secret",  Base(port) + "/x/../secret",
        "HTTP://127.0.0.1:" + port + "/secret", "http://user@127.0.0.1:" + port + "/secret",
        "http://localhost:" + port,  // no path
    };
    for (const std::string& url : spellings) {
        Answer a = Parse(proxy.Exchange(GetRequest(url)));
        EXPECT_EQ(a.status, 404) << url;
        EXPECT_NE(a.body.find("903"), std::string::npos) << url;
    }
    EXPECT_EQ(origin.Count(), 0);
}

TEST(RequestsTest, AddressesGoOutInOneSpellingWithTheProxysVia) {
    CountingOrigin origin;
    RecordingUpstream upstream;
    const std::string port = std::to_string(origin.Port());
    Proxy direct(DataFiles{}, "[Proxy]\nRecTimeout=5\n");
    Proxy forwarding(DataFiles{},
                     "[Proxy]\nRecTimeout=5\nForward=127.0.0.1:" + std::to_string(upstream.Port()) + "\n");
    ASSERT_TRUE(direct.Started() && forwarding.Started());

    // Upper-case scheme, a user part and a port with a leading zero.
    const std::string odd = "GET HTTP://user:pw@127.0.0.1:0" + port + "/open HTTP/1.0\r\n\r\n";
    EXPECT_EQ(Parse(direct.Exchange(odd)).status, 200);
    ASSERT_EQ(origin.server().Heads().size(), 1u);
    const std::string head = origin.server().Heads()[0];
    EXPECT_EQ(FirstLine(head), "GET /open HTTP/1.0");
    EXPECT_NE(head.find("Host: 127.0.0.1:" + port + "\r\n"), std::string::npos);
    EXPECT_NE(head.find("Via: 1.0 kvproxy-"), std::string::npos);
    EXPECT_EQ(head.find("user"), std::string::npos);

    EXPECT_EQ(Parse(forwarding.Exchange("GET HTTP://user@Example.TEST:08080/open HTTP/1.1\r\n\r\n")).status, 200);
    ASSERT_EQ(upstream.Heads().size(), 1u);
    EXPECT_EQ(FirstLine(upstream.Heads()[0]), "GET http://example.test:8080/open HTTP/1.1");
    EXPECT_EQ(upstream.Heads()[0].find("user"), std::string::npos);

    // "OPTIONS *" is a question to the proxy itself.
    Answer options = Parse(direct.Exchange("OPTIONS * HTTP/1.1\r\nHost: x\r\n\r\n"));
    EXPECT_EQ(options.status, 200);
    EXPECT_NE(options.Get("allow").find("GET"), std::string::npos);
    EXPECT_EQ(origin.Count(), 1);
}

TEST(RequestsTest, FailedConnectsSayWhatHappened) {
    int closedPort;
    { Server gone([](Conn&) {}); closedPort = gone.Port(); }
    SilentListener silent;
    Proxy proxy(DataFiles{}, "[Proxy]\nRecTimeout=2\n");
    ASSERT_TRUE(proxy.Started());
    struct Case {
        std::string url;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {Base(std::to_string(closedPort)) + "/", 502, "The server refused the connection"},
        {Base(std::to_string(silent.Port())) + "/", 502, "did not answer in time"},
        {"http://nothing.invalid/", 404, "Domain nothing.invalid not found"},
    };
    for (const Case& c : cases) {
        Answer a = Parse(proxy.Exchange(GetRequest(c.url)));
        EXPECT_EQ(a.status, c.status) << c.url;
        EXPECT_NE(a.body.find(c.text), std::string::npos) << c.url;
    }
}

TEST(RequestsTest, LoopsAreAnsweredAtOnce) {
    CountingOrigin origin;
    std::atomic<int> loopPort{0};
    // Passes what it gets on to the proxy: a forward proxy leading back.
    Server relay([&](Conn& c) {
        std::string head = c.ReadHead();
        Conn back = Conn::ConnectTo(loopPort.load());
        // One exchange each way: the proxy ends its connection after it.
        const size_t keep = head.find("Connection: keep-alive");
        if (keep != std::string::npos) head.replace(keep, 22, "Connection: close");
        if (head.empty() || !back.Write(head)) return;
        c.Write(back.ReadAll());
    });
    Proxy proxy(DataFiles{}, "[Proxy]\nRecTimeout=5\n");
    Proxy looping(DataFiles{}, "[Proxy]\nRecTimeout=5\nForward=127.0.0.1:" + std::to_string(relay.Port()) + "\n");
    ASSERT_TRUE(proxy.Started() && looping.Started());
    loopPort = looping.Port();

    const std::string self = std::to_string(proxy.Port());
    // The proxy's own address shows the portal (made at first start; its
    // pages are empty in a data folder without templates).
    for (const std::string& request : {GetRequest("http://127.0.0.1:" + self + "/"),
                                       GetRequest("http://localhost:" + self + "/index.html"),
                                       std::string("GET / HTTP/1.1\r\nHost: 127.0.0.1:" + self + "\r\n\r\n")}) {
        Answer a = Parse(proxy.Exchange(request, 10000));
        EXPECT_EQ(a.status, 200) << request;
        EXPECT_EQ(a.body.find("This address is KvProxy"), std::string::npos) << request;
    }
    // A path the portal does not serve is its own not-found page, never a forward.
    EXPECT_EQ(Parse(proxy.Exchange(GetRequest("http://localhost:" + self + "/any/page"), 10000)).status, 404);
    // A name that leads here only through a changed DNS answer gets the plain page.
    Answer plain = Parse(proxy.Exchange("GET / HTTP/1.1\r\nHost: rebound.test:" + self + "\r\n\r\n", 10000));
    EXPECT_NE(plain.body.find("This address is KvProxy"), std::string::npos);

    Answer loop = Parse(looping.Exchange(GetRequest(origin.Url("/x")), 10000));
    EXPECT_EQ(loop.status, 508);
    EXPECT_NE(loop.body.find("went round in a loop"), std::string::npos);
    EXPECT_EQ(relay.Connections(), 1);
    EXPECT_EQ(origin.Count(), 0);
}

TEST(RequestsTest, AccessLineCountsTheBytesOfAnErrorPage) {
    Proxy proxy(DataFiles{}, "[Proxy]\nRecTimeout=5\n[Debugging]\ndebug=512\n");
    ASSERT_TRUE(proxy.Started());
    Answer a = Parse(proxy.Exchange("GET http://h.test/ FOO/9\r\n\r\n"));
    ASSERT_EQ(a.status, 400);
    const std::string expected = "\"GET http://h.test/ FOO/9\" 400 " + std::to_string(a.body.size());
    std::string log;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (log.find(expected) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        RunProgram({"sh", "-c", "cat \"$0\"/Log/*.log 2>/dev/null", proxy.Dir()}, &log);
    }
    EXPECT_NE(log.find(expected), std::string::npos) << log;
}

TEST(RequestsTest, FileSiteAnswers404ForMissingFilesAndIndexLinksLeavingTheSite) {
    Proxy proxy({{"LocalWeb/Docs.Local/index.html", "home"}, {"secret.txt", "outside the site"}},
                    "[Proxy]\nRecTimeout=5\n");
    ASSERT_TRUE(proxy.Started());
    const std::string site = proxy.Dir() + "/LocalWeb/Docs.Local";
    WriteFile(site + "/linked/other.html", "");  // makes the folder
    ASSERT_EQ(symlink((proxy.Dir() + "/secret.txt").c_str(), (site + "/linked/index.html").c_str()), 0);

    EXPECT_EQ(Parse(proxy.Exchange(GetRequest("http://docs.local/"))).body, "home");
    for (const char* url : {"http://docs.local/nothing-here.html", "http://docs.local/linked/"}) {
        Answer a = Parse(proxy.Exchange(GetRequest(url)));
        EXPECT_EQ(a.status, 404) << url;
        EXPECT_EQ(a.body.find("outside the site"), std::string::npos) << url;
    }
}
