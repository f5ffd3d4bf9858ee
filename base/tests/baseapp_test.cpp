#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/app/KvBaseApp.h"
#include "base/app/KvData.h"
#include "base/platform/MessageLoop.h"
#include "base/tests/test_waits.h"
#include "base/thread/KvCleanupMgr.h"

namespace {

using namespace std::chrono_literals;

// An application whose clock the test sets.
class DatedApp : public KvBaseApp {
public:
    std::atomic<int> date{20060223};

protected:
    void GetToday(int& year, int& month, int& day) const override {
        int d = date.load();
        year = d / 10000;
        month = d / 100 % 100;
        day = d % 100;
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class BaseAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv_baseapp_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_dir + "'";
        (void)!std::system(cmd.c_str());
    }
    std::string m_dir;
};

}  // namespace

TEST_F(BaseAppTest, LogPathGetsASeparatorAndTheFileIsNamedAfterTheDay) {
    DatedApp app;
    app.SetLogPath(m_dir.c_str());
    EXPECT_EQ(std::string(app.GetLogPath()), m_dir + "/");
    EXPECT_EQ(std::string(app.GetLogFileName()), m_dir + "/2006-02-23.log");

    app.SetLogPath((m_dir + "/").c_str());
    EXPECT_EQ(std::string(app.GetLogPath()), m_dir + "/");
    app.SetLogPath("C:\\logs\\");
    EXPECT_EQ(std::string(app.GetLogPath()), "C:\\logs\\");
}

TEST_F(BaseAppTest, MessagesOfDifferentDaysGoToDifferentFiles) {
    DatedApp app;
    app.SetLogPath(m_dir.c_str());
    app.LogMessage("first %d", 1);
    app.date = 20060224;  // midnight passes
    app.LogMessage("%s", "second");
    EXPECT_EQ(ReadFile(m_dir + "/2006-02-23.log"), "first 1\r\n");
    EXPECT_EQ(ReadFile(m_dir + "/2006-02-24.log"), "second\r\n");
    EXPECT_EQ(std::string(app.GetLogFileName()), m_dir + "/2006-02-24.log");

    // Without a day change the name stays unless forced.
    app.date = 20060225;
    EXPECT_EQ(std::string(app.GetLogFileName()), m_dir + "/2006-02-24.log");
    app.CheckLogFileName(TRUE);
    EXPECT_EQ(std::string(app.GetLogFileName()), m_dir + "/2006-02-25.log");
}

TEST_F(BaseAppTest, LoggingIntoAMissingDirectoryOrWithoutOneDoesNothing) {
    DatedApp app;
    std::string missing = m_dir + "/no/such/dir";
    app.SetLogPath(missing.c_str());
    app.LogMessage("lost");
    KvLogMessage((missing + "/x.log").c_str(), "lost %d", 2);
    KvDoLogMessage(nullptr, "lost");
    struct stat st;
    EXPECT_NE(::stat((m_dir + "/no").c_str(), &st), 0);

    DatedApp unset;  // no directory: nothing lands in the working directory
    unset.LogMessage("nowhere");
    EXPECT_NE(::stat("2006-02-23.log", &st), 0);
}

TEST_F(BaseAppTest, LinesFromManyThreadsLandWholeAcrossADayChange) {
    DatedApp app;
    app.SetLogPath(m_dir.c_str());
    constexpr int kThreads = 8, kLines = 200;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&app, t] {
            for (int i = 0; i < kLines; ++i) {
                if (t == 0 && i == kLines / 2) app.date = 20060224;
                app.LogMessage("thread %d line %04d %s", t, i, std::string(100, 'x').c_str());
            }
        });
    }
    for (auto& w : writers) w.join();

    int lines = 0;
    for (const char* name : {"/2006-02-23.log", "/2006-02-24.log"}) {
        std::string text = ReadFile(m_dir + name);
        size_t pos = 0, end;
        while ((end = text.find("\r\n", pos)) != std::string::npos) {
            std::string line = text.substr(pos, end - pos);
            int t = -1, i = -1;
            char tail[128] = "";
            ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d %127s", &t, &i, tail), 3) << line;
            EXPECT_EQ(std::string(tail), std::string(100, 'x'));
            ++lines;
            pos = end + 2;
        }
        EXPECT_EQ(pos, text.size());
    }
    EXPECT_EQ(lines, kThreads * kLines);
}

TEST_F(BaseAppTest, KvLogMessageAppendsFormattedLines) {
    std::string file = m_dir + "/plain.log";
    KvLogMessage(file.c_str(), "%s=%d", "a", 1);
    KvDoLogMessage(file.c_str(), "b");
    KvDoLogMessage(file.c_str(), nullptr);
    EXPECT_EQ(ReadFile(file), "a=1\r\nb\r\n\r\n");
}

namespace {
int g_cleanups = 0;
void CountCleanup() { ++g_cleanups; }
}  // namespace

TEST_F(BaseAppTest, ApplicationLifeCycle) {
    EXPECT_EQ(KvGetApp(), nullptr);
    {
        KvBaseApp app;
        EXPECT_EQ(KvGetApp(), &app);
        EXPECT_EQ(app.InitInstance(), 1);
        EXPECT_EQ(app.GetLogPath(), kvData.m_strModulePath);

        KvResetQuit();
        const pid_t running = gettid();
        std::thread quitter([running] {
            testwait::WaitAsleep(running);  // in the application's loop
            KvPostQuitMessage(5);
        });
        EXPECT_EQ(app.Run(), 5);
        quitter.join();

        g_cleanups = 0;
        KvCleanupMgr::Register(CountCleanup);
        EXPECT_EQ(app.ExitInstance(), 5);
        EXPECT_EQ(g_cleanups, 1);
        KvResetQuit();
    }
    EXPECT_EQ(KvGetApp(), nullptr);
}

TEST(KvDataTest, ApplicationAndMachineFacts) {
    EXPECT_EQ(kvData.m_strAppName, "Kavori Aplication");
    EXPECT_EQ(kvData.m_strCompany, "Brisna");
    EXPECT_EQ(kvData.m_strVersion, "1.0.1");
    EXPECT_STREQ(kvData.BoolText(TRUE), "True");
    EXPECT_STREQ(kvData.BoolText(FALSE), "False");
    EXPECT_GE(kvData.m_nProcessors, 1);
    EXPECT_GT(kvData.m_dwPageSize, 0u);
    EXPECT_FALSE(kvData.m_strComputerName.IsEmpty());

    EXPECT_EQ(kvData.m_strModuleName, "baseapp_test");
    std::string dir = kvData.m_strModulePath.str();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(::access((dir + "baseapp_test").c_str(), X_OK), 0);
}

// "Replace the last four characters" would turn "kvproxy" into "kvp.ini".
TEST(KvDataTest, ConfigurationFileIsNamedAfterTheProgram) {
    EXPECT_EQ(KvConfigFileName("kvproxy"), "kvproxy.ini");
    EXPECT_EQ(KvConfigFileName("kvproxy.exe"), "kvproxy.ini");
    EXPECT_EQ(KvConfigFileName("KvProxy.EXE"), "KvProxy.ini");
    EXPECT_EQ(KvConfigFileName("/opt/kv.d/kvproxy"), "/opt/kv.d/kvproxy.ini");
    EXPECT_EQ(KvConfigFileName("C:\\Prog.x\\kvproxy.exe"), "C:\\Prog.x\\kvproxy.ini");
    EXPECT_EQ(KvConfigFileName(".kvproxy"), ".kvproxy.ini");
    EXPECT_EQ(KvConfigFileName("a"), "a.ini");
    EXPECT_EQ(KvConfigFileName(""), "");
    EXPECT_EQ(KvConfigFileName(nullptr), "");
    EXPECT_EQ(kvData.GetConfigFileName(), kvData.m_strModulePath + "baseapp_test.ini");
}

TEST(KvDataTest, DefaultRegionalSettingsAndFormats) {
    kvData.ResetLocale();
    EXPECT_EQ(kvData.sDate, "/");
    EXPECT_EQ(kvData.sTime, ":");
    EXPECT_EQ(kvData.sDecimal, ",");
    EXPECT_EQ(kvData.sThousand, ".");
    EXPECT_EQ(kvData.iDate, 1);
    EXPECT_EQ(kvData.GetDateFmt(), "%d/%m/%y");
    EXPECT_EQ(kvData.GetDateFmt(TRUE), "%B %d, %Y");
    EXPECT_EQ(kvData.GetTimeFmt(KV_TIMEFMT_SECONDS), "%H:%M:%S");
    EXPECT_EQ(kvData.GetTimeFmt(KV_TIMEFMT_MINUTES), "%H:%M");
    EXPECT_EQ(kvData.GetDateTimeFmt(), "%d/%m/%y %H:%M:%S");
    EXPECT_EQ(kvData.GetMonth(1), "January");
    EXPECT_EQ(kvData.GetMonth(12, true), "Dec");
    EXPECT_EQ(kvData.GetMonth(0), "");
    EXPECT_EQ(kvData.GetMonth(13), "");
    EXPECT_EQ(kvData.GetWeekDay(0), "Sunday");
    EXPECT_EQ(kvData.GetWeekDay(6, true), "Sat");
    EXPECT_EQ(kvData.GetWeekDay(7), "");
}

TEST(KvDataTest, LocaleOverridesSurviveRefresh) {
    kvData.ResetLocale();
    kvData.LoadLocale({{"SDATE", "."}, {"iDate", "2"}, {"sShortDate", "yyyy.MM.dd"}, {"sMonth3", "Marzo"},
                       {"sShortDay0", "Dom"}, {"iTime", "0"}, {"sMonth13", "ignored"}});
    kvData.Refresh();
    EXPECT_EQ(kvData.sDate, ".");
    EXPECT_EQ(kvData.iDate, 2);
    EXPECT_EQ(kvData.GetDateFmt(), "%Y.%m.%d");
    EXPECT_EQ(kvData.GetMonth(3), "Marzo");
    EXPECT_EQ(kvData.GetWeekDay(0, true), "Dom");
    EXPECT_EQ(kvData.GetTimeFmt(KV_TIMEFMT_MINUTES), "%I:%M %p");

    kvData.LoadLocale([](const char* key) -> const char* {
        return std::string(key) == "sTime" ? "." : nullptr;
    });
    EXPECT_EQ(kvData.GetTimeFmt(KV_TIMEFMT_SECONDS), "%I.%M.%S %p");
    EXPECT_EQ(kvData.sDate, ".");  // earlier overrides stay

    kvData.ResetLocale();
    EXPECT_EQ(kvData.sDate, "/");
    EXPECT_EQ(kvData.GetMonth(3), "March");
}

TEST(KvDataTest, PicturesBecomeStrftimeFormats) {
    EXPECT_EQ(KvPictureToStrftime("d/M/yyyy"), "%-d/%-m/%Y");
    EXPECT_EQ(KvPictureToStrftime("dddd, MMMM dd"), "%A, %B %d");
    EXPECT_EQ(KvPictureToStrftime("'day' d 'of' MMM"), "day %-d of %b");
    EXPECT_EQ(KvPictureToStrftime("100% h:mm tt"), "100%% %-I:%M %p");
    EXPECT_EQ(KvPictureToStrftime("'open"), "open");
    EXPECT_EQ(KvPictureToStrftime(nullptr), "");
}
