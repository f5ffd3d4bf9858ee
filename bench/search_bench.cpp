// Search store benchmark: 100,000 links in a link directory's content
// database; a search over keywords, titles and descriptions the first time
// (the content rows are scanned and the profile stored) and from its
// stored profile (count and the first page of 10 links). Files live in a
// temporary directory.
//
//   search_bench [repetitions=20]
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "inet/html/KvSearchCond.h"
#include "proxy/repo/KvSearchLink.h"

namespace {

using Clock = std::chrono::steady_clock;

const char kLinkTable[] =
    "CREATE TABLE link_item(item_id int(3) not null, item_url varchar(255) not null collate nocase, item_showas "
    "varchar(255) collate nocase, item_title varchar(255) collate nocase, item_desc text collate nocase, "
    "item_keywords text collate nocase, item_note varchar(255) collate nocase,item_show int(3) default 0,"
    "item_active int(3) default 0,item_great int(3) default 0,item_rank int(3) default 0, item_hits int(3) default "
    "0, item_afd int(3) default 0,item_flags int(3) default 0,item_checked datetime not null default '1980-01-01 "
    "00:00:00',upload_by varchar(20) not null default 'admin',upload_on datetime not null default '1980-01-01 "
    "00:00:00',update_on datetime not null default '1980-01-01 00:00:00',primary key (item_id), unique "
    "(item_url));";

double Ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

CString Condition(const char* q) {
    CString c;
    c.Format("(%s) or (%s) or (%s)", SearchQueryBuilder("item_keywords", q).c_str(),
             SearchQueryBuilder("item_title", q).c_str(), SearchQueryBuilder("item_desc", q).c_str());
    return c;
}

bool Fill(KvSqlDB& db, int links) {
    if (db.Execute(kLinkTable) < 0) return false;
    KvSqlTransaction tx(db);
    KvSqlStatement st = db.CompileStatement(
        "insert into link_item (item_id, item_url, item_title, item_desc, item_keywords, item_rank) "
        "values (?, ?, ?, ?, ?, ?);");
    for (int i = 1; i <= links; ++i) {
        std::string n = std::to_string(i);
        st.Bind(1, i);
        st.Bind(2, ("http://site" + n + ".example/page").c_str());
        st.Bind(3, ("Site number " + n + (i % 500 == 0 ? " gardening" : "")).c_str());
        st.Bind(4, ("A description of site " + n + " with some words about it").c_str());
        st.Bind(5, i % 1000 == 0 ? "garden, plants" : "misc, links");
        st.Bind(6, i % 100);
        if (st.Execute() < 0) return false;
    }
    return tx.Commit() != 0;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kvsearch_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    KvSqlDBEx content;
    KvSearchLink store;
    if (!content.Open((dir / "site.cld").c_str()) || !Fill(content, 100000) ||
        !store.OpenStore((dir / "site.srt").c_str())) {
        std::fprintf(stderr, "search_bench: setup failed\n");
        return 1;
    }
    store.SetContentDatabase(&content);

    std::vector<double> first, stored;
    int found = 0;
    for (int r = 0; r < reps; ++r) {
        if (!store.ClearSearchProfiles()) return 1;
        auto t0 = Clock::now();
        int id = store.FindOrCreateSearchProfile("garden", Condition("garden"));
        first.push_back(Ms(t0));
        KvObjectArray page;
        t0 = Clock::now();
        int again = store.FindOrCreateSearchProfile("garden", Condition("garden"));
        found = store.PopulateSearchResultCount(again);
        store.PopulateSearchResult(again, "", 10, 0, &page);
        stored.push_back(Ms(t0));
        if (id <= 0 || again != id || page.GetSize() != 10) return 1;
    }
    std::printf("search over 100,000 links (%d stored ids), median of %d:\n", found, reps);
    std::printf("  first time:          %8.2f ms\n", Median(first));
    std::printf("  from stored profile: %8.2f ms (count + first page of 10)\n", Median(stored));
    content.Close();
    store.Close();
    std::filesystem::remove_all(dir);
    return 0;
}
