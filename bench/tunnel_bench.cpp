// Tunnel benchmark: the time to echo a block of bytes through a CONNECT
// tunnel while it is still being sent (both directions at once), through
// the proxy named on the command line or straight to the echo server.
//
// Usage: tunnel_bench --echo-port P [--proxy HOST:PORT] [--mib N] [--runs R]
// Without --proxy the echo server is reached directly (the baseline).
// The echo server listens on 127.0.0.1:P inside this program; the proxy
// must allow CONNECT to that port. Prints each run and the median.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int ConnectTo(const char* host, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, host, &addr.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        p += w;
        n -= (size_t)w;
    }
    return true;
}

// Echoes each connection until its peer ends, then ends its own side.
void EchoServer(int listenFd) {
    for (;;) {
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::thread([fd] {
            std::vector<char> buf(256 * 1024);
            for (;;) {
                ssize_t n = recv(fd, buf.data(), buf.size(), 0);
                if (n <= 0 || !WriteAll(fd, buf.data(), (size_t)n)) break;
            }
            shutdown(fd, SHUT_WR);
            close(fd);
        }).detach();
    }
}

int Listen(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((uint16_t)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0) return -1;
    return fd;
}

// Reads the proxy's answer head byte by byte, so nothing behind it is taken.
bool TunnelOpened(int fd) {
    std::string head;
    char ch;
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (recv(fd, &ch, 1, 0) != 1) return false;
        head.push_back(ch);
    }
    return head.compare(0, 12, "HTTP/1.0 200") == 0 || head.compare(0, 12, "HTTP/1.1 200") == 0;
}

// One run: seconds from the first byte sent to the last echoed byte
// read, or -1 on failure.
double OneRun(const char* proxyHost, int proxyPort, int echoPort, size_t total) {
    int fd = proxyHost ? ConnectTo(proxyHost, proxyPort) : ConnectTo("127.0.0.1", echoPort);
    if (fd < 0) return -1;
    if (proxyHost) {
        std::string head = "CONNECT 127.0.0.1:" + std::to_string(echoPort) + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                           std::to_string(echoPort) + "\r\n\r\n";
        if (!WriteAll(fd, head.data(), head.size()) || !TunnelOpened(fd)) {
            close(fd);
            return -1;
        }
    }
    const auto start = Clock::now();
    std::thread writer([fd, total] {
        std::vector<char> piece(64 * 1024);
        for (size_t i = 0; i < piece.size(); ++i) piece[i] = (char)(i * 131 + 7);
        for (size_t sent = 0; sent < total; sent += piece.size()) {
            if (!WriteAll(fd, piece.data(), std::min(piece.size(), total - sent))) return;
        }
        // No shutdown: some proxies close the whole tunnel on a half-close,
        // and this measures throughput, not that.
    });
    std::vector<char> buf(256 * 1024);
    size_t got = 0;
    while (got < total) {
        ssize_t n = recv(fd, buf.data(), std::min(buf.size(), total - got), 0);
        if (n <= 0) break;
        got += (size_t)n;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    close(fd);
    return got == total ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const char* proxy = nullptr;
    int echoPort = 0, mib = 20, runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--proxy")) proxy = argv[i + 1];
        else if (!std::strcmp(argv[i], "--echo-port")) echoPort = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--mib")) mib = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
    }
    if (echoPort <= 0 || mib <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: %s --echo-port P [--proxy HOST:PORT] [--mib N] [--runs R]\n", argv[0]);
        return 2;
    }
    std::string proxyHost;
    int proxyPort = 0;
    if (proxy) {
        const char* colon = std::strrchr(proxy, ':');
        if (!colon) return 2;
        proxyHost.assign(proxy, (size_t)(colon - proxy));
        proxyPort = std::atoi(colon + 1);
    }
    int listenFd = Listen(echoPort);
    if (listenFd < 0) {
        std::fprintf(stderr, "tunnel_bench: cannot listen on 127.0.0.1:%d\n", echoPort);
        return 2;
    }
    std::thread(EchoServer, listenFd).detach();

    const size_t total = (size_t)mib << 20;
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        double s = OneRun(proxy ? proxyHost.c_str() : nullptr, proxyPort, echoPort, total);
        if (s < 0) {
            std::printf("run %d: failed (tunnel refused, stalled or cut short)\n", r + 1);
            return 1;
        }
        std::printf("run %d: %.3f s  %.0f MiB/s each way\n", r + 1, s, mib / s);
        times.push_back(s);
    }
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    std::printf("median: %.3f s for %d MiB echoed (%s)\n", median, mib, proxy ? proxy : "direct");
    return 0;
}
