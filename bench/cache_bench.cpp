// Cache benchmark: hits served through KvCacheMgr::GetCache by 1 and by 16
// threads, for a 10 KiB text answer and a 1 MiB image, and answers stored
// per second. The stores live in a temporary directory.
//
//   cache_bench [seconds-per-figure=2]
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheMgr.h"

namespace {

using Clock = std::chrono::steady_clock;

void MakeAnswer(KvHttpResponse& r, const std::string& body, const char* type) {
    r.Reset();
    r.m_strVersion = "HTTP/1.1";
    r.m_strStatus = "200 OK";
    r.m_nStatus = 200;
    r.SetHeaderValue("Content-Type", type);
    r.SetHeaderValue("Date", "Sat, 17 Jun 2000 12:00:00 GMT");
    r.SetHeaderValue("Set-Cookie", "id=1");
    r.m_bufBody.PutString(body.data(), body.size());
}

void MakeRequest(KvHttpRequest& q, const std::string& url) {
    std::string text = "GET " + url + " HTTP/1.1\r\nHost: bench\r\n\r\n";
    KvGenBuffer buf;
    buf.PutString(text.data(), text.size());
    q.Reset();
    q.Receive(&buf);
}

// Hits per second served to `threads` threads asking for the URL.
double HitsPerSecond(KvCacheMgr& mgr, const std::string& url, size_t size, int threads, double seconds) {
    std::atomic<long> hits{0}, misses{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            KvHttpRequest q;
            MakeRequest(q, url);
            long mine = 0;
            while (!stop.load(std::memory_order_relaxed)) {
                KvHttpResponse r;
                if (mgr.GetCache(&q, &r) && r.m_bufBody.GetCount() == size) ++mine;
                else ++misses;
            }
            hits += mine;
        });
    }
    auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    for (auto& th : pool) th.join();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (misses.load()) std::printf("  (%ld misses)\n", misses.load());
    return (double)hits.load() / elapsed;
}

double StoresPerSecond(KvCacheMgr& mgr, const std::string& body, const char* type, double seconds) {
    KvHttpResponse r;
    MakeAnswer(r, body, type);
    long n = 0;
    auto start = Clock::now();
    double elapsed = 0;
    while (elapsed < seconds) {
        std::string path = "/stored/" + std::to_string(n % 500);
        if (!mgr.AddCache("store.bench", path.c_str(), &r)) {
            std::printf("  store failed\n");
            break;
        }
        ++n;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return (double)n / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (seconds <= 0) seconds = 2.0;
    char pattern[] = "/tmp/kvcache_bench_XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return 1;
    KvCacheMgr::SetCacheSettings(dir, 7);
    {
        KvCacheMgr mgr;
        std::string text(10 * 1024, 't');
        std::string image(1024 * 1024, '\0');
        for (size_t i = 0; i < image.size(); ++i) image[i] = (char)(i * 2654435761u >> 13);
        KvHttpResponse r;
        MakeAnswer(r, text, "text/html");
        mgr.AddCache("bench.org", "/page.html", &r);
        MakeAnswer(r, image, "image/jpeg");
        mgr.AddCache("bench.org", "/photo.jpg", &r);

        std::printf("cache hits through KvCacheMgr::GetCache (%.1f s each)\n", seconds);
        for (int threads : {1, 16}) {
            std::printf("  10 KiB text,  %2d thread(s): %10.0f hits/s\n", threads,
                        HitsPerSecond(mgr, "http://bench.org/page.html", text.size(), threads, seconds));
            std::printf("  1 MiB image,  %2d thread(s): %10.0f hits/s\n", threads,
                        HitsPerSecond(mgr, "http://bench.org/photo.jpg", image.size(), threads, seconds));
        }
        std::printf("stores through KvCacheMgr::AddCache (one thread)\n");
        std::printf("  10 KiB text:  %10.0f stores/s\n", StoresPerSecond(mgr, text, "text/html", seconds));
        std::printf("  1 MiB image:  %10.0f stores/s\n", StoresPerSecond(mgr, image, "image/jpeg", seconds));
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
