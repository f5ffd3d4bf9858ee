// The meta-search site through the real kvproxy, with search services of
// the test: one answering RSS, one Atom, one that never answers. Results
// are merged, kept per keyword (a repeated search stays local, a refresh
// goes out again), published as RSS, counted in the keyword tables and
// copied into the client's link clipboard; whatever a service sends is
// shown as text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kHost[] = "search.kvproxy.home.arpa";

std::string RssAnswer(const std::string& target) {
    std::string items;
    if (target.find("hostile") != std::string::npos) {
        items = "<item><title>&lt;script&gt;alert(1)&lt;/script&gt;{page_content}</title>"
                "<link>javascript:alert(2)</link><description>&lt;img src=x onerror=alert(3)&gt;</description></item>";
    } else if (target.find("silent") == std::string::npos) {
        for (int n = 1; n <= 3; ++n) {
            const std::string i = std::to_string(n);
            items += "<item><title>Rss result " + i + "</title><link>http://r" + i + ".example/</link>"
                     "<description>About " + i + "</description></item>";
        }
    }
    return "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>S</title><link>http://s.example/</link>"
           "<description>d</description>" + items + "</channel></rss>";
}

std::string AtomAnswer() {
    return "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"><title>A</title>"
           "<entry><title>Atom result</title><link href=\"http://atom.example/one\"/>"
           "<summary>From the second service</summary></entry>"
           "<entry><title>Rss result 1 with a longer title</title><link href=\"http://r1.example/\"/></entry></feed>";
}

class Services {
public:
    Services()
        : m_server([this](Conn& c) { Respond(c); }) {}
    int Port() const { return m_server.Port(); }
    int Hits() const { return m_hits.load(); }
    int Stalled() const { return m_stalled.load(); }
    int StallsEnded() const { return m_stallsEnded.load(); }
    // Ends the stalled answers now.
    void Release() { m_release = true; }
    // While set, the answering services hold their answer until a stalled
    // request is in flight (at most 5 s), and count whether one was: a
    // service asked after the stalled one ended, or before it began while
    // the site waits for each answer in turn, sees none.
    void AwaitOverlap(bool on) { m_awaitOverlap = on; }
    int Overlapped() const { return m_overlapped.load(); }
    std::string Ini(int fetchTimeout = 1) const {
        const std::string base = "http://127.0.0.1:" + std::to_string(Port());
        return "[General]\r\nFetchTimeout=" + std::to_string(fetchTimeout) + "\r\n[Search]\r\ngoogle=" + base + "/rss?q={q}\r\nyahoo=" + base +
               "/atom?q={q}\r\nmsn=" + base + "/stall?q={q}\r\n";
    }

private:
    void Respond(Conn& c) {
        const std::string head = c.ReadHead();
        if (head.empty()) return;
        const std::string target = head.substr(4, head.find(' ', 4) - 4);
        if (target.rfind("/stall", 0) == 0) {
            // Never answers: the download's time-out (or Release) ends it.
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                ++m_stalled;
            }
            m_stallBegan.notify_all();
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
            while (!m_release && !c.WaitClosed(50) && std::chrono::steady_clock::now() < end) {
            }
            ++m_stallsEnded;
            return;
        }
        if (m_awaitOverlap) {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stallBegan.wait_for(lock, std::chrono::seconds(5), [this] { return m_stalled > m_stallsEnded; })) {
                ++m_overlapped;
            }
        }
        ++m_hits;
        const std::string body = target.rfind("/rss", 0) == 0 ? RssAnswer(target) : AtomAnswer();
        c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        c.WaitClosed(2000);
    }
    std::atomic<int> m_hits{0};
    std::atomic<int> m_stalled{0};
    std::atomic<int> m_stallsEnded{0};
    std::atomic<bool> m_release{false};
    std::atomic<bool> m_awaitOverlap{false};
    std::atomic<int> m_overlapped{0};
    std::mutex m_mutex;
    std::condition_variable m_stallBegan;
    Server m_server;
};

class PolyseekTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(proxy.Started());
        // An empty file is enough: the site makes its database in it.
        WriteFile(proxy.Dir() + "/LocalWeb/" + kHost + ".csd", "");
        // A link directory to paste into (the sites are read at the first request).
        ASSERT_TRUE(MakeSiteDb(proxy.Dir() + "/LocalWeb/links.test.cld", SiteProxy::kAdminPassword));
    }
    static DataFiles Files() {
        DataFiles files = SiteDataFiles();
        files["starting-point.txt"] = "Green Tea\r\nRiver <b>Boats</b>\r\n";
        files["Files/feature-terms.txt"] = "solar power\n";
        files["Files/aboutus.htm"] = ReadFile(SourceDir() + "/data/Files/aboutus.htm");
        return files;
    }
    Services services;
    Proxy proxy{Files(), "[Proxy]\r\nRecTimeout=10\r\n" + services.Ini()};
    SiteClient client{proxy, kHost};
};

TEST_F(PolyseekTest, SearchMergesKeepsAndRefreshes) {
    services.AwaitOverlap(true);
    Answer first = client.Get("/search.php?q=%22Green+Tea%22&se=all");
    services.AwaitOverlap(false);
    ASSERT_EQ(first.status, 200);
    EXPECT_NE(first.body.find("solar power"), std::string::npos);  // the feature terms
    EXPECT_NE(first.body.find("Rss result 1 with a longer title"), std::string::npos);  // merged, longer kept
    EXPECT_NE(first.body.find("Rss result 3"), std::string::npos);
    EXPECT_NE(first.body.find("Atom result"), std::string::npos);
    EXPECT_NE(first.body.find("<h1>green tea</h1>"), std::string::npos);  // quotes dropped, lower case
    EXPECT_EQ(services.Hits(), 2);
    // The services are asked at the same time: both answered while the
    // stalled one was still waiting.
    EXPECT_EQ(services.Overlapped(), 2);

    // The same keyword again (as a page address) stays local ...
    Answer again = client.Get("/Search/green%20tea.html");
    EXPECT_NE(again.body.find("Atom result"), std::string::npos);
    EXPECT_EQ(services.Hits(), 2);
    // ... a refresh of one service goes out once.
    client.Get("/search.php?q=green+tea&se=google&op=refresh");
    EXPECT_EQ(services.Hits(), 3);
    // An empty answer is kept too: the repeated search asks again only the
    // service that failed (the stalled one).
    for (int round = 0; round < 2; ++round) {
        client.Get("/search.php?q=silent&se=all");
        EXPECT_EQ(services.Hits(), 5) << round;
    }

    // A service without results: the offline text.
    Answer none = client.Get("/search.php?q=nothing&se=msn");
    EXPECT_NE(none.body.find("No result for query <b>nothing</b>"), std::string::npos);
    // An empty query goes to the starting points.
    EXPECT_EQ(client.Get("/search.php?q=%22%20%22").status, 302);

    // RSS of the search: from the store, well-formed.
    Answer rss = client.Get("/Search/green%20tea.xml");
    EXPECT_NE(rss.Get("content-type").find("text/xml"), std::string::npos);
    EXPECT_NE(rss.body.find("<title>Green Tea Resources</title>"), std::string::npos);
    EXPECT_NE(rss.body.find("http://atom.example/one"), std::string::npos);
    EXPECT_EQ(services.Hits(), 5);

    // Keyword tables and starting points, with stored keywords escaped.
    const std::string marked = client.Get("/Search/%3Cimg%20src%3Dx%20onerror%3Dalert(1)%3E%7Bpage_content%7D.html").body;
    EXPECT_EQ(marked.find("<img src=x"), std::string::npos);  // title, heading, trail and form alike
    const std::string top = client.Get("/top-100.html").body;
    EXPECT_NE(top.find("green tea"), std::string::npos);
    EXPECT_EQ(top.find("<img src=x"), std::string::npos);
    EXPECT_NE(top.find("&gt;{page_content}</a>"), std::string::npos);  // shown, not expanded
    EXPECT_NE(client.Get("/last-updated-terms.html").body.find("green tea"), std::string::npos);
    EXPECT_NE(client.Get("/Pages/Aboutus/").body.find("runs inside KvProxy"), std::string::npos);
    const std::string points = client.Get("/Search/").body;
    EXPECT_NE(points.find("/Search/green%20tea.html"), std::string::npos);
    EXPECT_EQ(points.find("<b>boats"), std::string::npos);
}

TEST_F(PolyseekTest, HostileResultsAreText) {
    const std::string page = client.Get("/search.php?q=hostile&se=google").body;
    EXPECT_EQ(page.find("<script>alert(1)"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)"), std::string::npos);
    EXPECT_EQ(page.find("href=\"javascript:alert"), std::string::npos);
    EXPECT_EQ(page.find("<img src=x"), std::string::npos);
    EXPECT_NE(page.find("&lt;/script&gt;{page_content}"), std::string::npos);
    const std::string rss = client.Get("/Search/hostile.xml?se=google").body;
    EXPECT_EQ(rss.find("<script>"), std::string::npos);
}

TEST_F(PolyseekTest, CopySelectedResultsIntoClipboard) {
    const std::string page = client.Get("/search.php?q=green+tea&se=google").body;
    const size_t at = page.find("name=\"rnd\" value=\"");
    ASSERT_NE(at, std::string::npos);
    const size_t from = at + 18;
    const std::string token = page.substr(from, page.find('"', from) - from);
    const Form copy = {{"Copy", "Copy"}, {"q", "green tea"}, {"se", "google"}, {"item_count", "3"},
                       {"item_2", "2"},  {"item_5", "5"},    {"rnd", token}};
    const std::string origin = "Origin: " + client.Origin() + "\r\n";
    // Without the token, or from another site: nothing copied.
    Form noToken(copy.begin(), copy.end() - 1);
    client.Post("/item_list.php", noToken, origin);
    client.Post("/item_list.php", copy, "Origin: http://evil.example\r\n");
    EXPECT_EQ(client.Get("/Search/green%20tea.html?se=google").body.find("class=\"clipboard\""), std::string::npos);

    EXPECT_EQ(client.Post("/item_list.php", copy, origin).status, 302);
    const std::string after = client.Get("/Search/green%20tea.html?se=google").body;
    EXPECT_NE(after.find("holds 1 link(s)"), std::string::npos);
    EXPECT_NE(after.find("<li>Rss result 2</li>"), std::string::npos);

    // Pasted into a link directory of the same client: only result 2 arrives.
    const std::string links = proxy.Dir() + "/LocalWeb/links.test.cld";
    SiteClient admin{proxy, "links.test"};
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    EXPECT_EQ(admin.Get("/phpmod/item_list.php?Paste=1&cat=0&rnd=" + admin.Token()).status, 302);
    EXPECT_EQ(SiteDbValue(links, "select group_concat(item_url) from link_item"), "http://r2.example/");

    client.Post("/item_list.php", copy, origin);
    client.Post("/item_list.php", {{"ClearBuffer", "x"}, {"rnd", token}}, origin);
    EXPECT_EQ(client.Get("/Search/green%20tea.html?se=google").body.find("class=\"clipboard\""), std::string::npos);
}

}  // namespace

// A search waiting on a stalled service leaves the site free for others.
TEST(PolyseekStallTest, OtherRequestsAnswerWhileAServiceStalls) {
    Services services;
    Proxy proxy{SiteDataFiles(), "[Proxy]\r\nRecTimeout=30\r\n" + services.Ini(10)};
    ASSERT_TRUE(proxy.Started());
    WriteFile(proxy.Dir() + "/LocalWeb/" + kHost + ".csd", "");
    SiteClient searcher{proxy, kHost};
    Answer stalled;
    std::thread search([&] { stalled = searcher.Get("/search.php?q=slow&se=msn"); });
    ASSERT_TRUE(WaitUntil([&] { return services.Stalled() == 1; }));
    SiteClient other{proxy, kHost};
    EXPECT_EQ(other.Get("/top-100.html").status, 200);
    EXPECT_EQ(services.StallsEnded(), 0);  // answered before the stalled download ended
    services.Release();
    search.join();
    EXPECT_NE(stalled.body.find("No result for query <b>slow</b>"), std::string::npos);
}
