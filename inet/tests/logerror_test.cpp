// Diagnostic log lines: kinds and prefixes, directives, escaping, the
// length bound, the mask, fatal handling, threads and the regex hook.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/app/KvData.h"
#include "base/platform/FileIo.h"
#include "base/platform/MessageLoop.h"
#include "base/platform/Ui.h"
#include "inet/log/KvLogError.h"
#include "inet/match/TqRegex.h"
#include "inet/net/KvSocketObj.h"
#include "inet/web/KvWebApp.h"

namespace {

std::atomic<int> g_fatalCalls{0};
std::string g_lastBox;

void CountFatal() { ++g_fatalCalls; }
void CaptureBox(const char* text) { g_lastBox = text ? text : ""; }

// The line LogError would write (the bad-format line for a rejected format).
template <class... Args>
std::string Line(int type, const char* format, Args... args) {
    char buf[KV_LOG_LINE_MAX];
    LogFormatLineRuntime(buf, sizeof buf, type, format, args...);
    return buf;
}

bool Rejected(const char* format) {
    char buf[KV_LOG_LINE_MAX];
    return LogFormatLineRuntime(buf, sizeof buf, KV_LOG_INFO, format) < 0;
}

// Time stamp, program name and thread number, then the kind's name.
std::string PrefixPattern(const char* name) {
    return std::string("^[A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} KvProxy\\(\\d{5,}\\) ") + name + ": ";
}

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        const char* old = getenv("TZ");
        m_had = old != nullptr;
        if (old) m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (m_had) setenv("TZ", m_old.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};

class LogErrorFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/kvlog_XXXXXX";
        m_dir = mkdtemp(templ);
        m_app = std::make_unique<KvWebApp>();
        m_app->SetLogPath(m_dir.c_str());
        g_fatalCalls = 0;
        g_lastBox.clear();
        KvSetFatalHandler(&CountFatal);
        KvSetMessageBoxHook(&CaptureBox);
    }
    void TearDown() override {
        KvSetFatalHandler(nullptr);
        KvSetMessageBoxHook(nullptr);
        m_app.reset();
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    // The log's lines (each written with CR LF behind it).
    std::vector<std::string> Lines() const {
        std::string text;
        std::vector<std::string> lines;
        if (!KvReadWholeFile(m_app->GetLogFileName(), text)) return lines;
        size_t pos = 0, end;
        while ((end = text.find("\r\n", pos)) != std::string::npos) {
            lines.push_back(text.substr(pos, end - pos));
            pos = end + 2;
        }
        return lines;
    }

    std::string m_dir;
    std::unique_ptr<KvWebApp> m_app;
};

struct AppName {
    AppName() { kvData.SetAppInfo("KvProxy"); }
} g_appName;

}  // namespace

TEST(LogErrorLine, EveryKindHasItsPrefix) {
    const std::pair<int, const char*> kinds[] = {
        {KV_LOG_REQUEST, "Request"},       {KV_LOG_CONNECT, "Connect"},     {KV_LOG_HEADER, "Header"},
        {KV_LOG_WRITING, "Writing"},       {KV_LOG_FORCE, "Force"},         {KV_LOG_REFILTER, "Re-Filter"},
        {KV_LOG_REDIRECT, "Redirect"},     {KV_LOG_GIF_DEANIMATE, "Gif-Deanimate"},
        {KV_LOG_KILL_POPUPS, "Kill-Popups"}, {KV_LOG_CGI, "CGI"},       {KV_LOG_INFO, "Info"},
        {KV_LOG_ERROR, "Error"},           {KV_LOG_FATAL, "Fatal error"},
    };
    for (auto& [type, name] : kinds) {
        EXPECT_TRUE(std::regex_search(Line(type, "x"), std::regex(PrefixPattern(name) + "x$"))) << name;
    }
    EXPECT_TRUE(std::regex_search(Line(KV_LOG_ERROR | KV_LOG_INFO, "x"),
                                  std::regex(PrefixPattern("UNKNOWN LOG TYPE\\(12288\\)") + "x$")));
    EXPECT_TRUE(std::regex_search(Line(4, "x"), std::regex(PrefixPattern("UNKNOWN LOG TYPE\\(4\\)"))));
}

TEST(LogErrorLine, AccessLineHasNoStampAndCommonLogTime) {
    ScopedTimeZone tz("XXX-07:00");  // seven hours east of UTC
    std::string line = Line(KV_LOG_ACCESS, "%s - - [%T] \"%s\" 503 0", "127.0.0.1", "GET / HTTP/1.0");
    EXPECT_TRUE(std::regex_match(
        line, std::regex(R"(127\.0\.0\.1 - - \[\d{2}/[A-Z][a-z]{2}/\d{4}:\d{2}:\d{2}:\d{2} \+0700\] "GET / HTTP/1\.0" 503 0)")))
        << line;
    ScopedTimeZone west("YYY+03:30");
    EXPECT_NE(Line(KV_LOG_ACCESS, "%T").find(" -0330"), std::string::npos);
}

TEST(LogErrorLine, DirectivesPrintTheirArguments) {
    std::string line = Line(KV_LOG_ACCESS, "%d %u %ld %lu %c %% %s|%N|%N|%N|%s", -7, 4294967295u, -1234567890123L,
                            9876543210UL, 'q', "text", 3, "abcdef", -5, "abc", 2, (const char*)nullptr,
                            (const char*)nullptr);
    EXPECT_EQ(line, "-7 4294967295 -1234567890123 9876543210 q % text|abc||[null]|[null]");

    KvSetLastSocketError(KV_WSAECONNRESET);
    EXPECT_EQ(Line(KV_LOG_ACCESS, "failed: %E"), "failed: WSAECONNRESET - Connection reset by peer.");
    KvSetLastSocketError(KV_WSAEACCES);
    EXPECT_EQ(Line(KV_LOG_ACCESS, "%E"), "WSAEACCES - Permission denied");
    KvSetLastSocketError(KV_WSAEMFILE);
    EXPECT_EQ(Line(KV_LOG_ACCESS, "%E"), "WSAEMFILE - Too many open sockets.");
    KvSetLastSocketError(10092);
    EXPECT_EQ(Line(KV_LOG_ACCESS, "%E"), "WSAVERNOTSUPPORTED - WINSOCK.DLL version out of range.");
    KvSetLastSocketError(12345);
    EXPECT_EQ(Line(KV_LOG_ACCESS, "%E"), "(error number 12345)");
    KvSetLastSocketError(0);
    errno = ETIMEDOUT;  // nothing recorded: the thread's errno stands in
    EXPECT_EQ(Line(KV_LOG_ACCESS, "%E"), "WSAETIMEDOUT - Connection timed out.");
}

// Formats that would be rejected, or read arguments of the wrong type,
// do not compile.
static_assert(KvLogFormatFits<>("100%% %E %T"));
static_assert(KvLogFormatFits<int, unsigned, char, long, unsigned long, const char*>("%d %u %c %ld %lu %s"));
static_assert(KvLogFormatFits<int, char*, std::nullptr_t>("%N %s"));
static_assert(!KvLogFormatFits<int>("%x") && !KvLogFormatFits<int>("%5d") && !KvLogFormatFits<>("ends in %"));
static_assert(!KvLogFormatFits<long>("%d") && !KvLogFormatFits<int>("%ld") && !KvLogFormatFits<bool>("%d"));
static_assert(!KvLogFormatFits<std::string>("%s") && !KvLogFormatFits<const unsigned char*>("%s"));
static_assert(!KvLogFormatFits<const char*>("%N") && !KvLogFormatFits<int, int>("%d"));
static_assert(!KvLogFormatFits<>("%s") && !KvLogFormatFits<double>("%d"));

TEST(LogErrorLine, UnknownDirectivesRejectTheFormat) {
    EXPECT_TRUE(Rejected("%x"));
    EXPECT_TRUE(Rejected("%lx"));
    EXPECT_TRUE(Rejected("%5d"));
    EXPECT_TRUE(Rejected("ends in %"));
    EXPECT_FALSE(Rejected("100%%"));
    std::string line = Line(KV_LOG_INFO, "value %x");
    EXPECT_TRUE(std::regex_search(line, std::regex(R"(^[A-Z][a-z]{2} \d{2} \d{2}:\d{2}:\d{2} KvProxy\(\d+\) Error: )")));
    EXPECT_NE(line.find("LogError(): Bad format string:\r\nFormat = \"value %x\"\r\nExiting."), std::string::npos);
}

TEST(LogErrorLine, ArgumentTextCannotForgeLines) {
    const char* evil = "GET /\r\nDec 07 13:15:00 KvProxy(00001) Error: forged\x01\x7f\tend";
    std::string line = Line(KV_LOG_REQUEST, "%s", evil);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(line.find("GET /\\r\\nDec 07"), std::string::npos);
    EXPECT_NE(line.find("forged\\x01\\x7F\\tend"), std::string::npos);
    std::string counted = Line(KV_LOG_ACCESS, "[%N]", 4, "a\nb\0c");
    EXPECT_EQ(counted, "[a\\nb\\x00]");
    EXPECT_EQ(Line(KV_LOG_ACCESS, "own\r\nbreak"), "own\r\nbreak");  // the format's text is the caller's
}

TEST(LogErrorLine, LongLinesAreCutWithinTheBuffer) {
    const std::string suffix = "... [too long, truncated]\r\n";
    std::string big(10000, 'a');
    std::string line = Line(KV_LOG_ERROR, "%s", big.c_str());
    EXPECT_LE(line.size(), KV_LOG_LINE_MAX - 1);
    ASSERT_GE(line.size(), suffix.size());
    EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);

    std::string controls(5000, '\x02');  // each byte grows to four
    line = Line(KV_LOG_ACCESS, "%N", (int)controls.size(), controls.c_str());
    EXPECT_LE(line.size(), KV_LOG_LINE_MAX - 1);
    EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix);

    char small[40];
    LogFormatLine(small, sizeof small, KV_LOG_ACCESS, "%s", big.c_str());
    EXPECT_LE(std::strlen(small), sizeof small - 1);
}

TEST_F(LogErrorFileTest, MaskSelectsTheKindsWritten) {
    m_app->m_nDebugMask = KV_LOG_ERROR;
    LogError(KV_LOG_INFO, "not written");
    LogError(KV_LOG_FATAL, "not written either");
    EXPECT_EQ(g_fatalCalls.load(), 0);
    LogError(KV_LOG_ERROR, "written %d", 1);
    LogError(KV_LOG_ERROR | KV_LOG_INFO, "combined");  // meets the mask, unknown kind
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_search(lines[0], std::regex(PrefixPattern("Error") + "written 1$")));
    EXPECT_NE(lines[1].find("UNKNOWN LOG TYPE(12288): combined"), std::string::npos);
}

TEST_F(LogErrorFileTest, FatalLinesAndBadFormatsRunTheFatalHandling) {
    m_app->m_nDebugMask = KV_LOG_ERROR | KV_LOG_FATAL;
    LogError(KV_LOG_FATAL, "disk %s", "full");
    EXPECT_EQ(g_fatalCalls.load(), 1);
    EXPECT_NE(g_lastBox.find("Fatal error: disk full"), std::string::npos);
    LogErrorRuntime(KV_LOG_ERROR, "broken %q", "x");
    EXPECT_EQ(g_fatalCalls.load(), 2);
    std::string text;
    ASSERT_TRUE(KvReadWholeFile(m_app->GetLogFileName(), text));
    EXPECT_NE(text.find("Fatal error: disk full\r\n"), std::string::npos);
    EXPECT_NE(text.find("Bad format string:\r\nFormat = \"broken %q\"\r\nExiting.\r\n"), std::string::npos);
}

TEST_F(LogErrorFileTest, LinesOfManyThreadsNeverMix) {
    m_app->m_nDebugMask = KV_LOG_INFO;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            std::string payload(300, (char)('a' + t));
            for (int i = 0; i < 250; ++i) LogError(KV_LOG_INFO, "t%d n%d %s", t, i, payload.c_str());
        });
    }
    for (auto& th : threads) th.join();
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2000u);
    std::regex shape(PrefixPattern("Info") + "t(\\d) n\\d+ ([a-h])\\2{299}$");
    std::smatch m;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_search(line, m, shape)) << line;
        EXPECT_EQ(m[2].str()[0], 'a' + (m[1].str()[0] - '0'));
    }
}

TEST_F(LogErrorFileTest, LogProcessWritesNothingAndRegexLimitsReachTheLog) {
    m_app->m_nDebugMask = 0x7FFF;
    LogProcess("%s %N %E %T %d", "a", 1, "b", 2);
    EXPECT_TRUE(Lines().empty());

    std::string text(40, 'a');
    text += "c b";
    TqRegexProgramPtr program = TqRegexCompile("(a+)+b", TQ_REGEX_JIT_WHEN_HOT);
    ASSERT_TRUE(program);
    EXPECT_EQ(TqRegexRun(*program, text.data(), text.size()), TqMatchResult::LimitHit);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_search(lines[0], std::regex(PrefixPattern("Error") + "regex: expression")));
}
