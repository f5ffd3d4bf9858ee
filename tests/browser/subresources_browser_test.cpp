// A page with 30 subresources (stylesheets, images, scripts) in headless
// Chromium through KvProxy: every one loads, and the browser's connections
// to the proxy, counted by a relay between the two, are far fewer than its
// requests, since each connection stays open for the next request.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/browser/browser_support.h"
#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

constexpr int kEach = 10;  // stylesheets, images and scripts each

// The bytes of each subresource, by path; the page itself is "/".
std::string Resource(const std::string& path, std::string& type) {
    const size_t slash = path.rfind('/');
    const std::string kind = path.substr(0, slash + 1);
    const std::string n = path.substr(slash + 1, path.find('.') - slash - 1);
    if (kind == "/css/") {
        type = "text/css";
        return ".c" + n + "{width:" + n + "px}";
    }
    if (kind == "/img/") {
        type = "image/svg+xml";
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + n + "1\" height=\"1\"></svg>";
    }
    if (kind == "/js/") {
        type = "application/javascript";
        return "window.got=(window.got||0)+1;window.s" + n + "=" + n + ";";
    }
    return "";
}

std::string Page() {
    const std::string count = " onload=\"window.got=(window.got||0)+1\"";
    std::string head, body;
    for (int i = 0; i < kEach; i++) {
        const std::string n = std::to_string(i);
        head += "<link rel=\"stylesheet\" href=\"/css/" + n + ".css\"" + count + ">";
        body += "<img src=\"/img/" + n + ".svg\"" + count + "><script src=\"/js/" + n + ".js\"></script>";
    }
    // Once everything has loaded, the page says how many did.
    body += "<script>window.addEventListener('load',function(){"
            "document.body.setAttribute('data-loaded',String(window.got))})</script>";
    return "<html><head><title>thirty</title>" + head + "</head><body>" + body + "</body></html>";
}

// The path a request head asks for, absolute-form or origin-form.
std::string PathOf(const std::string& head) {
    const std::string line = head.substr(0, head.find("\r\n"));
    std::string target = line.substr(line.find(' ') + 1);
    target = target.substr(0, target.find(' '));
    if (target.rfind("http://", 0) == 0) target = target.substr(std::min(target.find('/', 7), target.size()));
    return target.empty() ? "/" : target;
}

// Writes everything, false when the peer is gone.
bool SendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= (size_t)n;
    }
    return true;
}

class BrowserSubresourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!browser.Start()) GTEST_SKIP() << "Chromium is not installed";
        ASSERT_TRUE(proxy.Started()) << "kvproxy did not start";
    }

    // The origin answers each request on a connection with a known length.
    void Serve(Conn& c) {
        for (std::string head; !(head = c.ReadHead()).empty();) {
            origin.Record(head);
            const std::string path = PathOf(head);
            std::string type = "text/html";
            const std::string body = path == "/" ? Page() : Resource(path, type);
            const std::string status = path == "/" || !body.empty() ? "200 OK" : "404 Not Found";
            if (!c.Write("HTTP/1.1 " + status + "\r\nContent-Type: " + type +
                         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body)) {
                return;
            }
        }
    }

    // Passes bytes both ways between one browser connection and one of its
    // own to the proxy, until either side closes.
    void Relay(Conn& browserSide) {
        Conn proxySide = Conn::ConnectTo(proxy.Port());
        if (!proxySide.IsOpen()) return;
        pollfd fds[2] = {{browserSide.Fd(), POLLIN, 0}, {proxySide.Fd(), POLLIN, 0}};
        char buf[16384];
        while (poll(fds, 2, 60000) > 0) {
            for (int i = 0; i < 2; i++) {
                if (!fds[i].revents) continue;
                const ssize_t n = recv(fds[i].fd, buf, sizeof buf, 0);
                if (n <= 0 || !SendAll(fds[1 - i].fd, buf, (size_t)n)) return;
            }
        }
    }

    Server origin{[this](Conn& c) { Serve(c); }};
    Proxy proxy;
    Server relay{[this](Conn& c) { Relay(c); }};
    HeadlessChromium browser;
};

}  // namespace

TEST_F(BrowserSubresourcesTest, ThirtySubresourcesLoadOverAFewKeptConnections) {
    const std::string url = "http://127.0.0.1:" + std::to_string(origin.Port()) + "/";
    const std::string dom = browser.Load(relay.Port(), url, {"--virtual-time-budget=10000"});
    EXPECT_NE(dom.find("data-loaded=\"" + std::to_string(3 * kEach) + "\""), std::string::npos) << dom;

    std::set<std::string> served;
    for (const std::string& head : origin.Heads()) {
        std::string type;
        const std::string path = PathOf(head);
        if (path == "/" || !Resource(path, type).empty()) served.insert(path);
    }
    const int requests = 1 + 3 * kEach;
    EXPECT_EQ((int)served.size(), requests);
    // Every connection the browser opened to the proxy went through the relay.
    EXPECT_GT(relay.Connections(), 0);
    EXPECT_LT(relay.Connections(), requests) << "a connection per request: none was kept";
}
