#include "tests/e2e/support/e2e_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace e2e {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

std::string BinaryDir() { return KV_BINARY_DIR; }
std::string SourceDir() { return KV_SOURCE_DIR; }

// ---------------------------------------------------------------------------
// Conn

Conn::~Conn() { Close(); }

Conn Conn::ConnectTo(int port, const char* host) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, host, &addr.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
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

// ---------------------------------------------------------------------------
// Server

Server::Server(Handler handler) : m_handler(std::move(handler)) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(m_listen, 128);
    socklen_t length = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length);
    m_port = ntohs(addr.sin_port);
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
        m_workers.emplace_back([this, fd] {
            Conn conn(fd);
            m_handler(conn);
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
// Files and programs

std::string MakeTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvproxy-e2e-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) return std::string();
    return std::string(buf.data());
}

void RemoveTree(const std::string& dir) {
    if (dir.size() < 8) return;
    nftw(
        dir.c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

int RunProgram(const std::vector<std::string>& argv, std::string* out, std::string* err, int timeoutMs) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return -1;
    }
    const int64_t deadline = NowMs() + timeoutMs;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {out, err};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        int left = (int)(deadline - NowMs());
        if (left <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, left) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else if (sinks[i]) {
                sinks[i]->append(buf, (size_t)n);
            }
        }
    }
    for (pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool HaveCurl() { return RunProgram({"curl", "--version"}) == 0; }

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

// ---------------------------------------------------------------------------
// Proxy

Proxy::Proxy(const std::string& proxySection, const std::string& extraIni, bool withTemplates) {
    m_dir = MakeTempDir();
    if (withTemplates) {
        mkdir((m_dir + "/Template").c_str(), 0755);
        for (const char* name : {"proxy_error.htm", "proxy_msg.htm"}) {
            WriteFile(m_dir + "/Template/" + name, ReadFile(SourceDir() + "/data/Template/" + name));
        }
    }
    WriteFile(m_dir + "/kvproxy.ini", "[Directories]\r\nbasepath=" + m_dir + "\r\n[Proxy]\r\n" + proxySection +
                                          "\r\n" + extraIni + "\r\n");
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    std::string program = BinaryDir() + "/bin/kvproxy";
    std::string config = m_dir + "/kvproxy.ini";
    const char* argv[] = {program.c_str(), "--config", config.c_str(), "--listen", "127.0.0.1:0", nullptr};
    int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    if (rc != 0) {
        m_pid = -1;
        close(outPipe[0]);
        return;
    }
    std::string line;
    const int64_t deadline = NowMs() + 20000;
    char ch;
    while (NowMs() < deadline && line.find('\n') == std::string::npos) {
        pollfd p{outPipe[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        if (read(outPipe[0], &ch, 1) != 1) break;
        line.push_back(ch);
    }
    close(outPipe[0]);
    size_t at = line.find("127.0.0.1:");
    if (at != std::string::npos) m_port = std::atoi(line.c_str() + at + 10);
}

Proxy::~Proxy() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        const int64_t deadline = NowMs() + 10000;
        while (waitpid(m_pid, &status, WNOHANG) == 0) {
            if (NowMs() > deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                break;
            }
            usleep(10000);
        }
    }
    RemoveTree(m_dir);
}

long Proxy::MemoryKb(const char* field) const {
    std::ifstream in("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    const size_t length = std::strlen(field);
    while (std::getline(in, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::atol(line.c_str() + length + 1);
        }
    }
    return -1;
}

std::string Proxy::Exchange(const std::string& request, int timeoutMs) {
    Conn c = Conn::ConnectTo(m_port);
    if (!c.IsOpen() || !c.Write(request)) return std::string();
    return c.ReadAll(timeoutMs);
}

}  // namespace e2e
