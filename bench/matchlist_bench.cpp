// Pattern list benchmark: a generated block list of realistic lines
// (domains, hosts, paths with wildcards, a few raw expressions) is loaded,
// prepared and tested against generated URLs, through the index and
// through the plain walk down the list.
//
//   matchlist_bench [patterns=50000] [urls=20000] [linear-urls=500]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "inet/match/KvMatchList.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// CPU time of this thread: unlike the wall clock, it leaves out the time
// the thread waited for a processor on a busy machine.
double ThreadCpuMicros() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    // Mostly domains, as in host lists and converted ad-block lists; then
    // hosts, path fragments, substrings, a few generic wildcards and a few
    // raw expressions.
    std::string Pattern() {
        int kind = Pick(1000);
        if (kind < 700) return "*." + Domain() + "/*";
        if (kind < 780) return Host() + "/*";
        if (kind < 860) return "*/" + Word() + Pick({"/", "_", "-", ""}) + Coined() + "/*";
        if (kind < 910) return "*/" + Word() + "_" + Size() + "*";
        if (kind < 950) return "*." + Domain() + "/" + Word() + "/*";
        if (kind < 990) return "*" + Coined() + Pick({"", ".js", "/", ".php"}) + "*";
        if (kind < 998) return "*/" + Word() + "*." + Pick({"gif", "js", "png", "php"}) + "?*";
        return Pick({"/(" + Word() + "|" + Coined() + ")/[0-9]+", "^https?://[0-9]+\\.[0-9]+/" + Coined(),
                     "[?&]" + Coined() + "_[a-z]+=", "\\b" + Coined() + "\\d{3,}", "(.*)/" + Coined() + "[0-9]/(.*)",
                     Coined() + "(er|ing)\\.(js|gif)"});
    }

    std::string Url() {
        std::string url = Pick({"http://", "https://"}) + Host() + "/";
        for (int i = Pick(5); i >= 0; --i) url += (Pick(3) ? Word() : Coined()) + Pick({"/", "/", "-", "_", "."});
        url += Pick({"index.html", "a.js", "img.png", "", "view.php"});
        if (Pick(2)) url += "?id=" + std::to_string(Pick(1000000)) + "&" + Word() + "=" + Coined();
        return url;
    }

    // A URL that a pattern of the list would catch: one of its domains.
    std::string ListedUrl(const std::vector<std::string>& domains) {
        const std::string& d = domains[(size_t)Pick((int)domains.size())];
        return "http://www." + d + "/" + Word() + "/" + Word() + ".html?x=" + std::to_string(Pick(1000));
    }

    std::string Domain() {
        std::string name;
        for (int i = 1 + Pick(3); i > 0; --i) name += Syllable();
        if (Pick(3) == 0) name += std::to_string(Pick(1000));
        if (Pick(4) == 0) name = Syllable() + "-" + name;
        return name + "." + Pick({"com", "com", "net", "org", "de", "co.uk", "info", "ru", "io"});
    }

private:
    int Pick(int n) { return (int)(m_rng() % (unsigned)n); }
    std::string Pick(std::initializer_list<std::string> options) {
        return *(options.begin() + Pick((int)options.size()));
    }
    std::string Syllable() {
        static const char* c = "bcdfghjklmnprstvwz";
        static const char* v = "aeiou";
        std::string s;
        s += c[Pick(18)];
        s += v[Pick(5)];
        if (Pick(2)) s += c[Pick(18)];
        return s;
    }
    std::string Word() {
        static const char* words[] = {"ads",   "ad",     "banner", "track", "pixel",  "click", "img",   "static",
                                      "media", "news",   "cdn",    "count", "stats",  "promo", "popup", "video",
                                      "api",   "assets", "js",     "css",   "images", "sync",  "beacon", "widget"};
        std::string w = words[Pick(24)];
        return Pick(3) ? w : w + std::to_string(Pick(100));
    }
    // A made-up word: ad server names, script names, path parts.
    std::string Coined() {
        std::string w;
        for (int i = 2 + Pick(2); i > 0; --i) w += Syllable();
        return w;
    }
    std::string Size() {
        static const char* sizes[] = {"300x250", "728x90", "160x600", "468x60", "120x600", "320x50"};
        return sizes[Pick(6)];
    }
    std::string Host() { return Pick({"www.", "ads.", "", "static.", "cdn.", "s1."}) + Domain(); }

    std::mt19937 m_rng;
};

struct Figures {
    double median = 0, p99 = 0, max = 0, mean = 0;
};

Figures Summarise(std::vector<double> t) {
    Figures f;
    if (t.empty()) return f;
    std::sort(t.begin(), t.end());
    f.median = t[t.size() / 2];
    f.p99 = t[std::min(t.size() - 1, t.size() * 99 / 100)];
    f.max = t.back();
    for (double x : t) f.mean += x;
    f.mean /= (double)t.size();
    return f;
}

void Print(const char* what, const Figures& f) {
    std::printf("%-28s median %9.2f us   p99 %9.2f us   max %9.2f us   mean %9.2f us\n", what, f.median, f.p99, f.max,
                f.mean);
}

}  // namespace

int main(int argc, char** argv) {
    int patternCount = argc > 1 ? std::atoi(argv[1]) : 50000;
    int urlCount = argc > 2 ? std::atoi(argv[2]) : 20000;
    int linearCount = argc > 3 ? std::atoi(argv[3]) : 500;

    // The list file.
    Generator gen(2024);
    std::vector<std::string> domains;
    std::string file;
    for (int i = 0; i < patternCount; ++i) {
        std::string p = gen.Pattern();
        if (p.compare(0, 2, "*.") == 0 && p.size() > 4 && p.compare(p.size() - 2, 2, "/*") == 0)
            domains.push_back(p.substr(2, p.size() - 4));
        file += p + "\r\n";
    }
    char path[] = "/tmp/kv_matchlist_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, file.data(), file.size()) != (ssize_t)file.size()) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    close(fd);

    // Load and prepare.
    long before = ResidentKiB();
    KvMatchList list;
    double c0 = ThreadCpuMicros();
    Clock::time_point t0 = Clock::now();
    list.LoadFile(path);
    Clock::time_point t1 = Clock::now();
    list.InitTheList();
    Clock::time_point t2 = Clock::now();
    double c2 = ThreadCpuMicros();
    long after = ResidentKiB();
    unlink(path);
    std::printf("patterns %d (%zu domain lines), file %.1f KiB\n", list.GetTheList().GetCount(), domains.size(),
                file.size() / 1024.0);
    std::printf("load %.1f ms, prepare %.1f ms, total %.1f ms (cpu %.1f ms)\n", Micros(t1 - t0) / 1000,
                Micros(t2 - t1) / 1000, Micros(t2 - t0) / 1000, (c2 - c0) / 1000);
    std::printf("memory: resident +%.1f MiB (index itself %.1f MiB), %zu lines tried on every URL\n",
                (after - before) / 1024.0, list.GetIndex().GetMemoryBytes() / 1048576.0,
                list.GetIndex().GetAlwaysCount());

    // URLs: four in five ordinary, one in five on a listed domain.
    std::vector<std::string> urls;
    for (int i = 0; i < urlCount; ++i)
        urls.push_back(i % 5 == 4 && !domains.empty() ? gen.ListedUrl(domains) : gen.Url());

    std::vector<double> indexed, indexedCpu;
    int matched = 0;
    for (int round = 0; round < 2; ++round) {  // the first round warms caches and machine code
        indexed.clear();
        indexedCpu.clear();
        matched = 0;
        for (const std::string& url : urls) {
            double c = ThreadCpuMicros();
            Clock::time_point a = Clock::now();
            int hit = list.IsMatch(url.c_str());
            indexed.push_back(Micros(Clock::now() - a));
            indexedCpu.push_back(ThreadCpuMicros() - c);
            matched += hit;
        }
    }
    std::printf("urls %d, matched %d\n", urlCount, matched);
    Print("indexed IsMatch (wall):", Summarise(indexed));
    Print("indexed IsMatch (cpu):", Summarise(indexedCpu));
    std::printf("memory after matching: resident +%.1f MiB\n", (ResidentKiB() - before) / 1024.0);

    std::vector<double> linear, linearCpu;
    int disagree = 0;
    for (int i = 0; i < linearCount && i < urlCount; ++i) {
        CString a, b;
        double c = ThreadCpuMicros();
        Clock::time_point s = Clock::now();
        int hit = list.IsMatchLinear(urls[(size_t)i].c_str(), &b);
        linear.push_back(Micros(Clock::now() - s));
        linearCpu.push_back(ThreadCpuMicros() - c);
        if (hit != list.IsMatch(urls[(size_t)i].c_str(), &a) || a != b) ++disagree;
    }
    Print("plain walk (wall):", Summarise(linear));
    Print("plain walk (cpu):", Summarise(linearCpu));
    std::printf("answers compared on %zu urls: %d differ\n", linear.size(), disagree);
    return disagree ? 2 : 0;
}
