// The portal's history, its proxy auto-configuration file and KvProxy's
// own address, through the real kvproxy on a copy of the shipped data:
// pages browsed through the proxy listed newest first (subresources and
// failed pages left out, every field shown as text), no history when it is
// empty or turned off, the PAC file, and the portal answering for the
// proxy's own address whether asked directly or through the proxy.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kHost[] = "kvproxy.home.arpa";
constexpr char kPageLoad[] = "Accept: text/html,application/xhtml+xml,*/*;q=0.8\r\n";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The history's own part of its page.
std::string HistoryTable(const std::string& page) {
    const size_t from = page.find("<h1>History/User Track</h1>");
    const size_t to = page.find("</table>", from);
    return from == std::string::npos || to == std::string::npos ? "" : page.substr(from, to - from);
}

// Pages with titles; "/missing.html" is a 404 page, "/style.css" a style sheet.
class TitledOrigin {
public:
    TitledOrigin()
        : m_server([](Conn& c) {
              const std::string head = c.ReadHead();
              if (head.empty()) return;
              const std::string path = head.substr(4, head.find(' ', 4) - 4);
              int status = 200;
              std::string type = "text/html", body = "<html><head><title>Page " + path + " &amp; <b>co</b></title>";
              if (path == "/missing.html") status = 404, body = "<title>Not here</title>";
              if (path == "/style.css") type = "text/css", body = "<title>not a page</title>";
              c.Write("HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: " + type +
                      "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
          }) {}
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path; }
    int Connections() const { return m_server.Connections(); }

private:
    Server m_server;
};

class PortalHistoryTest : public ::testing::Test {
protected:
    explicit PortalHistoryTest(const std::string& ini = "[Proxy]\r\nRecTimeout=10\r\n")
        : proxy(SiteDataFiles(), ini), client(proxy, kHost) {}
    std::string HistoryFile() const { return proxy.Dir() + "/history.txt"; }
    int HistoryLines() const {
        int lines = 0;
        for (char ch : ReadFile(HistoryFile())) lines += ch == '\n';
        return lines;
    }
    // A request straight to the listener, as a browser sends it when a
    // person types the proxy's address.
    Answer Direct(const std::string& path, const std::string& host) {
        return Parse(proxy.Exchange("GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n"));
    }
    std::string Own() const { return "127.0.0.1:" + std::to_string(proxy.Port()); }

    TitledOrigin origin;
    Proxy proxy;
    SiteClient client;
};

class HistoryOffTest : public PortalHistoryTest {
protected:
    HistoryOffTest() : PortalHistoryTest("[Proxy]\r\nRecTimeout=10\r\n[General]\r\nHistory=0\r\n") {}
};

TEST_F(PortalHistoryTest, BrowsedPagesAreListedNewestFirstAsText) {
    ASSERT_TRUE(proxy.Started());
    EXPECT_TRUE(Contains(client.Get("/history.php").body, "<h1>History/User Track</h1>No History"));
    // Each line is written after its answer went out, by the request's own
    // thread: the next page waits for it, as a person reading does.
    int visits = 0;
    for (const char* path : {"/one.html", "/two.html", "/three.html"}) {
        EXPECT_EQ(200, Parse(proxy.Exchange(GetRequest(origin.Url(path), kPageLoad))).status);
        ++visits;
        ASSERT_TRUE(WaitUntil([&] { return HistoryLines() >= visits; })) << path;
    }
    // Neither a subresource nor a page that failed is a visit.
    EXPECT_EQ(200, Parse(proxy.Exchange(GetRequest(origin.Url("/style.css"), kPageLoad))).status);
    EXPECT_EQ(200, Parse(proxy.Exchange(GetRequest(origin.Url("/one.html"), "Accept: text/html\r\nSec-Fetch-Dest: image\r\n"))).status);
    EXPECT_EQ(404, Parse(proxy.Exchange(GetRequest(origin.Url("/missing.html"), kPageLoad))).status);
    // Nor is a local site's page.
    EXPECT_EQ(200, client.Get("/", kPageLoad).status);
    // The line is written once the browser has its answer.
    ASSERT_TRUE(WaitUntil([&] { return HistoryLines() >= 3; }));
    // A page answered from the cache is a visit too.
    const int fetched = origin.Connections();
    EXPECT_EQ(200, Parse(proxy.Exchange(GetRequest(origin.Url("/two.html"), kPageLoad))).status);
    EXPECT_EQ(fetched, origin.Connections());
    ASSERT_TRUE(WaitUntil([&] { return HistoryLines() >= 4; }));

    const Answer page = client.Get("/history.php");
    EXPECT_EQ(200, page.status);
    const std::string body = HistoryTable(page.body);
    const size_t again = body.find(">Page /two.html &amp;");
    const size_t three = body.find(">Page /three.html &amp; &lt;b&gt;co&lt;/b&gt;</a>");
    const size_t two = body.find(">Page /two.html &amp;", three);
    const size_t one = body.find(">Page /one.html &amp;");
    ASSERT_NE(three, std::string::npos) << body;
    EXPECT_LT(again, three);
    EXPECT_LT(three, two);
    EXPECT_LT(two, one);
    EXPECT_TRUE(Contains(body, "<td id=\"tbl_title\" align=\"center\">DATE-TIME</td>"));
    EXPECT_TRUE(Contains(body, "<a href=\"" + origin.Url("/one.html") + "\">"));
    EXPECT_FALSE(Contains(body, "style.css"));
    EXPECT_FALSE(Contains(body, "missing.html"));
    EXPECT_FALSE(Contains(body, "Not here"));
    EXPECT_FALSE(Contains(body, "kvproxy.home.arpa/\t"));
    EXPECT_EQ(4, HistoryLines());
}

TEST_F(PortalHistoryTest, LinesFromTheFileAreShownAsTextAndLinkOnlyToWebAddresses) {
    ASSERT_TRUE(proxy.Started());
    WriteFile(HistoryFile(), "2026-01-01 10:00:00\tjavascript:alert(1)\t<script>x</script>\n"
                             "broken line without fields\n"
                             "2026-01-02 10:00:00\thttp://q.example/\"onmouseover=x\tquoted\n"
                             "2026-01-03 <b>\thttp://ok.example/?a=1&b={page_content}\t{page_title}\n");
    const std::string body = HistoryTable(client.Get("/history.php").body);
    EXPECT_TRUE(Contains(body, "&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_FALSE(Contains(body, "href=\"javascript"));
    EXPECT_FALSE(Contains(body, "<script>x"));
    EXPECT_TRUE(Contains(body, "2026-01-03 &lt;b&gt;"));
    // Only a sound web address becomes a link; placeholders stay as written.
    EXPECT_TRUE(Contains(body, "<a href=\"http://ok.example/?a=1&amp;b={page_content}\">{page_title}</a>"));
    EXPECT_TRUE(Contains(body, ">quoted<"));
    EXPECT_TRUE(Contains(body, "http://q.example/&quot;onmouseover=x"));
    EXPECT_FALSE(Contains(body, "href=\"http://q.example"));
    EXPECT_LT(body.find("ok.example"), body.find("q.example"));
    EXPECT_LT(body.find("q.example"), body.find("javascript"));
}

TEST_F(HistoryOffTest, NothingIsWrittenWhenTheHistoryIsOff) {
    ASSERT_TRUE(proxy.Started());
    EXPECT_EQ(200, Parse(proxy.Exchange(GetRequest(origin.Url("/one.html"), kPageLoad))).status);
    ASSERT_TRUE(proxy.Stop());  // every exchange under way ends first
    struct stat st {};
    EXPECT_NE(0, stat(HistoryFile().c_str(), &st));
}

TEST_F(PortalHistoryTest, PacFileSendsWebRequestsThroughTheListener) {
    ASSERT_TRUE(proxy.Started());
    const Answer viaPortal = client.Get("/proxy.pac");
    const Answer direct = Direct("/proxy.pac", Own());
    for (const Answer* pac : {&viaPortal, &direct}) {
        EXPECT_EQ(200, pac->status);
        EXPECT_EQ("application/x-ns-proxy-autoconfig", pac->Get("content-type"));
        EXPECT_TRUE(Contains(pac->body, "function FindProxyForURL(url, host)"));
        EXPECT_TRUE(Contains(pac->body, "return \"PROXY " + Own() + "\";"));
        EXPECT_TRUE(Contains(pac->body, "scheme == \"https\""));
    }
}

TEST_F(PortalHistoryTest, OwnAddressShowsThePortalAndNeverLoops) {
    ASSERT_TRUE(proxy.Started());
    // Typed into a browser: origin-form, the Host naming the listener.
    for (const std::string& host : {Own(), std::string("localhost:") + std::to_string(proxy.Port())}) {
        const Answer home = Direct("/", host);
        EXPECT_EQ(200, home.status) << host;
        EXPECT_TRUE(Contains(home.body, "Welcome to KvProxy")) << host;
    }
    EXPECT_TRUE(Contains(Direct("/history.php", Own()).body, "<h1>History/User Track</h1>"));
    // The portal's own absolute addresses (style sheet, images) are given as
    // the address the browser used, which works before it uses the proxy.
    const std::string home = Direct("/", Own()).body;
    EXPECT_TRUE(Contains(home, "\"http://" + Own() + "/_theme/"));
    EXPECT_FALSE(Contains(home, "\"http://kvproxy.home.arpa/"));
    // A name that only leads here through a changed DNS answer gets no portal page.
    const Answer rebound = Direct("/history.php", "attacker.example:" + std::to_string(proxy.Port()));
    EXPECT_FALSE(Contains(rebound.body, "History/User Track"));
    // Through the proxy to its own listener: answered at once, never sent round again.
    for (const std::string& url : {"http://" + Own() + "/", "http://localhost:" + std::to_string(proxy.Port()) + "/index.html"}) {
        const Answer through = Parse(proxy.Exchange(GetRequest(url, kPageLoad)));
        EXPECT_EQ(200, through.status) << url;
        EXPECT_TRUE(Contains(through.body, "Welcome to KvProxy")) << url;
    }
    const Answer pac = Parse(proxy.Exchange(GetRequest("http://" + Own() + "/proxy.pac")));
    EXPECT_EQ("application/x-ns-proxy-autoconfig", pac.Get("content-type"));
    // None of it is a visit.
    ASSERT_TRUE(proxy.Stop());
    EXPECT_EQ(0, HistoryLines());
}

}  // namespace
