#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "inet/match/TqRegex.h"

namespace {

std::atomic<int> g_logLines{0};
std::string g_lastLog;
void CountLog(const char* line) {
    g_lastLog = line;
    ++g_logLines;
}

struct LogCapture {
    LogCapture() {
        g_logLines = 0;
        TqRegexSetLogHook(CountLog);
    }
    ~LogCapture() { TqRegexSetLogHook(nullptr); }
};

CString Replaced(const char* text, const char* pattern, const char* replacement, int* result = nullptr) {
    CString s(text);
    int r = TqRegex::FindReplace(s, pattern, replacement);
    if (result) *result = r;
    return s;
}

}  // namespace

TEST(TqRegexTest, OptionsSelectCaseAndLineMode) {
    TqRegex re;
    ASSERT_TRUE(re.SetExp("^abc$", TQ_REGEX_ICASE));
    EXPECT_TRUE(re.IsMatch("ABC"));
    EXPECT_FALSE(re.IsMatch("x\nabc\ny"));  // not multi-line: ^ only at the start
    ASSERT_TRUE(re.SetExp("^abc$", TQ_REGEX_MULTILINE));
    EXPECT_TRUE(re.IsMatch("x\nabc\ny"));
    EXPECT_FALSE(re.IsMatch("x\nABC\ny"));  // case-sensitive now
    EXPECT_FALSE(re.IsMatch("zzabcdef"));
    ASSERT_TRUE(re.SetExp("b", 0));
    EXPECT_TRUE(re.IsMatch("abc"));  // unanchored
}

TEST(TqRegexTest, NoExpressionOrNullTextCountsAsMatch) {
    TqRegex re;
    EXPECT_FALSE(re.IsValid());
    EXPECT_TRUE(re.IsMatch("anything"));
    ASSERT_TRUE(re.SetExp("x", 0));
    EXPECT_TRUE(re.IsMatch(nullptr));
    CString out = "old";
    EXPECT_TRUE(re.GetMatch(nullptr, out));
}

TEST(TqRegexTest, FailedCompileLeavesNoExpression) {
    TqRegex re;
    ASSERT_TRUE(re.SetExp("a", 0));
    EXPECT_FALSE(re.SetExp("(unclosed", 0));
    EXPECT_FALSE(re.IsValid());
    EXPECT_FALSE(re.SetExp(nullptr, 0));
    // The one-shot form reports a bad pattern as no match, not as "no expression".
    EXPECT_FALSE(re.IsMatch("a[", "a[", 0));
    CString out;
    EXPECT_FALSE(re.GetMatch("*", "abc", out, 0));
}

TEST(TqRegexTest, MatchFillsGroupsAndEmptiesTheRest) {
    TqRegex re;
    CsString g[4];
    for (CsString& s : g) s = "stale";
    ASSERT_TRUE(re.Match("(\\w+)@(\\w+)(x)?", "mail: joe@host.", 4, g, TQ_REGEX_ICASE));
    EXPECT_STREQ(g[0].GetStr(), "joe@host");
    EXPECT_STREQ(g[1].GetStr(), "joe");
    EXPECT_STREQ(g[2].GetStr(), "host");
    EXPECT_TRUE(g[3].IsEmpty());  // group present but unset
    EXPECT_FALSE(re.Match("nothing here", 4, g, 0));
    CString whole;
    EXPECT_TRUE(re.GetMatch("a@b", whole));
    EXPECT_EQ(whole, "a@b");
    EXPECT_FALSE(re.GetMatch("none", whole));
}

TEST(TqRegexTest, MatchStopsAtTenEntriesEvenWithMoreGroups) {
    TqRegex re;
    ASSERT_TRUE(re.SetExp("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)", 0));
    EXPECT_EQ(re.GetGroupCount(), 12);
    CsString g[12];
    g[10] = "untouched";
    ASSERT_TRUE(re.Match("abcdefghijkl", 12, g, 0));
    EXPECT_STREQ(g[9].GetStr(), "i");
    EXPECT_STREQ(g[10].GetStr(), "untouched");
}

TEST(TqRegexTest, NotBolFlag) {
    TqRegex re;
    ASSERT_TRUE(re.SetExp("^a", 0));
    CsString g[1];
    EXPECT_TRUE(re.Match("abc", 1, g, 0));
    EXPECT_FALSE(re.Match("abc", 1, g, TQ_REGEX_NOTBOL));
}

TEST(TqRegexFindReplaceTest, GlobalAndCaseInsensitive) {
    EXPECT_EQ(Replaced("AaA", "a", "b"), "bbb");
    EXPECT_EQ(Replaced("one two", "(\\w+) (\\w+)", "$2 $1"), "two one");
    EXPECT_EQ(Replaced("a\nb", "a.b", "X"), "X");      // dot matches line ends
    EXPECT_EQ(Replaced("x\ny", "^", ">"), ">x\n>y");   // multi-line
    EXPECT_EQ(Replaced("no match", "zzz", "y"), "no match");
}

TEST(TqRegexFindReplaceTest, ReplacementSyntax) {
    EXPECT_EQ(Replaced("key=val", "(\\w+)=(\\w+)", "$1\\n$2"), "key\nval");
    EXPECT_EQ(Replaced("abc", "b", "[$&]"), "a[b]c");
    EXPECT_EQ(Replaced("abc", "b", "[$0]"), "a[b]c");
    EXPECT_EQ(Replaced("abc", "b", "<$`|$'>"), "a<a|c>c");
    EXPECT_EQ(Replaced("ab", "(a)(b)?", "$+"), "b");
    EXPECT_EQ(Replaced("a", "(a)(b)?", "$+"), "a");  // last group that took part
    EXPECT_EQ(Replaced("x", "x", "\\t\\r\\f\\a\\e|"), "\t\r\f\a\x1b|");
    EXPECT_EQ(Replaced("x", "x", "\\q\\\\"), "q\\");
    EXPECT_EQ(Replaced("x", "(x)", "\\$1"), "$1");
    EXPECT_EQ(Replaced("x", "x", "$y $"), "$y $");
    EXPECT_EQ(Replaced("x", "x", "\\0tail"), "");  // the zero byte ends the string
    EXPECT_EQ(Replaced("abc", "(b)", "$01"), "abc");
}

TEST(TqRegexFindReplaceTest, EmptyMatchesAdvanceLikePerl) {
    EXPECT_EQ(Replaced("abc", "x*", "-"), "-a-b-c-");
    EXPECT_EQ(Replaced("aab", "a*", "-"), "--b-");
}

TEST(TqRegexFindReplaceTest, FailuresLeaveTheTargetAlone) {
    int r = -1;
    EXPECT_EQ(Replaced("abc", "(b)", "$2", &r), "abc");  // group beyond the count
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(Replaced("abc", "(b", "x", &r), "abc");
    EXPECT_EQ(r, FALSE);
    EXPECT_EQ(Replaced("abc", nullptr, "x", &r), "abc");
    EXPECT_EQ(r, TRUE);
    EXPECT_EQ(Replaced("", "^", "x", &r), "");
    EXPECT_EQ(r, TRUE);

    CsString cs("AaA");
    EXPECT_TRUE(TqRegex::FindReplace(cs, "a", "b"));
    EXPECT_STREQ(cs.GetStr(), "bbb");
    CsString empty;
    EXPECT_TRUE(TqRegex::FindReplace(empty, "^", "x"));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(TqRegexFindReplaceTest, RunawayResultIsRefused) {
    // Each of the n+1 empty matches copies the whole text: quadratic growth.
    std::string big(20000, 'a');
    std::string out;
    EXPECT_FALSE(TqRegexSubstitute(big.data(), big.size(), "", "$`$'", out));
    EXPECT_TRUE(TqRegexSubstitute(big.data(), big.size(), "a", "bb", out));
    EXPECT_EQ(out.size(), 40000u);
}

TEST(TqRegexLimitTest, CatastrophicBacktrackingEndsAsNoMatchAndLogsOnce) {
    LogCapture capture;
    TqRegex re;
    ASSERT_TRUE(re.SetExp("(a+)+b", TQ_REGEX_ICASE | TQ_REGEX_MULTILINE));
    std::string text(40, 'a');
    text += "c b";  // the required "b" is there, so the engine must try
    EXPECT_FALSE(re.IsMatch(text.c_str()));  // the match limit ends it (unbounded: 2^40 steps)
    EXPECT_FALSE(re.IsMatch(text.c_str()));
    EXPECT_EQ(g_logLines.load(), 1);
    EXPECT_NE(g_lastLog.find("(a+)+b"), std::string::npos);
    // The same expression still answers texts it can decide.
    EXPECT_TRUE(re.IsMatch("aaab"));
}

TEST(TqRegexLimitTest, LimitInInterpreterAndDuringReplace) {
    LogCapture capture;
    std::string text(40, 'a');
    text += "c b";
    TqRegexProgramPtr lazy = TqRegexCompile("(a+)+b", TQ_REGEX_JIT_WHEN_HOT);  // interpreted first
    ASSERT_TRUE(lazy);
    EXPECT_EQ(TqRegexRun(*lazy, text.data(), text.size()), TqMatchResult::LimitHit);
    CString target(text.c_str());
    EXPECT_FALSE(TqRegex::FindReplace(target, "(a+)+b", "x"));
    EXPECT_EQ(target, text.c_str());
}

TEST(TqRegexThreadTest, OneProgramMatchedFromManyThreads) {
    // The program becomes hot (machine-compiled) while the threads run.
    TqRegexProgramPtr program = TqRegexCompile("(.*)\\.example\\.com/(.*)ads", TQ_REGEX_ICASE | TQ_REGEX_JIT_WHEN_HOT);
    ASSERT_TRUE(program);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                bool expect = ((i + t) % 3) != 0;
                std::string url = expect ? "http://www.EXAMPLE.com/x/ads/" + std::to_string(i)
                                         : "http://www.example.org/ads/" + std::to_string(i);
                bool got = TqRegexRun(*program, url.data(), url.size()) == TqMatchResult::Match;
                if (got != expect) ++wrong;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(TqRegexFindReplaceTest, BufferTakesTheResultOfItsUnreadBytes) {
    KvGenBuffer buffer(16);
    ASSERT_TRUE(buffer.PutString("skip|<b>Bold</B> text"));
    buffer.Consume(5);
    ASSERT_TRUE(TqRegex::FindReplace(&buffer, "</?b>", ""));
    EXPECT_EQ(std::string(buffer.GetData(), buffer.GetCount()), "Bold text");
    EXPECT_EQ(buffer.GetGrowBytes(), 4096u);
    EXPECT_FALSE(TqRegex::FindReplace(static_cast<KvGenBuffer*>(nullptr), "a", "b"));
    EXPECT_FALSE(TqRegex::FindReplace(&buffer, "(", "b"));
    EXPECT_EQ(std::string(buffer.GetData(), buffer.GetCount()), "Bold text");
}

TEST(TqRegexFindReplaceTest, MapAppliesPairsInOrderAndStopsAtFirstFailure) {
    CsStrMap map;
    map.AddTail("cat", "dog");
    map.AddTail("dog", "wolf");
    map.AddTail("(", "never");
    map.AddTail("wolf", "fox");
    CString s("Cat and dog");
    EXPECT_FALSE(TqRegex::FindReplace(s, &map));
    EXPECT_EQ(s, "wolf and wolf");  // the pairs before the bad one were applied
    CsString cs("a");
    CsStrMap ok;
    ok.AddTail("a", "b");
    EXPECT_TRUE(TqRegex::FindReplace(cs, &ok));
    EXPECT_STREQ(cs.GetStr(), "b");
    KvGenBuffer buffer;
    buffer.PutString("a");
    EXPECT_TRUE(TqRegex::FindReplace(&buffer, &ok));
    EXPECT_STREQ(buffer.GetData(), "b");
}
