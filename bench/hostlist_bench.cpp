// Host block list benchmark: the shape of the lists people convert from
// hosts files, two lines per host ("*.host/*" for every address in the
// host's domain and the bare "host" for any text naming it). The list is
// written to a file, loaded and prepared as the proxy does at start-up, and
// then tested against URLs.
//
//   hostlist_bench [lines=200000] [urls=20000]
//
// Prints load time (wall and CPU), resident memory before and after the
// load, the peak resident size of the process, and matching times.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "inet/match/KvMatchList.h"

namespace {

using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMillis() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

double ResidentMiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return (double)resident * (double)sysconf(_SC_PAGESIZE) / 1048576.0;
}

double PeakMiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (double)u.ru_maxrss / 1024.0;
}

// Host names in the style of real block lists: ad and tracking servers,
// numbered cluster hosts, hosts under shared cloud domains.
class HostGen {
public:
    explicit HostGen(unsigned seed) : m_rng(seed) {}

    std::string Host() {
        int kind = Pick(100);
        if (kind < 35) return Pick(kPrefixes) + "." + Domain();
        if (kind < 55) return Domain();
        if (kind < 70) return Pick(kPrefixes) + std::to_string(Pick(100)) + "." + Domain();
        if (kind < 80) return Token(6 + Pick(8)) + "." + Pick(kClouds);
        if (kind < 90) return Pick(kPrefixes) + "-" + Word() + "." + Word() + "." + Domain();
        return Word() + "." + Pick(kPrefixes) + "." + Domain();
    }

    std::string Url(const std::string& host) {
        std::string url = Pick(2) ? "http://" : "https://";
        url += host + "/";
        for (int i = Pick(4); i >= 0; --i) url += Word() + "/";
        url += Pick(2) ? "index.html" : Token(8) + ".js";
        if (Pick(2)) url += "?id=" + std::to_string(Pick(1000000));
        return url;
    }

private:
    static inline const std::vector<std::string> kPrefixes = {
        "ads", "ad", "track", "tracker", "pixel", "stats", "metrics", "cdn", "static", "img", "banner",
        "click", "log", "analytics", "tag", "sync", "beacon", "rtb", "delivery", "serve", "www", "api"};
    static inline const std::vector<std::string> kTlds = {"com", "com", "com", "net", "org", "de", "co.uk",
                                                          "info", "ru", "io", "xyz", "fr", "jp", "com.br"};
    static inline const std::vector<std::string> kClouds = {"cloudfront.net", "amazonaws.com", "azureedge.net",
                                                            "herokuapp.com", "appspot.com", "netlify.app"};

    int Pick(int n) { return (int)(m_rng() % (unsigned)n); }
    const std::string& Pick(const std::vector<std::string>& v) { return v[(size_t)Pick((int)v.size())]; }
    std::string Word() {
        static const char* c = "bcdfghjklmnprstvwz";
        static const char* v = "aeiou";
        std::string s;
        for (int i = 1 + Pick(3); i > 0; --i) {
            s += c[Pick(18)];
            s += v[Pick(5)];
            if (Pick(2)) s += c[Pick(18)];
        }
        return s;
    }
    std::string Token(int len) {
        static const char* chars = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::string s;
        for (int i = 0; i < len; ++i) s += chars[Pick(36)];
        return s;
    }
    std::string Domain() {
        std::string name = Word();
        if (Pick(3) == 0) name += "-" + Word();
        if (Pick(4) == 0) name += std::to_string(Pick(1000));
        return name + "." + Pick(kTlds);
    }

    std::mt19937 m_rng;
};

}  // namespace

int main(int argc, char** argv) {
    int lineCount = argc > 1 ? std::atoi(argv[1]) : 200000;
    int urlCount = argc > 2 ? std::atoi(argv[2]) : 20000;

    HostGen gen(86);
    std::vector<std::string> hosts;
    {
        std::string file;
        for (int i = 0; i < lineCount / 2; ++i) {
            hosts.push_back(gen.Host());
            file += "*." + hosts.back() + "/*\r\n" + hosts.back() + "\r\n";
        }
        char path[] = "/tmp/kv_hostlist_bench_XXXXXX";
        int fd = mkstemp(path);
        if (fd < 0 || write(fd, file.data(), file.size()) != (ssize_t)file.size()) {
            std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
        close(fd);
        std::printf("lines %d, file %.1f MiB\n", lineCount, (double)file.size() / 1048576.0);
        std::string().swap(file);

        double before = ResidentMiB(), peakBefore = PeakMiB();
        KvMatchList* list = new KvMatchList;
        double c0 = CpuMillis();
        Clock::time_point t0 = Clock::now();
        list->LoadFile(path);
        Clock::time_point t1 = Clock::now();
        double loaded = ResidentMiB();
        list->InitTheList();
        Clock::time_point t2 = Clock::now();
        double c2 = CpuMillis();
        unlink(path);
        double after = ResidentMiB();
        std::printf("load %.0f ms + prepare %.0f ms = %.0f ms (cpu %.0f ms)\n", Millis(t1 - t0), Millis(t2 - t1),
                    Millis(t2 - t0), c2 - c0);
        std::printf("resident: before %.1f MiB, read %.1f MiB, prepared %.1f MiB (kept +%.1f), peak %.1f MiB"
                    " (before load %.1f)\n",
                    before, loaded, after, after - before, PeakMiB(), peakBefore);
        std::printf("index %.1f MiB, %zu expressions compiled, %zu lines tried on every URL\n",
                    (double)list->GetIndex().GetMemoryBytes() / 1048576.0, list->GetIndex().GetCompiledCount(),
                    list->GetIndex().GetAlwaysCount());

        // URLs: half on listed hosts or below them, half elsewhere.
        std::vector<std::string> urls;
        HostGen other(7);
        for (int i = 0; i < urlCount; ++i) {
            const std::string& h = hosts[(size_t)i * 7919 % hosts.size()];
            urls.push_back(i % 2 ? gen.Url(i % 4 == 1 ? h : "www." + h) : gen.Url(other.Host()));
        }
        int matched = 0;
        std::vector<double> times;
        for (int round = 0; round < 2; ++round) {  // the first warms caches and machine code
            matched = 0;
            times.clear();
            for (const std::string& url : urls) {
                Clock::time_point a = Clock::now();
                matched += list->IsMatch(url.c_str());
                times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
            }
        }
        std::sort(times.begin(), times.end());
        double mean = 0;
        for (double t : times) mean += t;
        mean /= (double)std::max<size_t>(1, times.size());
        std::printf("urls %d, matched %d: median %.2f us, p99 %.2f us, mean %.2f us\n", urlCount, matched,
                    times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)], mean);
        std::printf("resident after matching %.1f MiB, peak %.1f MiB, %zu expressions compiled\n", ResidentMiB(),
                    PeakMiB(), list->GetIndex().GetCompiledCount());
        delete list;
    }
    return 0;
}
