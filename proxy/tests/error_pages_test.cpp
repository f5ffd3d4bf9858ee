// When the proxy's page replaces an origin's error answer.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvErrorPagePolicy.h"

namespace {

using Fields = std::initializer_list<std::pair<const char*, const char*>>;

void Request(KvHttpRequest& r, const char* method, Fields fields) {
    r.m_strMethod = method;
    for (const auto& [name, value] : fields) r.AddHeaderValue(name, value);
}

void Response(KvHttpResponse& r, int status, Fields fields) {
    r.m_nStatus = status;
    for (const auto& [name, value] : fields) r.AddHeaderValue(name, value);
    if (const char* length = r.GetHeaderValue("Content-Length")) r.m_nContentLength = std::atoll(length);
}

}  // namespace

TEST(ErrorPagesTest, AcceptNamesHtmlOnlyWithAQualityAboveZero) {
    struct Case {
        Fields fields;
        bool html;
    } cases[] = {
        {{{"Accept", "text/html,application/xhtml+xml,*/*;q=0.8"}}, true},
        {{{"Accept", "application/json"}, {"accept", " TEXT/HTML ; level=1"}}, true},
        {{{"Accept", "*/*"}}, false},
        {{{"Accept", "text/html;q=0, */*"}}, false},
        {{{"Accept", "text/html; q=0.000"}}, false},
        {{{"Accept", "text/htmlx, text/plain"}}, false},
        {{}, false},
    };
    for (const Case& c : cases) {
        KvHttpRequest r;
        Request(r, "GET", c.fields);
        EXPECT_EQ(KvAcceptsHtml(r), c.html) << (c.fields.size() ? c.fields.begin()->second : "(none)");
    }
}

TEST(ErrorPagesTest, BrowserModeReplacesOnlyHtmlOrEmptyBodiesOfPageLoads) {
    struct Case {
        const char* method;
        Fields answer;
        bool page;
    } cases[] = {
        {"GET", {{"Content-Type", "text/html; charset=utf-8"}, {"Transfer-Encoding", "chunked"}}, true},
        {"GET", {{"Content-Type", "application/xhtml+xml"}, {"Content-Length", "40"}}, true},
        {"GET", {{"Content-Length", "0"}, {"Content-Range", "bytes */100"}}, true},
        {"HEAD", {{"Content-Type", "application/json"}, {"Content-Length", "17"}}, true},
        {"GET", {{"Content-Type", "application/json"}, {"Content-Length", "17"}}, false},
        {"GET", {{"Content-Type", "text/plain"}}, false},                    // until close
        {"GET", {{"Transfer-Encoding", "chunked"}}, false},                  // untyped, maybe empty
    };
    for (const Case& c : cases) {
        KvHttpRequest page, program;
        Request(page, c.method, {{"Accept", "text/html"}});
        Request(program, c.method, {{"Accept", "*/*"}});
        KvHttpResponse r;
        Response(r, 404, c.answer);
        EXPECT_EQ(KvShowsOwnErrorPage(KvErrorPages::Browser, page, r), c.page) << c.answer.begin()->second;
        EXPECT_FALSE(KvShowsOwnErrorPage(KvErrorPages::Browser, program, r));
        EXPECT_TRUE(KvShowsOwnErrorPage(KvErrorPages::All, program, r));
        EXPECT_FALSE(KvShowsOwnErrorPage(KvErrorPages::None, page, r));
    }
}

TEST(ErrorPagesTest, ModesAndReasonPhrasesAreSpelledOneWay) {
    KvErrorPages mode = KvErrorPages::None;
    EXPECT_TRUE(KvParseErrorPages(" ALL ", mode));
    EXPECT_EQ(mode, KvErrorPages::All);
    EXPECT_TRUE(KvParseErrorPages("browser", mode));
    EXPECT_EQ(mode, KvErrorPages::Browser);
    EXPECT_FALSE(KvParseErrorPages("1", mode));
    EXPECT_EQ(mode, KvErrorPages::Browser);

    EXPECT_STREQ(KvHttpReasonPhrase(416), "Range Not Satisfiable");
    EXPECT_STREQ(KvHttpReasonPhrase(429), "Too Many Requests");
    EXPECT_STREQ(KvHttpReasonPhrase(499), "Client Error");
    EXPECT_STREQ(KvHttpReasonPhrase(1000), "Unknown");
}
