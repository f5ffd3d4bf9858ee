// Meta-search timing: the engine "all" over three local search services
// answering after 100, 200 and 300 ms (asked at the same time, the search
// should take about the slowest one), and the same search again from the
// keyword store.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSEFetch/KvSEFetch.h"
#include "proxy/repo/KvKeywordMgr.h"
#include "proxy/sites/KvWebPolyseek.h"

namespace {

// One connection: the delay is the path's number of milliseconds ("/300?q=").
void Serve(int fd) {
    std::string head;
    char buf[2048];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        head.append(buf, (size_t)n);
    }
    const int ms = head.size() > 5 ? std::atoi(head.c_str() + 5) : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));  // the service's own latency
    const std::string body = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>s</title><item><title>R" +
                             std::to_string(ms) + "</title><link>http://r" + std::to_string(ms) +
                             ".example/</link></item></channel></rss>";
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    (void)!write(fd, answer.data(), answer.size());
    close(fd);
}

int Listen(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, (sockaddr*)&a, sizeof a) != 0 || listen(fd, 16) != 0) return -1;
    getsockname(fd, (sockaddr*)&a, &len);
    port = ntohs(a.sin_port);
    return fd;
}

double Millis(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main() {
    int port = 0;
    const int listener = Listen(port);
    if (listener < 0) return 1;
    std::thread([listener] {
        for (int fd; (fd = accept(listener, nullptr, nullptr)) >= 0;) std::thread(Serve, fd).detach();
    }).detach();
    char dir[] = "/tmp/polyseek-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    KvKeywordMgr::SetBaseDirectory(dir);
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    KvSetSearchSettings({(base + "/100?q={q}").c_str(), (base + "/200?q={q}").c_str(), (base + "/300?q={q}").c_str()});

    KvWebPolyseek site;
    for (int round = 0; round < 3; ++round) {
        const CString query = ("bench query " + std::to_string(round)).c_str();
        KvObjectArray links;
        KvTime updated;
        auto start = std::chrono::steady_clock::now();
        const bool found = site.SearchEngineRequestToArray("all", query, &links, updated, false);
        const double outside = Millis(std::chrono::steady_clock::now() - start);
        start = std::chrono::steady_clock::now();
        (void)site.SearchEngineRequestToArray("all", query, &links, updated, false);
        const double stored = Millis(std::chrono::steady_clock::now() - start);
        std::printf("all over 100/200/300 ms services: %.1f ms (%d results, %s); again from the store: %.2f ms\n",
                    outside, links.GetSize(), found ? "found" : "none", stored);
    }
    std::string rm = std::string("rm -rf ") + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
