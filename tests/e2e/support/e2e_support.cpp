// Sockets of the end-to-end tests: the raw client, the origin servers
// and the parser of answers.
#include "tests/e2e/support/e2e_support.h"

#include "base/tests/test_waits.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

// ---------------------------------------------------------------------------
// Conn

Conn::~Conn() { Close(); }

namespace {

// A loopback address of either family with the port filled in.
socklen_t LoopbackAddress(const char* host, int port, sockaddr_storage& out) {
    out = {};
    if (std::strchr(host, ':')) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&out);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons((uint16_t)port);
        inet_pton(AF_INET6, host, &v6->sin6_addr);
        return sizeof *v6;
    }
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out);
    v4->sin_family = AF_INET;
    v4->sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, host, &v4->sin_addr);
    return sizeof *v4;
}

}  // namespace

Conn Conn::ConnectTo(int port, const char* host) {
    sockaddr_storage addr;
    socklen_t length = LoopbackAddress(host, port, addr);
    int fd = socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        close(fd);
        return Conn(-1);
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return Conn(fd);
}

void Conn::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

void Conn::ShutdownWrite() {
    if (m_fd >= 0) shutdown(m_fd, SHUT_WR);
}

void Conn::Reset() {
    if (m_fd < 0) return;
    linger hard{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

bool Conn::Write(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

int Conn::ReadSome(char* buf, size_t size, int timeoutMs) {
    if (m_fd < 0) return -1;
    pollfd p{m_fd, POLLIN, 0};
    int r = poll(&p, 1, timeoutMs);
    if (r == 0) return -2;
    if (r < 0) return -1;
    ssize_t n = recv(m_fd, buf, size, 0);
    return n < 0 ? -1 : (int)n;
}

std::string Conn::ReadHead(int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    char buf[4096];
    for (;;) {
        size_t end = m_pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string head = m_pending.substr(0, end + 4);
            m_pending.erase(0, end + 4);
            return head;
        }
        int left = (int)(deadline - NowMs());
        if (left <= 0) return std::string();
        int n = ReadSome(buf, sizeof buf, left);
        if (n <= 0) return std::string();
        m_pending.append(buf, (size_t)n);
    }
}

std::string Conn::ReadExact(size_t n, int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    std::string out;
    size_t take = std::min(n, m_pending.size());
    out.append(m_pending, 0, take);
    m_pending.erase(0, take);
    std::string buf(64 * 1024, '\0');
    while (out.size() < n) {
        int left = (int)(deadline - NowMs());
        if (left <= 0) break;
        int got = ReadSome(buf.data(), std::min(buf.size(), n - out.size()), left);
        if (got <= 0) break;
        out.append(buf.data(), (size_t)got);
    }
    return out;
}

bool Conn::Drain(const std::function<void(const char*, size_t)>& sink, int timeoutMs, bool* reset) {
    if (reset) *reset = false;
    if (!m_pending.empty()) {
        sink(m_pending.data(), m_pending.size());
        m_pending.clear();
    }
    std::string buf(256 * 1024, '\0');
    for (;;) {
        int n = ReadSome(buf.data(), buf.size(), timeoutMs);
        if (n == 0) return true;
        if (n == -2) return false;
        if (n < 0) {
            if (reset) *reset = errno == ECONNRESET;
            return true;
        }
        sink(buf.data(), (size_t)n);
    }
}

std::string Conn::ReadAll(int timeoutMs, bool* reset, bool* timedOut) {
    std::string out;
    bool ended = Drain([&out](const char* p, size_t n) { out.append(p, n); }, timeoutMs, reset);
    if (timedOut) *timedOut = !ended;
    return out;
}

bool Conn::WaitClosed(int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    char buf[4096];
    for (;;) {
        int left = (int)(deadline - NowMs());
        if (left <= 0) return false;
        int n = ReadSome(buf, sizeof buf, left);
        if (n == 0 || n == -1) return true;
        if (n == -2) return false;
    }
}

namespace {

// An IPv4 address as /proc/net/tcp writes it.
std::string ProcAddress(const sockaddr_in& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X:%04X", (unsigned)a.sin_addr.s_addr, (unsigned)ntohs(a.sin_port));
    return text;
}

// Whether nothing of mine -> peer waits in my send queue or the peer's
// receive queue.
bool QueuesEmpty(const std::string& mine, const std::string& peer) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    bool sent = false, read = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        if (!(fields >> slot >> local >> remote >> state >> queues)) continue;
        const size_t colon = queues.find(':');
        if (colon == std::string::npos) continue;
        if (local == mine && remote == peer) sent = std::stoul(queues.substr(0, colon), nullptr, 16) == 0;
        if (local == peer && remote == mine) read = std::stoul(queues.substr(colon + 1), nullptr, 16) == 0;
    }
    return sent && read;
}

}  // namespace

bool Conn::WaitDelivered(int timeoutMs) {
    sockaddr_in mine{}, peer{};
    socklen_t length = sizeof mine;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&mine), &length) != 0) return false;
    length = sizeof peer;
    if (getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
    return WaitUntil([&] { return QueuesEmpty(ProcAddress(mine), ProcAddress(peer)); }, timeoutMs);
}

// ---------------------------------------------------------------------------
// Server

Server::Server(Handler handler, const char* host) : m_handler(std::move(handler)) {
    sockaddr_storage addr;
    socklen_t length = LoopbackAddress(host, 0, addr);
    m_listen = socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (m_listen < 0 || bind(m_listen, reinterpret_cast<sockaddr*>(&addr), length) != 0 || listen(m_listen, 128) != 0) {
        if (m_listen >= 0) close(m_listen);
        m_listen = -1;  // Listening() tells; the idle acceptor keeps the destructor simple
    } else {
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length);
        m_port = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);  // same place in both families
    }
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

Server::~Server() {
    m_stop = true;
    m_acceptor.join();
    close(m_listen);
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> guard(m_mx);
        workers.swap(m_workers);
        // A handler waiting for a client's next request (a kept connection)
        // is woken by the end of its connection.
        for (int fd : m_open) shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : workers) t.join();
}

void Server::AcceptLoop() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++m_connections;
        std::lock_guard<std::mutex> guard(m_mx);
        m_open.insert(fd);
        m_workers.emplace_back([this, fd] {
            Conn conn(fd);
            m_handler(conn);
            std::lock_guard<std::mutex> done(m_mx);
            m_open.erase(fd);  // before the connection closes
        });
    }
}

void Server::Record(const std::string& head) {
    std::lock_guard<std::mutex> guard(m_mx);
    m_heads.push_back(head);
}

std::vector<std::string> Server::Heads() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_heads;
}

// ---------------------------------------------------------------------------
// Answers

std::string Answer::Get(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

Answer Parse(const std::string& raw) {
    Answer a;
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) return a;
    std::string head = raw.substr(0, end);
    a.body = raw.substr(end + 4);
    std::istringstream lines(head);
    std::string line;
    std::getline(lines, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    a.statusLine = line;
    size_t space = line.find(' ');
    if (space != std::string::npos) a.status = std::atoi(line.c_str() + space + 1);
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        for (char& c : name) c = (char)std::tolower((unsigned char)c);
        size_t v = line.find_first_not_of(' ', colon + 1);
        a.headers.emplace(name, v == std::string::npos ? std::string() : line.substr(v));
    }
    return a;
}

// ---------------------------------------------------------------------------
// The counting origin

CountingOrigin::CountingOrigin() : m_server([this](Conn& c) { Respond(c); }) {}

std::string CountingOrigin::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

void CountingOrigin::Respond(Conn& c) {
    // Requests one after the other on the connection, as long as the
    // client keeps it (a "/cut" answer ends it).
    while (AnswerOne(c)) {
    }
}

bool CountingOrigin::AnswerOne(Conn& c) {
    std::string head = c.ReadHead();
    if (head.empty()) return false;
    m_server.Record(head);
    const size_t length = (size_t)std::atol(Parse(head + "\r\n\r\n").Get("content-length").c_str());
    if (length) c.ReadExact(length);
    const int n = ++m_count;
    std::string target = head.substr(head.find(' ') + 1);
    target = target.substr(0, target.find(' '));
    const std::string body = "answer " + std::to_string(n) + " " + target;
    if (target.rfind("/cut", 0) == 0) {
        c.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body);
        return false;
    }
    if (target.rfind("/loop", 0) == 0) {
        // A redirect to itself, by a reference relative to the target.
        return c.Write("HTTP/1.1 302 Found\r\nLocation: " + target.substr(target.rfind('/') + 1) +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    const std::string status = target.rfind("/missing", 0) == 0 ? "404 Not Found" : "200 OK";
    const bool html = target.size() > 5 && target.compare(target.size() - 5, 5, ".html") == 0;
    return c.Write("HTTP/1.1 " + status + "\r\nContent-Type: " + (html ? "text/html" : "text/plain") +
                   "\r\nSet-Cookie: visit=" + std::to_string(n) + "\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n\r\n" + body);
}

void EachRequest(Conn& c, const std::function<void(const std::string& head)>& answer, int idleMs) {
    for (std::string head = c.ReadHead(idleMs); !head.empty(); head = c.ReadHead(idleMs)) answer(head);
}

std::string GetRequest(const std::string& url, const std::string& extra) {
    std::string host = url.substr(url.find("//") + 2);
    host = host.substr(0, host.find('/'));
    return "GET " + url + " HTTP/1.1\r\nHost: " + host + "\r\n" + extra + "\r\n";
}

// ---------------------------------------------------------------------------
// Clocks and bytes

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) { return testwait::WaitUntil(done, timeoutMs); }

void ByteStream::Fill(char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (m_left == 0) {
            // xorshift64*: fast, and every byte depends on the seed.
            m_state ^= m_state >> 12;
            m_state ^= m_state << 25;
            m_state ^= m_state >> 27;
            m_word = m_state * 0x2545F4914F6CDD1Dull;
            m_left = 8;
        }
        out[i] = (char)(m_word & 0xFF);
        m_word >>= 8;
        --m_left;
    }
}

}  // namespace e2e
