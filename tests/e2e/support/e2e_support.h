// Helpers of the end-to-end tests: origin servers whose answers each test
// writes byte for byte (or one that numbers its answers), the kvproxy
// program started on an ephemeral port over its own configuration and
// data folder, and a raw client.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

// A connected socket with blocking helpers bounded by a time-out.
class Conn {
public:
    explicit Conn(int fd = -1) : m_fd(fd) {}
    ~Conn();
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;
    Conn(Conn&& other) noexcept : m_fd(other.m_fd), m_pending(std::move(other.m_pending)) { other.m_fd = -1; }

    static Conn ConnectTo(int port, const char* host = "127.0.0.1");
    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }

    bool Write(const std::string& data);
    // Up to the blank line that ends a head (included); empty on failure.
    std::string ReadHead(int timeoutMs = 10000);
    // Exactly n bytes (fewer when the peer closes or the time-out passes).
    std::string ReadExact(size_t n, int timeoutMs = 10000);
    // Everything until the peer closes; `reset` tells whether it ended with
    // a connection reset, `timedOut` whether the time-out passed first.
    std::string ReadAll(int timeoutMs = 10000, bool* reset = nullptr, bool* timedOut = nullptr);
    // Reads and hands each piece to `sink` until the peer closes.
    bool Drain(const std::function<void(const char*, size_t)>& sink, int timeoutMs, bool* reset = nullptr);
    // Waits until the peer closes: true when it did within the time-out.
    bool WaitClosed(int timeoutMs);
    // Waits until the peer has read every byte written here (both queues
    // of the loopback connection are empty): true when it did within the
    // time-out. A test orders its writes against the peer's reads by it.
    bool WaitDelivered(int timeoutMs = 20000);
    void ShutdownWrite();
    // Closes with a reset instead of a clean end.
    void Reset();
    void Close();

private:
    int ReadSome(char* buf, size_t size, int timeoutMs);
    int m_fd;
    std::string m_pending;  // bytes read behind a head
};

// A listening socket on 127.0.0.1 (or the loopback address given, "::1")
// with one thread per connection; each connection is given to the handler.
class Server {
public:
    using Handler = std::function<void(Conn&)>;
    explicit Server(Handler handler, const char* host = "127.0.0.1");
    ~Server();
    // False when the address could not be bound (no IPv6 on the machine).
    bool Listening() const { return m_port > 0; }
    int Port() const { return m_port; }
    int Connections() const { return m_connections.load(); }
    // The heads of the requests the handlers recorded, in arrival order.
    void Record(const std::string& head);
    std::vector<std::string> Heads();

private:
    void AcceptLoop();
    Handler m_handler;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_acceptor;
    std::mutex m_mx;
    std::vector<std::thread> m_workers;
    std::set<int> m_open;  // connections whose handler still runs
    std::vector<std::string> m_heads;
};

// A parsed answer.
struct Answer {
    int status = 0;
    std::string statusLine;
    std::multimap<std::string, std::string> headers;  // names lower-cased
    std::string body;
    bool Has(const std::string& name) const { return headers.count(name) > 0; }
    std::string Get(const std::string& name) const;
};
// Splits raw bytes into head and body.
Answer Parse(const std::string& raw);

// An origin that answers every request "answer <n> <target>" (n counts
// the requests), with a cookie; targets beginning "/missing" get a 404 and
// targets beginning "/cut" announce more than they send; targets beginning
// "/loop" redirect (302) to themselves by a relative "Location". Targets ending in
// ".html" are typed text/html, the others text/plain.
class CountingOrigin {
public:
    CountingOrigin();
    int Port() const { return m_server.Port(); }
    int Count() const { return m_count.load(); }
    Server& server() { return m_server; }
    // "http://127.0.0.1:<port>" + path.
    std::string Url(const std::string& path) const;

private:
    void Respond(Conn& c);
    // One request and its answer: false when the connection is done.
    bool AnswerOne(Conn& c);
    std::atomic<int> m_count{0};
    Server m_server;
};

// Hands each request head of a kept-alive connection to `answer` until
// the client closes it or stays idle for `idleMs`.
void EachRequest(Conn& c, const std::function<void(const std::string& head)>& answer, int idleMs = 10000);

// A GET request for an absolute URL, with `extra` header lines.
std::string GetRequest(const std::string& url, const std::string& extra = "");

// Files of a data folder: relative path -> content.
using DataFiles = std::map<std::string, std::string>;

// The kvproxy program on 127.0.0.1 with an ephemeral port, over a new
// temporary data folder that holds the shipped templates and MIME table.
class Proxy {
public:
    // `files` are written into the data folder (folders made as needed);
    // `ini` is the whole configuration after the [Directories] section;
    // `listen` is given to the --listen option ("[::1]:0").
    Proxy(const DataFiles& files, const std::string& ini, const std::string& listen = "127.0.0.1:0");
    // `proxySection` holds the [Proxy] lines (without Listen, which the
    // --listen option sets); `extraIni` further sections. Without
    // `withTemplates` the data folder starts empty.
    explicit Proxy(const std::string& proxySection = "", const std::string& extraIni = "",
                   bool withTemplates = true);
    ~Proxy();
    Proxy(const Proxy&) = delete;
    Proxy& operator=(const Proxy&) = delete;
    bool Started() const { return m_port > 0; }
    int Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    const std::string& Dir() const { return m_dir; }
    // Stops the program, which first finishes every exchange under way
    // (a store into the cache included), and starts it again over the same
    // data folder on a new port, with `ini` (when given) as its new
    // configuration after [Directories]: whether it ended on its own and
    // started again.
    bool Restart(const std::string& ini = "");
    // Asks the program to stop (SIGTERM) and waits for it to end, killing
    // it when it has not ended after 20 s: whether it ended on its own;
    // `exitCode` gets its exit code.
    bool Stop(int* exitCode = nullptr);
    // kB of the given /proc status field (VmHWM, VmRSS).
    long MemoryKb(const char* field) const;
    // Starts the peak (VmHWM) afresh from the present size, so a test
    // measures what one exchange adds and not the start-up's own peak:
    // whether the kernel took it.
    bool ResetPeakMemory() const;
    // Sends the request and reads the whole answer; `timedOut` tells
    // whether the connection was still open when the time-out passed.
    std::string Exchange(const std::string& request, int timeoutMs = 20000, bool* timedOut = nullptr) const;

private:
    void Start(const DataFiles& files, const std::string& ini, bool withShippedData);
    void WriteConfig(const std::string& ini);
    void Spawn();
    std::string m_dir;
    std::string m_listen = "127.0.0.1:0";
    pid_t m_pid = -1;
    int m_port = 0;
};

// A fresh temporary directory (removed with its contents by the caller's
// RemoveTree).
std::string MakeTempDir();
void RemoveTree(const std::string& dir);
// Writes the file, making its folders as needed.
void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);

// Runs a program with arguments and gives its exit code; stdout and stderr
// go to the strings when given.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr, std::string* err = nullptr,
               int timeoutMs = 60000);
bool HaveCurl();

// Deterministic bytes of a large body, generated in pieces.
class ByteStream {
public:
    explicit ByteStream(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    // The next n bytes of the stream, however the stream is cut into calls.
    void Fill(char* out, size_t n);

private:
    uint64_t m_state;
    uint64_t m_word = 0;
    int m_left = 0;  // bytes of m_word not handed out yet
};

std::string BinaryDir();
std::string SourceDir();

// Milliseconds of the monotonic clock, for deadlines.
int64_t NowMs();
// Asks `done` again and again until it holds or the time-out passes:
// whether it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000);

}  // namespace e2e
