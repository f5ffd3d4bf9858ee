// The feed reader over a corpus of real-world feeds (../shared/testdata/feeds
// beside the checkout): each well-formed feed gives the manifest's kind,
// item count, first title, link and date and the feed's title; each
// ill-formed one is refused with a message and no items.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "proxy/feeds/KvFeedDate.h"
#include "proxy/feeds/KvFeedParse.h"
#include "proxy/feeds/KvFeedText.h"

namespace {

using Record = std::map<std::string, std::optional<std::string>>;  // null as nullopt

void AppendUtf8(std::string& out, unsigned long c) {
    CString s;
    KvAppendUtf8(s, c);
    out += s.c_str();
}

// One line of the manifest: a flat JSON object of strings, numbers,
// booleans and nulls.
Record ParseLine(const std::string& line) {
    Record r;
    size_t i = 0;
    auto skip = [&] { while (i < line.size() && std::isspace((unsigned char)line[i])) ++i; };
    auto string = [&] {
        std::string out;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\') {
                out += line[i];
                continue;
            }
            char e = line[++i];
            if (e == 'u') {
                unsigned long c = std::stoul(line.substr(i + 1, 4), nullptr, 16);
                i += 4;
                if (c >= 0xD800 && c < 0xDC00 && line.compare(i + 1, 2, "\\u") == 0) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (std::stoul(line.substr(i + 3, 4), nullptr, 16) - 0xDC00);
                    i += 6;
                }
                AppendUtf8(out, c);
            } else {
                out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
            }
        }
        ++i;
        return out;
    };
    skip();
    ++i;  // {
    while (true) {
        skip();
        if (i >= line.size() || line[i] == '}') break;
        std::string key = string();
        skip();
        ++i;  // :
        skip();
        if (line[i] == '"') {
            r[key] = string();
        } else {
            size_t end = line.find_first_of(",}", i);
            std::string word = line.substr(i, end - i);
            while (!word.empty() && std::isspace((unsigned char)word.back())) word.pop_back();
            r[key] = word == "null" ? std::nullopt : std::optional<std::string>(word);
            i = end;
        }
        skip();
        if (line[i] == ',') ++i;
    }
    return r;
}

std::filesystem::path CorpusDir() {
    for (const char* relative : {"/../shared/testdata/feeds", "/../../shared/testdata/feeds"}) {
        std::filesystem::path p = std::string(KV_SOURCE_DIR) + relative;
        if (std::filesystem::exists(p / "manifest.jsonl")) return p;
    }
    return {};
}

std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Collapsed(const std::optional<std::string>& s) { return KvCollapseSpace(s.value_or("").c_str()).c_str(); }

time_t UtcSeconds(const std::string& iso) {
    time_t t = 0;
    EXPECT_TRUE(KvParseFeedDate(iso.c_str(), t)) << iso;
    return t;
}

}  // namespace

TEST(FeedCorpusTest, EveryFeedReadsAsTheManifestSays) {
    const std::filesystem::path dir = CorpusDir();
    if (dir.empty()) GTEST_SKIP() << "feed corpus not found beside the checkout";
    std::ifstream manifest(dir / "manifest.jsonl");
    int checked = 0;
    for (std::string line; std::getline(manifest, line);) {
        if (line.empty()) continue;
        Record r = ParseLine(line);
        const std::string file = *r["file"];
        SCOPED_TRACE(file);
        const std::string bytes = ReadBytes(dir / file);
        KvFeed feed;
        CString message;
        const bool ok = KvParseFeed(bytes.data(), bytes.size(), "", "rss_manager.xml", feed, message);
        const bool lenient = r["note"].value_or("").rfind("lenient:", 0) == 0;
        ++checked;
        if (r["ill_formed"] == "true" && !lenient) {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(feed.items.empty());
            EXPECT_EQ(message.Find("Error in rss_manager.xml["), 0) << message.c_str();
            continue;
        }
        ASSERT_TRUE(ok) << message.c_str();
        EXPECT_EQ(feed.kind.c_str(), *r["kind"]);
        EXPECT_EQ(std::to_string(feed.items.size()), *r["items"]);
        EXPECT_EQ(feed.title.c_str(), Collapsed(r["feed_title"]));
        if (feed.items.empty()) continue;
        const KvFeedItem& first = feed.items.front();
        EXPECT_EQ(first.title.c_str(), Collapsed(r["first_title"]));
        // Where an item has no <link>, the reader falls back to a permanent
        // guid or an atom:link, which the manifest leaves out.
        if (r["first_link"]) {
            EXPECT_EQ(first.link.c_str(), *r["first_link"]);
        }
        if (r["first_date_utc"]) {
            EXPECT_TRUE(first.hasDate) << first.dateText.c_str();
            EXPECT_EQ(first.date, UtcSeconds(*r["first_date_utc"])) << first.dateText.c_str();
        }
    }
    EXPECT_EQ(checked, 59);
}
