#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "inet/match/KvMatchList.h"

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        m_path = fs::temp_directory_path() /
                 ("kv_matchlist_" + std::to_string(::getpid()) + "_" + std::to_string(s_next++));
        fs::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    std::string File(const char* name) const { return (m_path / name).string(); }

private:
    static inline int s_next = 0;
    fs::path m_path;
};

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void AddPatterns(KvMatchList& list, const std::vector<std::string>& patterns) {
    for (const std::string& p : patterns) list.GetTheList().AddTail(new KvMatchListItem(p.c_str()));
}

std::vector<std::string> Runs(const char* regex, bool* readable = nullptr) {
    std::vector<std::string> runs;
    bool ok = KvRequiredLiterals(regex, runs);
    if (readable) *readable = ok;
    return runs;
}

// Asserts that the indexed and the item-by-item answers agree.
void ExpectSameAnswer(const KvMatchList& list, const std::string& text, int* matches = nullptr) {
    CString indexed = "-", linear = "-";
    int a = list.IsMatch(text.c_str(), &indexed);
    int b = list.IsMatchLinear(text.c_str(), &linear);
    ASSERT_EQ(a, b) << "text: " << text << " linear pattern: " << linear.c_str();
    ASSERT_EQ(indexed, linear) << "text: " << text;
    if (matches && a) ++*matches;
}

}  // namespace

TEST(KvMatchListConvertTest, WildcardBecomesExpression) {
    EXPECT_EQ(KvWildcardToRegex("*.ads.com/?x*"), "(.*)\\.ads\\.com/\\?x(.*)");
    EXPECT_EQ(KvWildcardToRegex("a[0-9]+$"), "a[0-9]+$");
}

TEST(KvMatchListConvertTest, RequiredLiteralsOfCommonShapes) {
    bool readable = true;
    EXPECT_EQ(Runs("(.*)\\.AdTracker\\.net/(.*)"), std::vector<std::string>{".adtracker.net/"});
    EXPECT_EQ(Runs("ab?c"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Runs("ab+c"), (std::vector<std::string>{"ab", "c"}));
    EXPECT_EQ(Runs("ab{2}c"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Runs("x[[:alpha:]]]y"), (std::vector<std::string>{"x", "]y"}));
    EXPECT_EQ(Runs("^/ad\\d+/(x|y)z$"), (std::vector<std::string>{"/ad", "/", "z"}));
    EXPECT_EQ(Runs("a{b}c"), std::vector<std::string>{"b}c"});  // a brace that opens no count is a byte
    Runs("ab{x|y", &readable);
    EXPECT_FALSE(readable);
    Runs("ads|banner", &readable);
    EXPECT_FALSE(readable);  // alternation at the top: nothing is required
    Runs("\\x41bc", &readable);
    EXPECT_FALSE(readable);
    Runs("(?i)abc", &readable);
    EXPECT_FALSE(readable);
}

TEST(KvMatchListTest, DomainPatternMatchesAnyPathAndCase) {
    KvMatchList list;
    AddPatterns(list, {"*.example.com/*"});
    list.InitTheList();
    CString pattern;
    EXPECT_TRUE(list.IsMatch("http://www.EXAMPLE.Com/Some/Path?q=1", &pattern));
    EXPECT_EQ(pattern, "*.example.com/*");
    EXPECT_TRUE(list.IsMatch("see ads.example.com/ in the text"));
    EXPECT_FALSE(list.IsMatch("http://example.com/"));  // no dot before the domain
    EXPECT_FALSE(list.IsMatch("http://www.example.community/"));
}

TEST(KvMatchListTest, LoadTrimsLinesAndSkipsEmptyOnes) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    WriteFile(path, "  *.ads.net/*  \r\n\r\n\t\nbanner\n   \nbad[line\r\n*/popup/*");
    KvMatchList list;
    ASSERT_TRUE(list.LoadFile(path.c_str()));
    ASSERT_EQ(list.GetTheList().GetCount(), 4);
    EXPECT_FALSE(list.IsMatch("http://x.ads.net/a"));  // not compiled yet
    list.InitTheList();
    CString pattern;
    EXPECT_TRUE(list.IsMatch("http://x.ads.net/a", &pattern));
    EXPECT_EQ(pattern, "*.ads.net/*");
    EXPECT_TRUE(list.IsMatch("http://site/popup/1", &pattern));
    EXPECT_EQ(pattern, "*/popup/*");
    auto* bad = static_cast<KvMatchListItem*>(list.GetTheList().GetAt(2));
    EXPECT_EQ(bad->m_strPattern, "bad[line");
    EXPECT_FALSE(bad->m_bCompiled);
    EXPECT_FALSE(list.IsMatch("bad[line"));
}

TEST(KvMatchListTest, UnreadableFileLeavesAnEmptyList) {
    KvMatchList list;
    AddPatterns(list, {"a"});
    EXPECT_FALSE(list.LoadFile("/nonexistent/dir/list.txt"));
    EXPECT_EQ(list.GetTheList().GetCount(), 0);
    list.InitTheList();
    EXPECT_FALSE(list.IsMatch("a"));
}

TEST(KvMatchListTest, SaveWritesCrLfAndEmptyListDeletesTheFile) {
    TempDir dir;
    std::string path = dir.File("out.txt");
    KvMatchList list;
    AddPatterns(list, {"*.a.com/*", "b"});
    ASSERT_TRUE(list.SaveFile(path.c_str()));
    EXPECT_EQ(ReadFile(path), "*.a.com/*\r\nb\r\n");
    KvMatchList back;
    ASSERT_TRUE(back.LoadFile(path.c_str()));
    EXPECT_EQ(back.GetTheList().GetCount(), 2);
    back.RemoveAll();
    ASSERT_TRUE(back.SaveFile(path.c_str()));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(list.SaveFile(dir.File("missing/dir/out.txt").c_str()));
}

TEST(KvMatchListTest, FirstMatchingItemInListOrderWins) {
    KvMatchList list;
    // The later, more specific pattern is filed under a rarer piece; the
    // earlier one must still win.
    AddPatterns(list, {"*ad*", "*/adserver.tracker.example/*", "*"});
    list.InitTheList();
    CString pattern;
    ASSERT_TRUE(list.IsMatch("http://h/adserver.tracker.example/x", &pattern));
    EXPECT_EQ(pattern, "*ad*");
    ASSERT_TRUE(list.IsMatch("http://h/none", &pattern));
    EXPECT_EQ(pattern, "*");
    // A null text counts as empty: only the catch-all matches it.
    EXPECT_TRUE(list.IsMatch(nullptr, &pattern));
    EXPECT_EQ(pattern, "*");
}

TEST(KvMatchListTest, NullTextIsNotAMatchForOrdinaryPatterns) {
    KvMatchList list;
    AddPatterns(list, {"*.ads.com/*"});
    list.InitTheList();
    EXPECT_FALSE(list.IsMatch(nullptr));
    EXPECT_FALSE(list.IsMatchLinear(nullptr));
}

TEST(KvMatchListTest, ProductItemsGoFirstAndStayInertUntilPrepared) {
    std::vector<CString> saved = KvMatchList::GetKavoriItems();
    KvMatchList::SetKavoriItems({"*.shop.test/*", "http://ads.net.test/show.js*", "", "*.portal.test/*"});
    KvMatchList list;
    AddPatterns(list, {"*"});
    list.InitTheList();
    list.AddKavoriItems();
    KvMatchList::SetKavoriItems(saved);
    ASSERT_EQ(list.GetTheList().GetCount(), 4);  // the empty pattern gives no entry
    auto at = [&](int i) { return static_cast<KvMatchListItem*>(list.GetTheList().GetAt(i))->m_strPattern; };
    EXPECT_EQ(at(0), "*.portal.test/*");
    EXPECT_EQ(at(1), "http://ads.net.test/show.js*");
    EXPECT_EQ(at(2), "*.shop.test/*");
    CString url = "http://www.portal.test/index.html";
    CString pattern;
    ASSERT_TRUE(list.IsMatch(url, &pattern));
    EXPECT_EQ(pattern, "*");  // the new items are not compiled yet
    list.InitTheList();
    ASSERT_TRUE(list.IsMatch(url, &pattern));
    EXPECT_EQ(pattern, at(0));
}

TEST(KvMatchListTest, PathologicalLineDoesNotHangTheList) {
    KvMatchList list;
    AddPatterns(list, {"(a+)+b", "*.ok.com/*"});
    list.InitTheList();
    std::string url = "http://x.ok.com/" + std::string(40, 'a') + "c b";
    CString pattern;
    EXPECT_TRUE(list.IsMatch(url.c_str(), &pattern));  // the regex's match limit ends its line
    EXPECT_EQ(pattern, "*.ok.com/*");
}

// ---- the index against the plain walk ---------------------------------------

namespace {

// Patterns and URLs of the shapes real lists hold, drawn from a small
// vocabulary so that many URLs match something.
class UrlWorld {
public:
    explicit UrlWorld(unsigned seed) : m_rng(seed) {}

    std::string Pattern() {
        switch (Pick(8)) {
        case 0: return "*." + Domain() + "/*";
        case 1: return Host() + "/*";
        case 2: return "*/" + Word() + std::to_string(Pick(30)) + "/*";
        case 3: return "*" + Word() + std::to_string(Pick(30)) + "*." + Pick({"gif", "js", "png"}) + "*";
        case 4: return "http://" + Host() + "/" + Word() + "?" + Word() + "=*";
        case 5: return "*" + Word() + "-" + Word() + "*";
        case 6: return Pick({"^http://[0-9]+\\.", "/(ads|banner)/", "[?&]ref=", "\\bad\\d+", "x{2,}y", "tra?ck"});
        default: return "*" + Domain() + "*/" + Word() + "*";
        }
    }

    std::string Url() {
        std::string url = Pick({"http://", "https://", "HTTP://"}) + Host() + "/";
        for (int i = Pick(4); i >= 0; --i) url += Word() + Pick({"/", ".gif", ".js", "-", "/"});
        if (Pick(2)) url += "?" + Word() + "=" + Word() + Pick({"", "&ref=1", "&q=" + Word()});
        if (!Pick(8)) url += std::to_string(Pick(100000)) + "." + Word();
        if (!Pick(10)) url[(size_t)Pick((int)url.size())] ^= 0x20;  // stray case change
        return url;
    }

private:
    int Pick(int n) { return (int)(m_rng() % (unsigned)n); }
    std::string Pick(std::initializer_list<std::string> options) {
        return *(options.begin() + Pick((int)options.size()));
    }
    std::string Word() {
        static const char* words[] = {"ads",    "banner", "track", "img",  "static", "news",  "ad",   "pixel",
                                      "click",  "cdn",    "media", "pop",  "count",  "stats", "x",    "a1",
                                      "promo",  "video",  "api",   "view", "adserv", "t",     "b2b",  "advert"};
        std::string word = words[Pick(sizeof(words) / sizeof(words[0]))];
        return Pick(2) ? word : word + std::to_string(Pick(30));
    }
    std::string Domain() {
        static const char* names[] = {"example", "tracker", "adnet", "shop", "news", "cdn", "media", "foo", "bar"};
        static const char* tlds[] = {"com", "net", "org", "co.uk", "de"};
        return std::string(names[Pick(9)]) + std::to_string(Pick(20)) + "." + tlds[Pick(5)];
    }
    std::string Host() { return Pick({"www.", "ads.", "", "img.", "a.b."}) + Domain(); }

    std::mt19937 m_rng;
};

// Short strings over the characters that make expressions interesting.
std::string Soup(std::mt19937& rng, const char* alphabet, int maxLen) {
    std::string s;
    size_t n = std::strlen(alphabet);
    for (int i = (int)(rng() % (unsigned)maxLen); i >= 0; --i) s += alphabet[rng() % n];
    return s;
}

}  // namespace

TEST(KvMatchIndexTest, SameAnswerAsThePlainWalkOnUrls) {
    UrlWorld world(12345);
    KvMatchList list;
    for (int i = 0; i < 2000; ++i) list.GetTheList().AddTail(new KvMatchListItem(world.Pattern().c_str()));
    list.InitTheList();
    EXPECT_LT(list.GetIndex().GetAlwaysCount(), 50u);  // the index actually files the patterns
    int matches = 0;
    for (int i = 0; i < 2500; ++i) ASSERT_NO_FATAL_FAILURE(ExpectSameAnswer(list, world.Url(), &matches));
    EXPECT_GT(matches, 500);  // the sample exercises both answers
    EXPECT_LT(matches, 2000);
}

TEST(KvMatchIndexTest, SameAnswerOnRandomExpressions) {
    // Random expressions probe the literal reader: anything it claims to be
    // required but is not would show as a missed match.
    std::mt19937 rng(777);
    const char* patternChars = "abcAB.*?+()[]|{}^$\\-:/12,dxQE";
    const char* textChars = "abcAB./-:12{}[]\\+|?^$x\n";
    for (int round = 0; round < 60; ++round) {
        KvMatchList list;
        for (int i = 0; i < 60; ++i) list.GetTheList().AddTail(new KvMatchListItem(Soup(rng, patternChars, 8).c_str()));
        list.InitTheList();
        for (int i = 0; i < 200; ++i) ASSERT_NO_FATAL_FAILURE(ExpectSameAnswer(list, Soup(rng, textChars, 16)));
    }
}

TEST(KvMatchIndexTest, ConcurrentMatchingGivesTheSameAnswers) {
    UrlWorld world(99);
    KvMatchList list;
    for (int i = 0; i < 2000; ++i) list.GetTheList().AddTail(new KvMatchListItem(world.Pattern().c_str()));
    list.InitTheList();
    std::vector<std::string> urls;
    std::vector<std::string> expected;
    for (int i = 0; i < 500; ++i) {
        urls.push_back(world.Url());
        CString p;
        expected.push_back(list.IsMatchLinear(urls.back().c_str(), &p) ? p.str() : std::string());
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 4; ++round)
                for (size_t i = 0; i < urls.size(); ++i) {
                    CString p;
                    std::string got = list.IsMatch(urls[i].c_str(), &p) ? p.str() : std::string();
                    if (got != expected[i]) ++wrong;
                }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(KvMatchIndexTest, PlainLinesKeepNoExpressionUntilALineBreakNeedsOne) {
    KvMatchList list;
    AddPatterns(list, {"*.ads.example/*", "tracker.example", "*.Mixed.CASE/*", "*/ad[0-9]/*", "*/banner/*.gif"});
    list.InitTheList();
    EXPECT_TRUE(static_cast<KvMatchListItem*>(list.GetTheList().GetAt(0))->m_bCompiled);
    CString pattern;
    EXPECT_TRUE(list.IsMatch("http://a.MIXED.case/x", &pattern));
    EXPECT_EQ(pattern, "*.Mixed.CASE/*");
    EXPECT_TRUE(list.IsMatch("http://h/banner/x.gif"));
    EXPECT_EQ(list.GetIndex().GetCompiledCount(), 1u);  // only the line with a class
    // "*" does not reach across a line break: only the engine can say so.
    EXPECT_FALSE(list.IsMatch("http://h/banner/\nx.gif"));
    EXPECT_TRUE(list.IsMatch("a\nhttp://x.ADS.example/", &pattern));
    EXPECT_EQ(pattern, "*.ads.example/*");
    for (const char* text : {"http://tracker.example/", "http://h/ad7/x", "http://h/none", "b\n/banner/.gif"})
        ASSERT_NO_FATAL_FAILURE(ExpectSameAnswer(list, text));
}

TEST(KvMatchIndexTest, DeferredExpressionsCompiledByManyThreadsAtOnce) {
    UrlWorld world(4242);
    std::vector<std::string> patterns;
    for (int i = 0; i < 1500; ++i) patterns.push_back(world.Pattern());
    KvMatchList reference, list;
    AddPatterns(reference, patterns);
    AddPatterns(list, patterns);
    reference.InitTheList();
    list.InitTheList();
    std::vector<std::string> texts, expected;
    for (int i = 0; i < 300; ++i) {
        texts.push_back(world.Url() + "\n" + world.Url());  // a line break: plain lines go to the engine
        CString p;
        expected.push_back(reference.IsMatchLinear(texts.back().c_str(), &p) ? p.str() : std::string());
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < texts.size(); ++k) {
                size_t i = (k + (size_t)t * 50) % texts.size();
                CString p;
                std::string got = list.IsMatch(texts[i].c_str(), &p) ? p.str() : std::string();
                if (got != expected[i]) ++wrong;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}
