// Local web site benchmark: a site of 50 folders with 20 pages each, served
// by the web manager in-process through the shipped theme: a page view, a
// folder's front page (its sub-folder and page lists), a search the first
// time (the pages are scanned and the profile stored) and again from its
// profile, and a page of a search that matches every page. Medians in
// milliseconds.
//
//   localweb_bench [repetitions=50]
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebMgr.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kFolders = 50;
constexpr int kPages = 20;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool MakeSite(const std::string& path) {
    KvWebDB db;
    KvRepoLocal repo;
    repo.SetDatabase(&db);
    if (!db.OpenSite(path.c_str()) || !repo.Open(path.c_str())) return false;
    KvSqlTransaction tx(db);
    for (int f = 0; f < kFolders; ++f) {
        const std::string name = "f" + std::to_string(f);
        KvWebFolder folder(name.c_str(), ("Folder " + std::to_string(f)).c_str(), "A folder of pages.");
        const int id = repo.AddNewFolder(0, &folder);
        if (id <= 0) return false;
        for (int p = 0; p < kPages; ++p) {
            const std::string n = std::to_string(f * kPages + p);
            KvWebPage page(("p" + std::to_string(p) + ".html").c_str(), ("Page number " + n).c_str(),
                           ("About topic " + n + " and the things around it.").c_str());
            page.m_strKeywords = ("topic" + n + ", bench").c_str();
            page.m_strContent = ("<h1>{page_title}</h1>\n<p>" + std::string(2000, 'x') + "</p>\n{subfolder_menu}")
                                    .c_str();
            if (!repo.AddNewPage(id, &page)) return false;
        }
    }
    return tx.Commit();
}

double Request(KvWebMgr& mgr, const std::string& path, size_t* bytes = nullptr) {
    const std::string text = "GET http://bench.test" + path + " HTTP/1.0\r\nHost: bench.test\r\n\r\n";
    KvGenBuffer buf;
    buf.PutString(text.c_str(), text.size());
    KvHttpRequest request;
    (void)request.Receive(&buf);
    KvHttpResponse response;
    const auto start = Clock::now();
    const int ok = mgr.GetResponse("bench.test", "127.0.0.1", "127.0.0.1", &request, &response);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!ok || response.m_bufBody.GetCount() == 0) std::fprintf(stderr, "localweb_bench: %s gave no page\n", path.c_str());
    if (bytes) *bytes = response.m_bufBody.GetCount();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    char tmpl[] = "/tmp/kvlocalweb_bench_XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string base = tmpl;
    for (const char* d : {"Theme", "Template", "Images"}) {
        fs::create_directory_symlink(std::string(KV_SOURCE_DIR) + "/data/" + d, base + "/" + d);
    }
    fs::create_directories(base + "/LocalWeb");
    fs::create_directories(base + "/Temp");
    const auto made = Clock::now();
    if (!MakeSite(base + "/LocalWeb/bench.test.cwd")) {
        std::fprintf(stderr, "localweb_bench: the site could not be made\n");
        return 1;
    }
    std::printf("site of %d folders x %d pages made in %.0f ms\n", kFolders, kPages,
                std::chrono::duration<double, std::milli>(Clock::now() - made).count());

    auto mgr = std::make_unique<KvWebMgr>();
    mgr->SetBaseDirectory(base.c_str());
    Request(*mgr, "/");  // opens the site
    std::vector<double> view, front, first, again, broad;
    size_t viewBytes = 0, frontBytes = 0, searchBytes = 0;
    for (int i = 0; i < reps; ++i) {
        const int f = i % kFolders, p = (i * 7) % kPages;
        view.push_back(Request(*mgr, "/f" + std::to_string(f) + "/p" + std::to_string(p) + ".html", &viewBytes));
        front.push_back(Request(*mgr, "/f" + std::to_string(f) + "/", &frontBytes));
        // A new text each time: the first search of it scans the pages.
        first.push_back(Request(*mgr, "/phpmod/search.php?q=topic" + std::to_string(i * 3) + "+bench", &searchBytes));
        again.push_back(Request(*mgr, "/phpmod/search.php?q=topic" + std::to_string(i * 3) + "+bench&p=1"));
        broad.push_back(Request(*mgr, "/phpmod/search.php?q=page&p=3"));
    }
    std::printf("page view            %7.3f ms  (%zu bytes)\n", Median(view), viewBytes);
    std::printf("folder front page    %7.3f ms  (%zu bytes, 20 pages listed)\n", Median(front), frontBytes);
    std::printf("search, first time   %7.3f ms  (%zu bytes)\n", Median(first), searchBytes);
    std::printf("search, from profile %7.3f ms\n", Median(again));
    std::printf("search of 1000 hits, page 3 %7.3f ms\n", Median(broad));
    mgr.reset();
    fs::remove_all(base);
    return 0;
}
