// Answers the origin writes byte for byte pass the proxy as they were
// sent: error answers meant for programs, and the proxy's own page only
// for a browser's page load that got an HTML error page.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

constexpr int kGuardMs = 20000;

// Each target's answer, exactly as the origin sends it.
std::string AnswerFor(const std::string& head) {
    auto asks = [&](const char* path) { return head.find(std::string(" ") + path + " ") != std::string::npos; };
    if (asks("/range")) {
        return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */100\r\nContent-Length: 0\r\n\r\n";
    }
    if (asks("/busy")) {
        return "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 30\r\nContent-Type: application/json\r\n"
               "Content-Length: 18\r\n\r\n{\"error\":\"later\"}\n";
    }
    if (asks("/gone")) {
        return "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 12\r\n\r\n<p>gone</p>\n";
    }
    if (asks("/trailer")) {
        return "HTTP/1.1 200 OK\r\nTrailer: X-Sum\r\nX-Empty:\r\nTransfer-Encoding: chunked\r\n\r\n"
               "2\r\nok\r\n0\r\nX-Sum: 1\r\n\r\n";
    }
    if (asks("/wide")) {
        // A head past 100 KB: one field of 100 KB and many short ones.
        std::string fields = "X-Long: " + std::string(100000, 'a') + "\r\n";
        for (int i = 0; i < 500; ++i) fields += "X-F" + std::to_string(i) + ": " + std::string(70, 'b') + "\r\n";
        return "HTTP/1.1 200 OK\r\n" + fields + "Content-Length: 2\r\n\r\nok";
    }
    // Broken answers: a length that is not a plain number, a status that
    // is not three digits.
    const std::pair<const char*, const char*> broken[] = {
        {"/negative", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nok"},
        {"/huge", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nok"},
        {"/suffixed", "HTTP/1.1 200 OK\r\nContent-Length: 2abc\r\n\r\nok"},
        {"/four", "HTTP/1.1 2000 OK\r\nContent-Length: 2\r\n\r\nok"},
        {"/two", "HTTP/1.1 20 OK\r\nContent-Length: 2\r\n\r\nok"},
    };
    for (const auto& [path, answer] : broken) {
        if (asks(path)) return answer;
    }
    return "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
}

class OriginAnswersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(proxy.Started()) << "kvproxy did not start"; }
    Answer Fetch(const std::string& path, const std::string& extra = "", Proxy* through = nullptr) {
        bool timedOut = false;
        const std::string raw = (through ? through : &proxy)
                                    ->Exchange(GetRequest("http://127.0.0.1:" + std::to_string(origin.Port()) + path,
                                                          extra),
                                               kGuardMs, &timedOut);
        EXPECT_FALSE(timedOut) << path;
        return Parse(raw);
    }
    Server origin{[this](Conn& c) {
        std::string head = c.ReadHead();
        origin.Record(head);
        c.Write(AnswerFor(head));
    }};
    Proxy proxy{"RecTimeout=30"};
};

}  // namespace

TEST_F(OriginAnswersTest, ErrorAnswersForProgramsKeepStatusLineHeadersAndBody) {
    Answer range = Fetch("/range", "Accept: */*\r\nRange: bytes=200-\r\n");
    EXPECT_EQ(range.statusLine, "HTTP/1.1 416 Range Not Satisfiable");
    EXPECT_EQ(range.Get("content-range"), "bytes */100");
    EXPECT_EQ(range.body, "");

    // Even a page load gets a JSON error body as it came: a program reads it.
    for (const char* accept : {"Accept: application/json\r\n", "Accept: text/html\r\n"}) {
        Answer busy = Fetch("/busy", accept);
        EXPECT_EQ(busy.statusLine, "HTTP/1.1 429 Too Many Requests") << accept;
        EXPECT_EQ(busy.Get("retry-after"), "30") << accept;
        EXPECT_EQ(busy.Get("content-type"), "application/json") << accept;
        EXPECT_EQ(busy.body, "{\"error\":\"later\"}\n") << accept;
    }

    Answer fetched = Fetch("/gone");
    EXPECT_EQ(fetched.statusLine, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(fetched.body, "<p>gone</p>\n");
}

TEST_F(OriginAnswersTest, APageLoadOfAnHtmlErrorGetsOurPageUnlessErrorPagesIsNone) {
    Answer page = Fetch("/gone", "Accept: text/html,application/xhtml+xml,*/*;q=0.8\r\n");
    EXPECT_EQ(page.statusLine, "HTTP/1.0 404 Not Found");
    EXPECT_NE(page.body.find("matching the requested URI"), std::string::npos);
    EXPECT_EQ(page.Get("content-length"), std::to_string(page.body.size()));

    Proxy plain("RecTimeout=30\r\nErrorPages=none");
    ASSERT_TRUE(plain.Started());
    Answer passed = Fetch("/gone", "Accept: text/html\r\n", &plain);
    EXPECT_EQ(passed.statusLine, "HTTP/1.1 404 Not Found");
    EXPECT_EQ(passed.body, "<p>gone</p>\n");
}

TEST_F(OriginAnswersTest, CurlFailWithBodyGetsTheOriginsBody) {
    if (!HaveCurl()) GTEST_SKIP() << "curl not installed";
    std::string out;
    int rc = RunProgram({"curl", "-s", "--fail-with-body", "--max-time", "20", "-x",
                         "http://127.0.0.1:" + std::to_string(proxy.Port()),
                         "http://127.0.0.1:" + std::to_string(origin.Port()) + "/busy"},
                        &out);
    EXPECT_EQ(rc, 22);  // curl's code for an HTTP error answer
    EXPECT_EQ(out, "{\"error\":\"later\"}\n");
}

TEST_F(OriginAnswersTest, TrailerAndEmptyFieldsPassAsTheyCame) {
    const std::string raw = proxy.Exchange(
        GetRequest("http://127.0.0.1:" + std::to_string(origin.Port()) + "/trailer"), kGuardMs);
    const std::string head = raw.substr(0, raw.find("\r\n\r\n") + 2);
    EXPECT_NE(head.find("\r\nTrailer: X-Sum\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nX-Empty:\r\n"), std::string::npos) << head;
    EXPECT_EQ(Parse(raw).body, "2\r\nok\r\n0\r\nX-Sum: 1\r\n\r\n");
}

TEST_F(OriginAnswersTest, AHundredKilobyteHeadPassesAndBrokenAnswersGet502) {
    Answer wide = Fetch("/wide");
    EXPECT_EQ(wide.status, 200);
    EXPECT_EQ(wide.Get("x-long").size(), 100000u);
    EXPECT_TRUE(wide.Has("x-f499"));
    EXPECT_EQ(wide.body, "ok");

    for (const char* path : {"/negative", "/huge", "/suffixed", "/four", "/two"}) {
        Answer a = Fetch(path);
        EXPECT_EQ(a.statusLine, "HTTP/1.0 502 Bad Gateway") << path;
        EXPECT_NE(a.body.find("invalid response"), std::string::npos) << path;
    }
}
