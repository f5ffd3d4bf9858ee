// Feed reading figures: parse speed over a folder of feeds (default: the
// corpus beside the checkout) and the peak memory of reading one large
// generated feed.
//
//   feed_bench [feed-folder] [large-feed-MB]
//
// Speed: every file of the folder read (the manifest left out) as often as
// fits in about two seconds; MB/s over the bytes read. Memory: the large
// feed (RSS 2.0, items of about 500 bytes) is read in a child process; its
// peak resident size is set against a child that only holds the bytes.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "proxy/feeds/KvFeedParse.h"

namespace {

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string LargeFeed(size_t bytes) {
    std::string feed = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>Large</title>\n";
    for (int i = 0; feed.size() < bytes; ++i) {
        feed += "<item><title>Item " + std::to_string(i) + " &amp; a title of a usual length</title>"
                "<link>https://large.example/items/" + std::to_string(i) + "</link>"
                "<description>&lt;p&gt;A description with &lt;a href=\"https://large.example/\"&gt;a link&lt;/a&gt; "
                "and enough words to look like the text a real feed carries in every item.&lt;/p&gt;</description>"
                "<pubDate>Tue, 01 Oct 2019 22:30:00 PST</pubDate></item>\n";
    }
    return feed + "</channel></rss>\n";
}

// Peak resident KiB of a child that runs `work`.
long ChildPeakKiB(void (*work)(const std::string&), const std::string& bytes) {
    pid_t pid = fork();
    if (pid == 0) {
        work(bytes);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

void HoldOnly(const std::string& bytes) { std::string copy = bytes; (void)copy; }

// Ill-formed feeds of the corpus are refused; that is part of the work.
void ReadFeed(const std::string& bytes) {
    KvFeed feed;
    CString message;
    (void)KvParseFeed(bytes.data(), bytes.size(), "", "bench.xml", feed, message);
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path dir = argc > 1 ? argv[1] : std::string(KV_BENCH_SOURCE_DIR) + "/../shared/testdata/feeds";
    const double largeMb = argc > 2 ? std::atof(argv[2]) : 5.0;

    std::vector<std::string> feeds;
    size_t total = 0;
    if (std::filesystem::is_directory(dir)) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || !(name.ends_with(".xml") || name.ends_with(".rss") || name.ends_with(".atom"))) {
                continue;
            }
            feeds.push_back(ReadFile(entry.path()));
            total += feeds.back().size();
        }
    }
    if (!feeds.empty()) {
        using Clock = std::chrono::steady_clock;
        const auto start = Clock::now();
        size_t bytes = 0;
        int rounds = 0;
        while (Clock::now() - start < std::chrono::seconds(2)) {
            for (const std::string& f : feeds) ReadFeed(f);
            bytes += total;
            ++rounds;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        std::printf("corpus: %zu files, %.2f MB, %d rounds: %.1f MB/s\n", feeds.size(), total / 1e6, rounds,
                    bytes / 1e6 / seconds);
    } else {
        std::printf("corpus: no feeds in %s\n", dir.c_str());
    }

    const std::string large = LargeFeed((size_t)(largeMb * 1024 * 1024));
    const long base = ChildPeakKiB(&HoldOnly, large);
    const long read = ChildPeakKiB(&ReadFeed, large);
    std::printf("large feed: %.2f MB: peak resident %.1f MB reading it, %.1f MB of that above holding the bytes\n",
                large.size() / 1048576.0, read / 1024.0, (read - base) / 1024.0);
    return 0;
}
