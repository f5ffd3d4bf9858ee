// Crash safety of the object store: a child process stores, replaces and
// deletes answers and is killed (SIGKILL) at a random moment; the store is
// then reopened and must never serve another URL's answer or a partial one,
// and every URL must be storable again.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "proxy/cache/KvCacheDB.h"
#include "proxy/tests/cache_test_util.h"

using namespace cachetest;

namespace {

constexpr int kUrls = 24;

std::string UrlOf(int n) { return "http://crash" + std::to_string(n % 3) + ".org/page/" + std::to_string(n); }

// A body that names its URL and version and whose length follows from the
// version, so a wrong or cut answer is recognised.
std::string BodyOf(const std::string& url, unsigned version) {
    size_t filler = 100 + (version * 7919u) % 150000u;
    return "URL=" + url + "|V=" + std::to_string(version) + "|" + std::string(filler, (char)('a' + version % 26)) +
           "|END";
}

// Empty when the body is a whole answer of this URL, else what is wrong.
std::string CheckBody(const std::string& url, const std::string& body) {
    std::string head = "URL=" + url + "|V=";
    if (body.compare(0, head.size(), head) != 0) return "another URL's answer: " + body.substr(0, 80);
    unsigned version = (unsigned)std::stoul(body.substr(head.size()));
    if (body != BodyOf(url, version)) return "a partial or altered answer of " + url;
    return "";
}

[[noreturn]] void StoreUntilKilled(const std::string& dir, unsigned seed) {
    KvCacheDB db;
    if (!db.Open(dir.c_str(), "vcache")) _exit(3);
    std::mt19937 rng(seed);
    for (unsigned version = seed * 1000;; ++version) {
        std::string url = UrlOf((int)(rng() % kUrls));
        if (rng() % 6 == 0) {
            db.DeleteCache(url.c_str());
            continue;
        }
        KvHttpResponse r;
        MakeAnswer(r, BodyOf(url, version));
        db.AddCache(url.c_str(), &r);
    }
}

}  // namespace

TEST(CacheCrashTest, KilledWriterNeverLeavesWrongOrPartialAnswers) {
    TempDir dir;
    std::mt19937 rng(12345);
    constexpr int kRounds = 30;
    int servedTotal = 0, childAnswers = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Now and then the index goes, so a new one is made beside old content
        // (and the child may die while making it).
        if (round % 10 == 9) {
            for (const char* f : {"vcache.cdx", "vcache.cdx-wal", "vcache.cdx-shm"})
                std::filesystem::remove(dir.File(f));
        }
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) StoreUntilKilled(dir.Path(), (unsigned)round + 1);
        usleep((useconds_t)(round % 10 == 9 || round == 0 ? rng() % 3000 : 2000 + rng() % 60000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended on its own, status " << status;

        KvCacheDB db;
        ASSERT_EQ(db.Open(dir.Path().c_str(), "vcache"), 1) << "round " << round;
        for (int n = 0; n < kUrls; ++n) {
            std::string url = UrlOf(n);
            KvHttpResponse got;
            if (db.GetCache(url.c_str(), &got)) {
                ++servedTotal;
                EXPECT_EQ(CheckBody(url, Body(got)), "") << "round " << round;
                childAnswers += Body(got).find("|V=9000") == std::string::npos;
            }
            // Storable again, and then served exactly.
            KvHttpResponse fresh;
            std::string body = BodyOf(url, 900000u + (unsigned)round);
            MakeAnswer(fresh, body);
            ASSERT_EQ(db.AddCache(url.c_str(), &fresh), 1) << url << " round " << round;
            KvHttpResponse again;
            ASSERT_EQ(db.GetCache(url.c_str(), &again), 1) << url;
            EXPECT_EQ(Body(again), body);
            // Leave some of them absent for the next writer.
            if (n % 4 == 0) {
                EXPECT_EQ(db.DeleteCache(url.c_str()), 1);
            }
        }
    }
    EXPECT_GT(servedTotal, 0);
    EXPECT_GT(childAnswers, 0);  // the writer did get work done before it died
}
