// The browsing history: which exchanges are visits, the title read from a
// page's first bytes (coded or not), the line written, and the file kept
// to its newest lines.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "inet/http/KvHttpRequest.h"
#include "proxy/cache/KvMemGzip.h"
#include "proxy/core/KvHistoryLog.h"
#include "proxy/core/KvHistoryText.h"

namespace {

bool IsPageLoad(const char* method, const char* accept, const char* dest = nullptr) {
    KvHttpRequest request;
    request.m_strMethod = method;
    if (accept) request.SetHeaderValue("Accept", accept);
    if (dest) request.SetHeaderValue("Sec-Fetch-Dest", dest);
    return KvIsPageLoad(request);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountLines(const std::string& text) {
    int lines = 0;
    for (char ch : text) lines += ch == '\n';
    return lines;
}

}  // namespace

TEST(HistoryTextTest, OnlyPageLoadsOfHtmlPagesAreVisits) {
    EXPECT_TRUE(IsPageLoad("GET", "text/html,application/xhtml+xml;q=0.9,*/*;q=0.8"));
    EXPECT_TRUE(IsPageLoad("GET", "*/*", "document"));
    // The fetch destination wins over a loose Accept: an image or a frame is no visit.
    EXPECT_FALSE(IsPageLoad("GET", "text/html,*/*", "image"));
    EXPECT_FALSE(IsPageLoad("GET", "text/html", "iframe"));
    EXPECT_FALSE(IsPageLoad("GET", "image/avif,image/webp,*/*"));
    EXPECT_FALSE(IsPageLoad("GET", nullptr));
    EXPECT_FALSE(IsPageLoad("POST", "text/html", "document"));

    EXPECT_TRUE(KvIsHtmlPage(200, "text/html"));
    EXPECT_TRUE(KvIsHtmlPage(200, "Text/HTML; charset=utf-8"));
    EXPECT_FALSE(KvIsHtmlPage(404, "text/html"));
    EXPECT_FALSE(KvIsHtmlPage(304, "text/html"));
    EXPECT_FALSE(KvIsHtmlPage(200, "text/plain"));
    EXPECT_FALSE(KvIsHtmlPage(200, nullptr));
}

TEST(HistoryTextTest, TitleIsTheFirstTitleElementDecodedAndOnOneLine) {
    struct Case {
        std::string html, title;
    } cases[] = {
        {"<html><head><title>Plain</title></head>", "Plain"},
        {"<TITLE lang=\"en\">\r\n  Two\tlines\n  here </TITLE>", "Two lines here"},
        {"<title>A &amp; B &lt;b&gt; &#39;q&#x27; &eacute;&nbsp;x &bogus; &#xZZ;</title>", "A & B <b> 'q' \xC3\xA9 x &bogus; &#xZZ;"},
        {"<titles>no</titles><title>yes</title>", "yes"},
        {"<title>first</title><title>second</title>", "first"},
        {"<title>cut short", "cut short"},
        {"<body>no title at all</body>", ""},
        {"<title>   </title>", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(KvPageTitle(c.html), c.title) << c.html;
    // Only the first 64 KiB are searched.
    EXPECT_EQ(KvPageTitle(std::string(kHistoryHeadBytes, ' ') + "<title>late</title>"), "");
    // A long title is bounded without cutting a character in two.
    std::string many;
    for (int i = 0; i < 400; ++i) many += "\xC3\xA9";
    const std::string bounded = KvPageTitle("<title>" + many + "</title>");
    EXPECT_LE(bounded.size(), 300u);
    EXPECT_EQ(bounded.size() % 2, 0u);
}

TEST(HistoryTextTest, CodedBodiesAreUndoneEvenWhenCutShort) {
    // A body that does not shrink much, so half the coded bytes hold the head.
    std::string words;
    for (unsigned i = 0, x = 7; i < 4000; ++i) words += (char)('a' + (x = x * 1103515245u + 12345u) % 26);
    const std::string html = "<html><head><title>Zipped page</title></head><body>" + words + "</body>";
    KvMemGzip gz;
    ASSERT_EQ(gz.Compress(html.data(), (UINT)html.size()), 1);
    const std::string zipped((const char*)gz.GetData(), gz.GetLength());
    EXPECT_EQ(KvPageTitle(KvDecodedHead(zipped, "gzip")), "Zipped page");
    EXPECT_EQ(KvPageTitle(KvDecodedHead(zipped.substr(0, zipped.size() / 2), "gzip")), "Zipped page");
    EXPECT_EQ(KvPageTitle(KvDecodedHead(html, nullptr)), "Zipped page");
    EXPECT_EQ(KvPageTitle(KvDecodedHead(html, "identity")), "Zipped page");
    // A coding it cannot undo gives no text (the URL stands for the title).
    EXPECT_EQ(KvDecodedHead(zipped, "br"), "");
    EXPECT_EQ(KvDecodedHead("not gzip at all", "gzip"), "");
}

TEST(HistoryTextTest, LineHasThreeFieldsWithoutTabsOrBreaks) {
    const std::string line = KvHistoryLine(0, "http://h/a\tb\r\nc", "T\ti\nt");
    ASSERT_EQ(line.back(), '\n');
    const size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
    ASSERT_NE(tab2, std::string::npos);
    EXPECT_EQ(line.find('\t', tab2 + 1), std::string::npos);
    EXPECT_EQ(line.substr(tab1 + 1, tab2 - tab1 - 1), "http://h/a b  c");
    EXPECT_EQ(line.substr(tab2 + 1), "T i t\n");
    EXPECT_EQ(CountLines(line), 1);
    // No title: the address stands for it.
    const std::string bare = KvHistoryLine(0, "http://h/", "");
    EXPECT_EQ(bare.substr(bare.size() - 20), "http://h/\thttp://h/\n");
}

TEST(HistoryLogTest, FileKeepsItsNewestLinesAndIsPrivate) {
    const std::string dir = testing::TempDir() + "history_test_" + std::to_string(getpid());
    mkdir(dir.c_str(), 0700);
    const std::string file = dir + "/history.txt";
    std::remove(file.c_str());
    // A file left by an earlier run is counted before the first append.
    std::ofstream(file) << "old\tline\tx\nold\tline\ty\n";
    KvHistoryLog log;
    KvHistoryLimits limits;
    limits.keepLines = 5;
    limits.trimLines = 8;
    log.Configure(file, true, limits);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(log.Append("http://h/" + std::to_string(i), "t", 0));
    const std::string text = ReadAll(file);
    EXPECT_GE(CountLines(text), 5);
    EXPECT_LE(CountLines(text), 8);
    EXPECT_EQ(text.find("old"), std::string::npos);
    EXPECT_NE(text.find("http://h/19\tt\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 14), "http://h/19\tt\n");
    struct stat st {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_NE(access((file + ".tmp").c_str(), F_OK), 0);

    // Bytes bound the file too; an address too long for a link is left out.
    limits = KvHistoryLimits{};
    limits.trimBytes = 4000;
    limits.keepBytes = 1000;
    log.Configure(file, true, limits);
    for (int i = 0; i < 100; ++i) log.Append("http://h/" + std::string(40, 'p') + std::to_string(i), "", 0);
    EXPECT_FALSE(log.Append("http://h/" + std::string(5000, 'l'), "long", 0));
    const std::string bounded = ReadAll(file);
    EXPECT_LE(bounded.size(), 4000u);
    EXPECT_EQ(bounded.find("/llll"), std::string::npos);
    EXPECT_EQ(bounded.back(), '\n');
    // Whole lines only: the first begins with its date.
    EXPECT_EQ(bounded.substr(0, 2), "19");

    // Off: nothing is written.
    std::remove(file.c_str());
    log.Configure(file, false);
    EXPECT_FALSE(log.Append("http://h/off", "t", 0));
    EXPECT_NE(access(file.c_str(), F_OK), 0);
    std::remove(file.c_str());
    rmdir(dir.c_str());
}
