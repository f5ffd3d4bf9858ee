// Link directory benchmark: 100,000 links in 2,000 folders 8 levels deep.
// Figures: a folder page's data (sub-folders, the link count and the first
// page of 10 links), a search over all links (the first page and the
// count), a bulk add of 10,000 links and the deletion of a folder tree
// holding about 10,000 links. The file lives in a temporary directory.
//
//   repo_bench [repetitions=200]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/html/KvSearchCond.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kLevelSizes[] = {10, 30, 60, 120, 240, 400, 540, 600};  // 2,000 folders
constexpr int kLinksPerFolder = 50;                                   // 100,000 links
const char* const kWords[] = {"alpha", "bravo", "carbon", "delta", "echo", "forest", "garden", "harbor",
                              "island", "jungle", "kernel", "lantern", "meadow", "nickel", "orbit", "pepper"};

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string LoadAverage() {
    std::ifstream f("/proc/loadavg");
    std::string a, b, c;
    f >> a >> b >> c;
    return a + " " + b + " " + c;
}

KvObjectArray* Links(int first, int count, std::mt19937& rng) {
    auto* links = new KvObjectArray;
    for (int i = first; i < first + count; i++) {
        std::string title = std::string(kWords[rng() % 16]) + " " + kWords[rng() % 16] + " " + std::to_string(i);
        std::string url = "http://site" + std::to_string(i % 977) + ".example/page/" + std::to_string(i);
        auto* link = new KvLinkItem(url.c_str(), title.c_str(), "a link of the benchmark directory");
        link->m_nRank = (int)(rng() % 100);
        links->Add(link);
    }
    return links;
}

// The folders level by level, each under a random folder of the level above;
// every folder gets its links by the bulk path.
std::vector<std::vector<int>> BuildTree(KvRepoLink& repo, std::mt19937& rng) {
    std::vector<std::vector<int>> levels;
    std::vector<int> above = {0};
    int next = 0;
    for (int size : kLevelSizes) {
        std::vector<int> level;
        for (int i = 0; i < size; i++) {
            int id = repo.AddNewFolder(above[rng() % above.size()], ("folder" + std::to_string(i)).c_str());
            KvObjectArray* links = Links(next, kLinksPerFolder, rng);
            repo.AddNewItems(id, links);
            delete links;
            next += kLinksPerFolder;
            level.push_back(id);
        }
        levels.push_back(level);
        above = level;
    }
    return levels;
}

int SubtreeLinks(KvSqlDBEx& db, int folder) {
    std::string sql =
        "with recursive t(id) as (select " + std::to_string(folder) +
        " union all select folder_id from web_folder join t on folder_parent=t.id) "
        "select count(*) from link_member where folder_id in (select id from t)";
    return db.ExecScalar(sql.c_str(), 0);
}

}  // namespace

int main(int argc, char** argv) {
    int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    char pattern[] = "/tmp/kvrepo_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    std::string file = std::string(pattern) + "/links.cld";
    KvSqlDBEx db;
    KvRepoLink repo;
    repo.SetDatabase(&db);
    if (!repo.Open(file.c_str())) return 1;
    std::mt19937 rng(7);

    auto t0 = Clock::now();
    std::vector<std::vector<int>> levels = BuildTree(repo, rng);
    std::printf("load average %s\n", LoadAverage().c_str());
    std::printf("built %d folders, %d links in %.0f ms\n", db.ExecScalar("select count(*) from web_folder"),
                repo.QueryItemCount(""), Ms(t0));

    // A folder page: its sub-folders, its link count and first page of links.
    std::vector<double> page;
    for (int r = 0; r < reps; r++) {
        const std::vector<int>& level = levels[rng() % levels.size()];
        int folder = level[rng() % level.size()];
        KvObjectArray folders, links;
        auto t = Clock::now();
        repo.PopulateFolder(folder, &folders);
        repo.PopulateItemCount(folder);
        repo.PopulateItem(folder, "", 10, 0, &links);
        page.push_back(Ms(t));
    }
    std::printf("folder page data: median %.3f ms (goal < 5 ms)\n", Median(page));

    // A search over all links: first page and count, each query new.
    std::vector<double> search;
    for (int r = 0; r < std::min(reps, 40); r++) {
        std::string q = std::string(kWords[r % 16]) + " " + kWords[(r * 7 + 3) % 16];
        CString cond = SearchQueryBuilder("item_title", q.c_str());
        KvObjectArray links;
        auto t = Clock::now();
        repo.QueryItem(cond, 10, 0, &links);
        repo.QueryItemCount(cond);
        search.push_back(Ms(t));
    }
    std::printf("search over all links: median %.1f ms (goal < 100 ms)\n", Median(search));

    // Bulk add of 10,000 new links into one folder.
    KvObjectArray* bulk = Links(1000000, 10000, rng);
    int target = repo.AddNewFolder(0, "bulk");
    t0 = Clock::now();
    repo.AddNewItems(target, bulk);
    std::printf("bulk add of 10,000 links: %.0f ms (goal < 5000 ms)\n", Ms(t0));
    delete bulk;

    // The first-level folder whose tree holds closest to 10,000 links.
    int victim = levels[0][0], best = -1;
    for (int id : levels[0]) {
        int n = SubtreeLinks(db, id);
        if (best < 0 || std::abs(n - 10000) < std::abs(best - 10000)) victim = id, best = n;
    }
    t0 = Clock::now();
    int ok = repo.DeleteFolder(victim);
    std::printf("delete a folder tree of %d links: %.0f ms%s (goal < 2000 ms)\n", best, Ms(t0), ok ? "" : " FAILED");

    repo.Close();
    std::error_code ec;
    std::filesystem::remove_all(pattern, ec);
    return 0;
}
