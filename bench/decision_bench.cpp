// Decision-path benchmark: the time KvProxyRequestKavori spends deciding
// about a request that ends up forwarded (redirect shortcuts, local-site
// lookup, white list, pop-up filter and black list, cache miss), with a
// 50,000-pattern black list and a cache holding 100,000 objects. Also the
// same path ending in a cache hit. No sockets: the decisions run on a
// request object directly.
//
//   decision_bench [requests=20000] [cached-objects=100000] [black-patterns=50000]
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheMgr.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyRequestKavori.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvWebMgr.h"

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// A request object whose decisions can be driven without a connection.
class BenchRequest : public KvProxyRequestKavori {
public:
    // Prepares the request as the dispatch would, then decides: 1 when it
    // was answered locally (a cache hit here), 0 when it would be forwarded.
    int Decide(const std::string& url) {
        m_request.Reset();
        m_response.Reset();
        const std::string head = "GET " + url + " HTTP/1.1\r\nHost: bench\r\nUser-Agent: bench\r\n\r\n";
        KvGenBuffer buf;
        buf.PutString(head.data(), head.size());
        if (m_request.ReceiveHeader(&buf) <= 0) return -1;
        m_bDelete = m_bForce = m_bBypass = 0;
        m_strTarget = m_request.m_strURL;
        m_strURL = m_strTarget;
        if (!BreakUrlComponent(m_strURL, m_strHost, m_nPort, m_strPath)) return -1;
        return ResponseLocal();
    }
    // Stores an answer for the URL as a forward would.
    void Store(const std::string& url, const std::string& body) {
        Decide(url);
        m_response.Reset();
        m_response.m_strVersion = "HTTP/1.1";
        m_response.m_strStatus = "200 OK";
        m_response.m_nStatus = 200;
        m_response.SetHeaderValue("Content-Type", "text/html");
        m_response.SetHeaderValue("Content-Length", (int64_t)body.size());
        m_response.m_bufBody.PutString(body.data(), body.size());
        m_bBodyComplete = 1;
        SaveToCache();
    }
};

void WriteLines(const std::string& path, int count, const char* format) {
    std::ofstream out(path);
    char line[160];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, format, i, i % 97);
        out << line << "\n";
    }
}

struct Figures {
    double mean = 0, p50 = 0, p99 = 0, max = 0;
};

Figures Summarise(std::vector<double>& samples) {
    Figures f;
    if (samples.empty()) return f;
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples) sum += s;
    f.mean = sum / samples.size();
    f.p50 = samples[samples.size() / 2];
    f.p99 = samples[samples.size() * 99 / 100];
    f.max = samples.back();
    return f;
}

void Print(const char* label, std::vector<double>& samples) {
    Figures f = Summarise(samples);
    std::printf("  %-42s mean %7.2f us  p50 %7.2f us  p99 %7.2f us  max %8.1f us\n", label, f.mean, f.p50, f.p99,
                f.max);
}

}  // namespace

int main(int argc, char** argv) {
    const int requests = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int cached = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int patterns = argc > 3 ? std::atoi(argv[3]) : 50000;

    char pattern[] = "/tmp/kvproxy-decision-XXXXXX";
    const std::string base = mkdtemp(pattern);
    mkdir((base + "/LocalWeb").c_str(), 0755);
    mkdir((base + "/LocalWeb/Docs.Local").c_str(), 0755);
    std::ofstream(base + "/LocalWeb/Docs.Local/index.html") << "docs";
    // Black-list patterns of the usual shapes: hosts, paths, scripts.
    {
        std::ofstream out(base + "/blacklist.txt");
        char line[160];
        for (int i = 0; i < patterns; ++i) {
            switch (i % 4) {
            case 0: std::snprintf(line, sizeof line, "*.adhost%d.example/*", i); break;
            case 1: std::snprintf(line, sizeof line, "*/banner%d/*", i); break;
            case 2: std::snprintf(line, sizeof line, "http://tracker%d.test/*.js", i); break;
            default: std::snprintf(line, sizeof line, "*pixel%d.gif*", i); break;
            }
            out << line << "\n";
        }
    }
    WriteLines(base + "/popupfilter.txt", 2000, "*popup%d.example/window%d*");
    WriteLines(base + "/whitelist.txt", 2000, "*trusted%d.example/*%d");
    WriteLines(base + "/nocache.txt", 500, "*private%d.example/*%d");
    std::ofstream(base + "/kvproxy.ini") << "[Directories]\nbasepath=" << base
                                         << "\n[Proxy]\n[General]\nUseWhiteList=1\nUseBlackList=1\n"
                                            "UsePopUpFilter=1\nUseNoCacheList=1\n"
                                            "ZuRedirectPrefixes=http://dir.example/click\n";

    KvWebProxyApp app;
    app.m_strConfigFile = (base + "/kvproxy.ini").c_str();
    if (!app.InitInstance()) {
        std::fprintf(stderr, "decision_bench: the application did not start\n");
        return 1;
    }
    BenchRequest request;
    // The lists, the local sites and the cache are prepared by the first use.
    auto t0 = Clock::now();
    request.Decide("http://warm.example/");
    std::printf("decision path (%d black-list patterns, first use %.0f ms)\n", patterns,
                Micros(Clock::now() - t0) / 1000);

    t0 = Clock::now();
    const std::string body(512, 'x');
    for (int i = 0; i < cached; ++i) {
        request.Store("http://site" + std::to_string(i % 1000) + ".example/page/" + std::to_string(i) + ".html", body);
    }
    std::printf("  cache filled with %d objects in %.1f s\n", cached, Micros(Clock::now() - t0) / 1e6);

    std::vector<double> forwarded, hits, lists, sites, misses;
    int answered = 0;
    for (int i = 0; i < requests; ++i) {
        const std::string url = "http://news" + std::to_string(i % 500) + ".example/article/" +
                                std::to_string(i) + ".html?ref=home";
        auto start = Clock::now();
        answered += request.Decide(url) == 1;
        forwarded.push_back(Micros(Clock::now() - start));
    }
    for (int i = 0; i < requests; ++i) {
        const int object = (i * 7919) % cached;
        const std::string url =
            "http://site" + std::to_string(object % 1000) + ".example/page/" + std::to_string(object) + ".html";
        auto start = Clock::now();
        // Nothing else answers these URLs here: 1 is a hit (its body is
        // released once sent).
        if (request.Decide(url) == 1) {
            hits.push_back(Micros(Clock::now() - start));
        }
    }
    // The parts of the forwarded path on their own.
    KvHttpRequest q;
    KvHttpResponse r;
    for (int i = 0; i < requests; ++i) {
        const std::string url = "http://news" + std::to_string(i % 500) + ".example/a/" + std::to_string(i);
        if (ParseHttpUrl(url.c_str(), &q) != 0) continue;
        q.m_strURL = url.c_str();
        q.m_strMethod = "GET";
        auto start = Clock::now();
        KvWebMgr::GetInstance()->GetResponse(q.m_strHostName, "127.0.0.1", "127.0.0.1", &q, &r);
        auto mid = Clock::now();
        KvJudgeByLists(app, url.c_str(), "", false);
        app.IsMatchNoCacheList(url.c_str());
        auto mid2 = Clock::now();
        KvCacheMgr::GetInstance()->GetCache(&q, &r);
        auto end = Clock::now();
        sites.push_back(Micros(mid - start));
        lists.push_back(Micros(mid2 - mid));
        misses.push_back(Micros(end - mid2));
    }
    std::printf("  %d requests each (%d of the forwarded ones answered locally)\n", requests, answered);
    Print("forwarded (whole decision, cache miss)", forwarded);
    Print("  local-site lookup", sites);
    Print("  white list, pop-up filter, black list", lists);
    Print("  cache miss", misses);
    std::printf("  cache hits measured: %zu of %d\n", hits.size(), requests);
    Print("cache hit (whole decision, answer read)", hits);

    app.ExitInstance();
    std::system(("rm -rf '" + base + "'").c_str());
    return 0;
}
