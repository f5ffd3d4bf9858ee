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

TEST_F(PortalTest, SearchEntryPointsGoToTheMetaSearchSite) {
    ASSERT_TRUE(proxy.Started());
    const Answer go = client.Get("/search.php?q=fish%20%26%20chips&se=yahoo");
    EXPECT_EQ(302, go.status);
    EXPECT_EQ("http://search.kvproxy.home.arpa/search.php?q=fish%20%26%20chips&se=yahoo", go.Get("location"));
    // An unknown service is not passed on; no query shows the form.
    EXPECT_EQ("http://search.kvproxy.home.arpa/search.php?q=x", client.Get("/newsearch.php?q=x&se=%22%3E").Get("location"));
    const Answer form = client.Get("/search.php");
    EXPECT_EQ(200, form.status);
    EXPECT_TRUE(Contains(form.body, "action=\"http://search.kvproxy.home.arpa/search.php\""));
}

}  // namespace
