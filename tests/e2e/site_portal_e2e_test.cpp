// The portal through the real kvproxy started on a copy of the shipped
// data, so that its first start makes the portal's database: the home
// page, the information pages, the template file pages that take plain
// names only, the local answer for paths the portal does not serve, the
// search entry points and the set-up page.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kHost[] = "kvproxy.home.arpa";

DataFiles ShippedData() {
    DataFiles files = SiteDataFiles();
    const std::string data = std::string(KV_SOURCE_DIR) + "/data";
    for (const char* list : {"whitelist.txt", "blacklist.txt", "popupfilter.txt", "nocache.txt", "starting-point.txt"}) {
        files[list] = ReadFile(data + "/" + list);
    }
    return files;
}

class PortalTest : public ::testing::Test {
protected:
    explicit PortalTest(const std::string& ini = "[Proxy]\r\nRecTimeout=10\r\n")
        : proxy(ShippedData(), ini), client(proxy, kHost) {}
    Proxy proxy;
    SiteClient client;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(PortalTest, FirstStartMakesThePortalAndItsHomePageAnswers) {
    ASSERT_TRUE(proxy.Started());
    struct stat st {};
    EXPECT_EQ(0, stat((proxy.Dir() + "/LocalWeb/kvproxy.home.arpa.csd").c_str(), &st));
    for (const char* path : {"/", "/index.html"}) {
        const Answer home = client.Get(path);
        EXPECT_EQ(200, home.status) << path;
        EXPECT_TRUE(Contains(home.body, "Welcome to KvProxy")) << path;
        EXPECT_TRUE(Contains(home.body, "action=\"http://search.kvproxy.home.arpa/search.php\"")) << path;
        // A card for the search site, the tools and the footer file.
        EXPECT_TRUE(Contains(home.body, "href=\"http://search.kvproxy.home.arpa/\"")) << path;
        for (const char* link : {"/history.php", "/cache.php", "/localweb.php?op=create", "/option.php", "/proxy.pac"}) {
            EXPECT_TRUE(Contains(home.body, std::string("href=\"") + link + "\"")) << link;
        }
    }
    // The sites made at first start link only pages they have: no /Pages/
    // folder (a local web site's) and no empty visitor counters.
    for (const char* site : {"linktemplate.kvproxy.home.arpa", "rsstemplate.kvproxy.home.arpa",
                             "search.kvproxy.home.arpa"}) {
        const Answer home = SiteClient(proxy, site).Get("/");
        EXPECT_EQ(200, home.status) << site;
        EXPECT_TRUE(Contains(home.body, "href=\"http://kvproxy.home.arpa/\"")) << site;
        EXPECT_FALSE(Contains(home.body, "/Pages/Feedback/")) << site;
        EXPECT_FALSE(Contains(home.body, "Hit count")) << site;
    }
    const Answer about = client.Get("/kvproxy.php");
    EXPECT_EQ(200, about.status);
    EXPECT_TRUE(Contains(about.body, "<h1 id=\"page-title\">About KvProxy</h1>"));
    EXPECT_TRUE(Contains(client.Get("/privacy-policy.php").body, "Nothing leaves your machine"));
}

TEST_F(PortalTest, TemplateFilePagesTakePlainNamesOnly) {
    ASSERT_TRUE(proxy.Started());
    for (const char* page : {"/showfile.php", "/showcontent.php"}) {
        for (const char* bad : {"../x", "a/b", "..%2Fkvproxy.ini", "a%5Cb", ".hidden", "%2Fetc%2Fpasswd"}) {
            const Answer a = client.Get(std::string(page) + "?file=" + bad);
            EXPECT_TRUE(Contains(a.body, "cannot be shown")) << page << " " << bad;
            EXPECT_FALSE(Contains(a.body, "[Proxy]")) << page << " " << bad;
        }
        EXPECT_TRUE(Contains(client.Get(std::string(page) + "?file=").body, "(blank)")) << page;
    }
    // A plain name: unchanged, or inside the page frame.
    const Answer raw = client.Get("/showfile.php?file=help.htm");
    EXPECT_EQ(200, raw.status);
    EXPECT_TRUE(Contains(raw.body, "Pointing your browser at KvProxy"));
    EXPECT_FALSE(Contains(raw.body, "id=\"masthead\""));
    const Answer framed = client.Get("/showcontent.php?file=help.htm");
    EXPECT_TRUE(Contains(framed.body, "Pointing your browser at KvProxy"));
    EXPECT_TRUE(Contains(framed.body, "id=\"masthead\""));
}

TEST_F(PortalTest, PathsThePortalDoesNotServeAreAnsweredLocally) {
    ASSERT_TRUE(proxy.Started());
    // Never forwarded: the portal's host is not on the internet.
    for (const char* path : {"/News/x", "/Download/kvproxy.zip", "/nothing-here.html"}) {
        const Answer a = client.Get(path);
        EXPECT_EQ(404, a.status) << path;
        EXPECT_TRUE(Contains(a.body, "not found")) << path;
    }
    EXPECT_EQ(200, client.Get("/error.css").status);
}

TEST_F(PortalTest, SearchEntryPointsAndWebCardsPointAtTheLocalSites) {
    ASSERT_TRUE(proxy.Started());
    const Answer go = client.Get("/search.php?q=fish%20%26%20chips&se=yahoo");
    EXPECT_EQ(302, go.status);
    EXPECT_EQ("http://search.kvproxy.home.arpa/search.php?q=fish%20%26%20chips&se=yahoo", go.Get("location"));
    // An unknown service is not passed on; no query shows the form.
    EXPECT_EQ("http://search.kvproxy.home.arpa/search.php?q=x", client.Get("/newsearch.php?q=x&se=%22%3E").Get("location"));
    const Answer form = client.Get("/search.php");
    EXPECT_EQ(200, form.status);
    EXPECT_TRUE(Contains(form.body, "action=\"http://search.kvproxy.home.arpa/search.php\""));
    // The web cards are fragments: no page frame, the sites filled in.
    const Answer card = client.Get("/wcard_localweb.php");
    EXPECT_EQ("text/html", card.Get("content-type").substr(0, 9));
    EXPECT_TRUE(Contains(card.body, "<a href=\"http://search.kvproxy.home.arpa/\" target=\"_top\">Search</a>"));
    EXPECT_TRUE(Contains(card.body, "class=\"kv-wcard-footer\""));
    EXPECT_FALSE(Contains(card.body, "{localweb_rows}"));
    EXPECT_FALSE(Contains(card.body, "id=\"masthead\""));
}

// A page of links of every kind a page holds: relative ones under a
// <base>, entities, hidden ones, scripts, hostile text and addresses.
constexpr char kLinksPage[] =
    "<html><head><base href=\"/dir/\"></head><body>"
    "<!-- <a href=\"http://hidden.example/\">hidden</a> -->"
    "<a href=\"a.html\">Relative &amp; one</a> <A HREF='http://other.example/x?a=1&amp;b=2'>Other <b>site</b></A>"
    "<a href=\"javascript:alert(1)\">js</a> <a href=mailto:a@b>mail</a> <a name=x>anchor</a>"
    "<a href=\"https://secure.example/\">{page_content}<script>document.write('<a href=x>')</script></a>"
    "<a href=\"/top\">&lt;img src=x onerror=alert(1)&gt;</a></body></html>";

TEST_F(PortalTest, PageLinksAreReadFromTheCacheAndShownEscaped) {
    ASSERT_TRUE(proxy.Started());
    Server origin([](Conn& c) {
        if (c.ReadHead().empty()) return;
        const std::string body = kLinksPage;
        c.Write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body);
        c.WaitClosed(2000);
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(origin.Port());
    const std::string page = "/pagelinks.php?url=" + FormEncode({{"", base + "/links.html"}}).substr(1);
    EXPECT_TRUE(Contains(client.Get(page).body, "This page is not in the cache"));
    ASSERT_EQ(200, Parse(proxy.Exchange(GetRequest(base + "/links.html"))).status);
    // The copy is stored after the answer went out: wait for it.
    std::string body;
    EXPECT_TRUE(WaitUntil([&] { return !Contains(body = client.Get(page).body, "not in the cache"); }));
    EXPECT_TRUE(Contains(body, "4 links of the cached page"));
    EXPECT_TRUE(Contains(body, "<a href=\"" + base + "/dir/a.html\" rel=\"noreferrer\">"));
    EXPECT_TRUE(Contains(body, "<font size=\"2\">Relative &amp; one</font>"));
    EXPECT_TRUE(Contains(body, "href=\"http://other.example/x?a=1&amp;b=2\""));
    EXPECT_TRUE(Contains(body, "<font size=\"2\">Other site</font>"));
    EXPECT_TRUE(Contains(body, "&lt;img src=x onerror=alert(1)&gt;"));
    EXPECT_TRUE(Contains(body, "href=\"" + base + "/top\""));
    for (const char* absent : {"hidden.example", "javascript:", "mailto:", "<img src=x", "document.write"}) {
        EXPECT_FALSE(Contains(body, absent)) << absent;
    }
}

class PortalSetupTest : public PortalTest {
protected:
    PortalSetupTest()
        : PortalTest("[Proxy]\r\nRecTimeout=10\r\n[General]\r\nUseBlackList=1\r\n[Search]\r\n"
                     "google=http://search.test/<b>?q={q}\r\n") {}
};

TEST_F(PortalSetupTest, OptionPageShowsTheListenerAndTheConfigurationEscaped) {
    ASSERT_TRUE(proxy.Started());
    WriteFile(proxy.Dir() + "/blacklist.txt", "*.ads.test/*\r\n\r\n*.track.test/*\r\n");
    const Answer a = client.Get("/option.php");
    EXPECT_EQ(200, a.status);
    const std::string port = std::to_string(proxy.Port());
    EXPECT_TRUE(Contains(a.body, "<code>http://127.0.0.1:" + port + "/proxy.pac</code>"));
    EXPECT_TRUE(Contains(a.body, "--proxy-server=\"http://127.0.0.1:" + port + "\""));
    EXPECT_TRUE(Contains(a.body, "export https_proxy=http://127.0.0.1:" + port + "/"));
    EXPECT_TRUE(Contains(a.body, "href=\"/proxy.pac\""));
    EXPECT_TRUE(Contains(a.body, "http://search.test/&lt;b&gt;?q="));
    EXPECT_FALSE(Contains(a.body, "search.test/<b>"));
    // The black list: two patterns, in use.
    EXPECT_TRUE(Contains(a.body, "<code>blacklist.txt</code></td><td data-label=\"Patterns\">2</td>"
                                 "<td data-label=\"In use\">yes</td>"));
    // The search tools page lists the same service, escaped.
    const Answer tools = client.Get("/SETools/");
    EXPECT_TRUE(Contains(tools.body, "http://search.test/&lt;b&gt;?q="));
    EXPECT_FALSE(Contains(tools.body, "search.test/<b>"));
}

}  // namespace
