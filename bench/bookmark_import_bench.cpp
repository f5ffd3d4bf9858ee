// Bookmark file import: a file of 20,000 links in 400 folders (20 groups
// of 20 folders, 50 links each, tags, dates and descriptions) read and
// stored into a new link directory in a temporary directory. Figures: the
// time to read the file, to store it, and the whole.
//
//   bookmark_import_bench [links=20000]
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/feeds/KvBookmarkFile.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/sites/KvBookmarkImport.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// The loose shape browsers write: unclosed DT and p.
std::string MakeFile(int links) {
    constexpr int kPerFolder = 50, kPerGroup = 20;
    std::string f = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n<DL><p>\n";
    const int folders = (links + kPerFolder - 1) / kPerFolder;
    int made = 0;
    for (int g = 0; g * kPerGroup < folders; ++g) {
        f += "  <DT><H3 ADD_DATE=\"1600000000\">Group " + std::to_string(g) + "</H3>\n  <DL><p>\n";
        for (int k = 0; k < kPerGroup && g * kPerGroup + k < folders; ++k) {
            f += "    <DT><H3>Folder " + std::to_string(k) + " &amp; more</H3>\n    <DL><p>\n";
            for (int i = 0; i < kPerFolder && made < links; ++i, ++made) {
                f += "      <DT><A HREF=\"https://site" + std::to_string(made % 977) + ".example/page/" +
                     std::to_string(made) + "?a=1&amp;b=2\" ADD_DATE=\"" + std::to_string(1500000000 + made) +
                     "\" TAGS=\"bench,tag" + std::to_string(made % 50) + "\">Page " + std::to_string(made) +
                     " &lt;title&gt;</A>\n      <DD>The description of page " + std::to_string(made) + "\n";
            }
            f += "    </DL><p>\n";
        }
        f += "  </DL><p>\n";
    }
    return f + "</DL><p>\n";
}

}  // namespace

int main(int argc, char** argv) {
    const int links = argc > 1 ? atoi(argv[1]) : 20000;
    const std::string file = MakeFile(links);
    char pattern[] = "/tmp/kv-bookmark-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string db_file = std::string(pattern) + "/links.cld";
    KvSqlDBEx db;
    KvRepoLink repo;
    repo.SetDatabase(&db);
    if (!repo.Open(db_file.c_str())) return 1;

    const auto start = Clock::now();
    KvBookmarkFile parsed;
    CString error;
    if (!KvReadBookmarkFile(file.data(), file.size(), 64, 200000, parsed, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double readMs = Ms(start);
    const auto storeStart = Clock::now();
    KvBookmarkCount count;
    const bool ok = KvImportBookmarks(repo, 0, parsed, "admin", count);
    const double storeMs = Ms(storeStart), totalMs = Ms(start);
    std::printf("bookmark import: %d links, %d folders, file %.1f MiB%s\n", count.links, count.folders,
                file.size() / 1048576.0, ok ? "" : " (FAILED)");
    std::printf("  read %.0f ms, store %.0f ms, total %.0f ms\n", readMs, storeMs, totalMs);
    std::printf("  stored: %d links, %d memberships\n", db.ExecScalar("select count(*) from link_item", 0),
                db.ExecScalar("select count(*) from link_member", 0));
    repo.Close();
    db.Close();
    std::error_code ec;
    std::filesystem::remove_all(pattern, ec);
    return ok ? 0 : 1;
}
