#include "inet/net/KvResolver.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "inet/net/KvSocketWait.h"

namespace {

bool Lookup(const char* host, unsigned port, int flags, std::vector<KvResolvedAddress>& out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | flags;
    char service[16];
    std::snprintf(service, sizeof service, "%u", port & 0xFFFF);
    addrinfo* found = nullptr;
    if (getaddrinfo(host, service, &hints, &found) != 0 || !found) return false;
    for (addrinfo* ai = found; ai; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        KvResolvedAddress a;
        std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        a.family = ai->ai_family;
        out.push_back(a);
    }
    freeaddrinfo(found);
    return !out.empty();
}

// Every family: a machine with only loopback addresses would get nothing
// for "localhost" if the look-up asked for configured families only, and an
// address of a family the machine cannot reach fails its connect at once.
bool SystemResolver(const char* host, unsigned port, std::vector<KvResolvedAddress>& out) {
    return Lookup(host, port, 0, out);
}

std::atomic<KvResolverFunction> g_resolver{&SystemResolver};

// One look-up, shared by the waiting caller and the helper; whichever
// lets go last frees it.
struct Job {
    std::string host;
    unsigned port = 0;
    KvResolverFunction fn = nullptr;
    int doneFd = -1;  // readable once the helper has finished
    std::mutex mx;
    bool found = false;
    std::vector<KvResolvedAddress> result;

    ~Job() {
        if (doneFd >= 0) close(doneFd);
    }
    void Run() {
        std::vector<KvResolvedAddress> addresses;
        bool ok = fn(host.c_str(), port, addresses);
        {
            std::lock_guard<std::mutex> lock(mx);
            found = ok;
            result.swap(addresses);
        }
        uint64_t one = 1;
        ssize_t n = write(doneFd, &one, sizeof one);
        (void)n;  // an eventfd counter cannot overflow from one write
    }
};

// "[::1]" names the address "::1".
std::string WithoutBrackets(const char* host) {
    size_t n = std::strlen(host);
    if (n >= 2 && host[0] == '[' && host[n - 1] == ']') return std::string(host + 1, n - 2);
    return std::string(host);
}

bool StartHelper(const std::shared_ptr<Job>& job) {
    try {
        std::thread([job] { job->Run(); }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;  // no thread to be had: the caller looks up itself
    }
}

}  // namespace

KvResolverFunction KvSetResolverFunction(KvResolverFunction fn) {
    return g_resolver.exchange(fn ? fn : &SystemResolver);
}

KvResolveStatus KvResolveHost(const char* host, unsigned port, std::vector<KvResolvedAddress>& out,
                              int64_t deadlineMs, bool watchStop) {
    out.clear();
    if (!host || !*host) return KvResolveStatus::NotFound;
    std::string name = WithoutBrackets(host);
    if (Lookup(name.c_str(), port, AI_NUMERICHOST, out)) return KvResolveStatus::Found;
    out.clear();

    auto job = std::make_shared<Job>();
    job->host = name;
    job->port = port;
    job->fn = g_resolver.load();
    job->doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (job->doneFd < 0 || !StartHelper(job)) {
        return job->fn(name.c_str(), port, out) ? KvResolveStatus::Found : KvResolveStatus::NotFound;
    }
    pollfd done{job->doneFd, POLLIN, 0};
    switch (KvPollWait(&done, 1, deadlineMs, watchStop)) {
    case KvWait::Ready: break;
    case KvWait::TimedOut: return KvResolveStatus::TimedOut;
    case KvWait::Stopped: return KvResolveStatus::Stopped;
    case KvWait::Failed: return KvResolveStatus::NotFound;
    }
    std::lock_guard<std::mutex> lock(job->mx);
    out.swap(job->result);
    return job->found ? KvResolveStatus::Found : KvResolveStatus::NotFound;
}
