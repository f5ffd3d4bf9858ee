// The kvproxy program and the files and programs around it.
#include "tests/e2e/support/e2e_support.h"

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace e2e {

std::string BinaryDir() { return KV_BINARY_DIR; }
std::string SourceDir() { return KV_SOURCE_DIR; }

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
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        mkdir(path.substr(0, at).c_str(), 0755);
    }
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
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

// ---------------------------------------------------------------------------
// Proxy

Proxy::Proxy(const DataFiles& files, const std::string& ini, const std::string& listen) : m_listen(listen) {
    Start(files, ini, true);
}

Proxy::Proxy(const std::string& proxySection, const std::string& extraIni, bool withTemplates) {
    Start({}, "[Proxy]\r\n" + proxySection + "\r\n" + extraIni, withTemplates);
}

void Proxy::Start(const DataFiles& files, const std::string& ini, bool withShippedData) {
    m_dir = MakeTempDir();
    if (withShippedData) {
        for (const char* name : {"Template/proxy_error.htm", "Template/proxy_msg.htm", "mime.types"}) {
            WriteFile(m_dir + "/" + name, ReadFile(SourceDir() + "/data/" + name));
        }
    }
    for (const auto& [path, text] : files) WriteFile(m_dir + "/" + path, text);
    WriteConfig(ini);
    Spawn();
}

void Proxy::WriteConfig(const std::string& ini) {
    WriteFile(m_dir + "/kvproxy.ini", "[Directories]\r\nbasepath=" + m_dir + "\r\n" + ini + "\r\n");
}

// Starts the program and reads the port from the line it prints once it
// listens.
void Proxy::Spawn() {
    int outPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    const std::string program = BinaryDir() + "/bin/kvproxy";
    const std::string config = m_dir + "/kvproxy.ini";
    const char* argv[] = {program.c_str(), "--config", config.c_str(), "--listen", m_listen.c_str(), nullptr};
    int rc = posix_spawn(&m_pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    if (rc != 0) {
        m_pid = -1;
        close(outPipe[0]);
        return;
    }
    // Lines before it (a database made at first start names its password)
    // are skipped.
    std::string line;
    const int64_t deadline = NowMs() + 20000;
    char ch;
    while (line.find("listening on") == std::string::npos || line.back() != '\n') {
        const int left = (int)(deadline - NowMs());
        pollfd p{outPipe[0], POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0 || read(outPipe[0], &ch, 1) != 1) break;
        if (!line.empty() && line.back() == '\n') line.clear();
        line.push_back(ch);
    }
    close(outPipe[0]);
    // "kvproxy: listening on HOST:PORT (data in ...)", HOST in brackets for IPv6
    size_t data = line.find(" (data");
    size_t colon = data == std::string::npos ? data : line.rfind(':', data);
    if (colon != std::string::npos) m_port = std::atoi(line.c_str() + colon + 1);
}

Proxy::~Proxy() {
    Stop();
    RemoveTree(m_dir);
}

bool Proxy::Stop(int* exitCode) {
    if (m_pid <= 0) return true;
    kill(m_pid, SIGTERM);
    int status = 0;
    const bool ended = WaitUntil([&] { return waitpid(m_pid, &status, WNOHANG) != 0; }, 20000);
    if (!ended) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    m_port = 0;
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return ended;
}

bool Proxy::Restart(const std::string& ini) {
    const bool stopped = Stop();
    if (!ini.empty()) WriteConfig(ini);
    Spawn();
    return stopped && Started();
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

bool Proxy::ResetPeakMemory() const {
    std::ofstream out("/proc/" + std::to_string(m_pid) + "/clear_refs");
    out << "5";
    out.flush();
    return out.good();
}

// The answer is read to the close: a request that says nothing about its
// connection asks for the close (an HTTP/1.1 one would otherwise stay open).
static std::string WithClose(const std::string& request) {
    const size_t end = request.find("\r\n\r\n");
    if (end == std::string::npos) return request;
    std::string head = request.substr(0, end + 2);
    for (char& ch : head) ch = (char)std::tolower((unsigned char)ch);
    if (head.find("\r\nconnection:") != std::string::npos) return request;
    return request.substr(0, end + 2) + "Connection: close\r\n" + request.substr(end + 2);
}

std::string Proxy::Exchange(const std::string& request, int timeoutMs, bool* timedOut) const {
    if (timedOut) *timedOut = false;
    Conn c = Conn::ConnectTo(m_port);
    if (!c.IsOpen() || !c.Write(WithClose(request))) return std::string();
    return c.ReadAll(timeoutMs, nullptr, timedOut);
}

}  // namespace e2e
