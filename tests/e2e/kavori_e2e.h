// Helpers of the decision-path end-to-end tests: the kvproxy program
// started over a data folder prepared beforehand (lists, local sites,
// settings), and an origin that numbers its answers so that a test can
// tell an answer of the cache from a fresh one.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "tests/e2e/support/e2e_support.h"

extern char** environ;

namespace kavori {

using namespace e2e;

inline void MakeDirs(const std::string& path) {
    for (size_t at = path.find('/', 1); ; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
        if (at == std::string::npos) break;
    }
}

// kvproxy on 127.0.0.1 (ephemeral port) over a fresh data folder holding
// the shipped templates and MIME table plus `files` (relative path ->
// content, folders made as needed), with `ini` as its whole configuration
// after the [Directories] section.
class DataProxy {
public:
    DataProxy(const std::map<std::string, std::string>& files, const std::string& ini) {
        m_dir = MakeTempDir();
        MakeDirs(m_dir + "/Template");
        for (const char* name : {"Template/proxy_error.htm", "Template/proxy_msg.htm", "mime.types"}) {
            std::string text;
            RunProgram({"cat", SourceDir() + "/data/" + name}, &text);
            WriteFile(m_dir + "/" + name, text);
        }
        for (const auto& [path, text] : files) {
            const std::string full = m_dir + "/" + path;
            MakeDirs(full.substr(0, full.rfind('/')));
            WriteFile(full, text);
        }
        WriteFile(m_dir + "/kvproxy.ini", "[Directories]\nbasepath=" + m_dir + "\n" + ini + "\n");
        Spawn();
    }
    ~DataProxy() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 1000 && waitpid(m_pid, &status, WNOHANG) == 0; ++i) usleep(10000);
            if (waitpid(m_pid, &status, WNOHANG) == 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
            }
        }
        RemoveTree(m_dir);
    }
    bool Started() const { return m_port > 0; }
    int Port() const { return m_port; }
    const std::string& Dir() const { return m_dir; }
    std::string Exchange(const std::string& request, int timeoutMs = 20000) const {
        Conn c = Conn::ConnectTo(m_port);
        if (!c.IsOpen() || !c.Write(request)) return std::string();
        return c.ReadAll(timeoutMs);
    }

private:
    void Spawn() {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string program = BinaryDir() + "/bin/kvproxy";
        const std::string config = m_dir + "/kvproxy.ini";
        const char* argv[] = {program.c_str(), "--config", config.c_str(), "--listen", "127.0.0.1:0", nullptr};
        int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (rc != 0) {
            m_pid = -1;
            close(out[0]);
            return;
        }
        std::string line;
        char ch;
        pollfd p{out[0], POLLIN, 0};
        while (line.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0 && read(out[0], &ch, 1) == 1) {
            line.push_back(ch);
        }
        close(out[0]);
        size_t at = line.find("127.0.0.1:");
        if (at != std::string::npos) m_port = std::atoi(line.c_str() + at + 10);
    }

    std::string m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
};

// An origin that answers every request "answer <n> <path>" (n counts the
// requests), with a cookie; paths beginning "/missing" get a 404 and
// paths beginning "/cut" announce more than they send.
class CountingOrigin {
public:
    CountingOrigin()
        : m_server([this](Conn& c) {
              std::string head = c.ReadHead();
              if (head.empty()) return;
              m_server.Record(head);
              Answer a = Parse(head + "\r\n\r\n");
              size_t length = (size_t)std::atol(a.Get("content-length").c_str());
              if (length) c.ReadExact(length);
              const int n = ++m_count;
              std::string target = head.substr(head.find(' ') + 1);
              target = target.substr(0, target.find(' '));
              const std::string body = "answer " + std::to_string(n) + " " + target;
              std::string status = "200 OK";
              if (target.rfind("/missing", 0) == 0) status = "404 Not Found";
              if (target.rfind("/cut", 0) == 0) {
                  c.Write("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + body);
                  return;
              }
              c.Write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nSet-Cookie: visit=" +
                      std::to_string(n) + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
              c.WaitClosed(5000);
          }) {}
    int Port() const { return m_server.Port(); }
    int Count() const { return m_count.load(); }
    Server& server() { return m_server; }
    // "http://127.0.0.1:<port>" + path.
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(Port()) + path; }

private:
    std::atomic<int> m_count{0};
    Server m_server;
};

inline std::string GetRequest(const std::string& url, const std::string& extra = "") {
    std::string host = url.substr(url.find("//") + 2);
    host = host.substr(0, host.find('/'));
    return "GET " + url + " HTTP/1.1\r\nHost: " + host + "\r\n" + extra + "\r\n";
}

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace kavori
