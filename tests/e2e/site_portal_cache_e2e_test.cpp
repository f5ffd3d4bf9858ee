// The portal's cache pages through the real kvproxy, after pages of two
// origins went through it: the list of stores, the domains of a store and
// the objects of a domain, stores that do not exist or may not be named,
// whatever a store holds shown as text, the search over cached addresses,
// and deleting an object or a domain (an administrator with the form token
// only; the proxy then asks the origin again).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheDB.h"
#include "tests/e2e/support/e2e_site.h"

using namespace e2e;

namespace {

constexpr char kPortal[] = "kvproxy.home.arpa";

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class PortalCacheTest : public ::testing::Test {
protected:
    CountingOrigin a, b;
    SiteProxy site{kPortal, {}, "", "csd"};

    void SetUp() override {
        ASSERT_TRUE(site.Ready());
        for (const char* path : {"/news/one.html", "/news/Two.html"}) Fetch(a.Url(path));
        Fetch(b.Url("/docs/guide.html"));
        // Every store under way has landed once the proxy has restarted.
        ASSERT_TRUE(site.proxy.Restart());
    }

    Answer Fetch(const std::string& url) { return Parse(site.proxy.Exchange(GetRequest(url))); }
    std::string Page(const std::string& path) {
        SiteClient guest(site.proxy, kPortal);
        const Answer answer = guest.Get(path);
        EXPECT_EQ(answer.status, 200) << path;
        return answer.body;
    }
    std::string HostOf(const CountingOrigin& origin) { return "127.0.0.1:" + std::to_string(origin.Port()); }
    std::string CacheDir() { return site.proxy.Dir() + "/Cache/"; }

    // A store of the test's own, `count` objects of `host` at "<path><n>"
    // (n from 1000).
    void MakeStore(const std::string& name, const std::string& host, const std::string& path, int count,
                   std::string dir = "") {
        KvCacheDB db;
        ASSERT_TRUE(db.Open((dir.empty() ? CacheDir() : dir).c_str(), name.c_str()));
        for (int i = 0; i < count; ++i) {
            KvHttpResponse r;
            r.m_strVersion = "HTTP/1.1";
            r.m_strStatus = "200 OK";
            r.m_nStatus = 200;
            r.m_bufBody.PutString("stored");
            ASSERT_TRUE(db.AddCache(host.c_str(), (path + std::to_string(1000 + i)).c_str(), &r));
        }
    }
};

}  // namespace

TEST_F(PortalCacheTest, ListsStoresDomainsAndObjects) {
    const std::string list = Page("/cache.php");
    EXPECT_NE(Page("/cache.php?op=LIST").find("<h1>Cache List</h1>"), std::string::npos);
    EXPECT_NE(list.find("<h1>Cache List</h1><p>Click the cache name to see the domain list of that cache.</p>"
                        "<table border=\"1\" cellpadding=\"2\" cellspacing=\"0\">"),
              std::string::npos);
    EXPECT_NE(list.find("<td align=\"right\">1</td><td><a href=\"/cache.php?op=domain&name=vcache\">vcache</a></td>"),
              std::string::npos);
    EXPECT_NE(list.find("<td class=\"num\">3</td>"), std::string::npos) << "object count of vcache";
    EXPECT_NE(list.find(" KB</td>"), std::string::npos) << "size of vcache";
    EXPECT_NE(list.find("<title>Cache - "), std::string::npos);
    EXPECT_NE(list.find("&gt; <a href=\"/cache.php\">Cache</a>"), std::string::npos);

    const std::string domains = Page("/cache.php?op=domain&name=vcache");
    EXPECT_NE(domains.find("<h1>Show Domain List Of Chache \"vcache\"</h1>"), std::string::npos);
    EXPECT_NE(domains.find("&host=127.0.0.1%3A" + std::to_string(a.Port()) + "&name=vcache\">" + HostOf(a) +
                           "</a></td><td>2</td>"),
              std::string::npos);
    EXPECT_NE(domains.find(">" + HostOf(b) + "</a></td><td>1</td>"), std::string::npos);
    EXPECT_EQ(domains.find("class=\"cache-del\""), std::string::npos) << "no deletion forms for guests";

    // The links name the host the store holds, whatever the request says.
    const std::string objects = Page("/cache.php?op=object&id=1&host=%22%3Eforged&name=vcache");
    EXPECT_NE(objects.find("<h1>Show Object List On Domain " + HostOf(a) + " Of Chache \"vcache\"</h1>"),
              std::string::npos);
    EXPECT_NE(objects.find("<td align=\"right\">1</td><td><a href=\"" + a.Url("/news/Two.html") +
                           "\">/news/Two.html</a></td>"),
              std::string::npos);
    EXPECT_NE(objects.find("<a href=\"" + a.Url("/news/one.html") + "\">"), std::string::npos);
    EXPECT_EQ(objects.find("forged"), std::string::npos);
    EXPECT_NE(Page("/cache.php?op=object&id=99&host=nowhere.test&name=vcache")
                  .find("<p>There are no object on domain nowhere.test.</p>"),
              std::string::npos);

    EXPECT_NE(Page("/cache.php?op=domain").find("<p>Sorry. the name of cache not provided</p>"), std::string::npos);
    MakeStore("empty", "x.test", "/", 0);
    EXPECT_NE(Page("/cache.php?op=domain&name=empty").find("<p>The cache is empty.</p>"), std::string::npos);
}

TEST_F(PortalCacheTest, MissingOrForbiddenStoresAreNeverOpenedOrMade) {
    MakeStore("outside", "x.test", "/", 1, site.proxy.Dir());
    for (const char* name : {"nosuch", "..%2Foutside", "%2Ftmp%2Fx", ".hidden", "a%5Cb"}) {
        for (const char* op : {"domain", "object"}) {
            const std::string page = Page(std::string("/cache.php?op=") + op + "&id=1&name=" + name);
            EXPECT_NE(page.find("<p>Unable to open that cache</p>"), std::string::npos) << op << " " << name;
        }
    }
    EXPECT_FALSE(Exists(CacheDir() + "nosuch.cdx"));
    EXPECT_FALSE(Exists(CacheDir() + "nosuch.cdt"));
}

TEST_F(PortalCacheTest, WhateverAStoreHoldsIsShownAsText) {
    MakeStore("odd<i>{rnd}", "javascript:alert(1)//", "/<script>x</script>", 1);
    MakeStore("odd", "a.test\"onmouseover=\"x", "/p\"<b>", 1);
    const std::string list = Page("/cache.php");
    // Braces reach the browser as text, never expanded as a placeholder.
    EXPECT_NE(list.find(">odd&lt;i&gt;{rnd}</a>"), std::string::npos);
    EXPECT_NE(list.find("name=odd%3Ci%3E%7Brnd%7D\""), std::string::npos);

    const std::string domains = Page("/cache.php?op=domain&name=odd");
    EXPECT_NE(domains.find(">a.test&quot;onmouseover=&quot;x</a>"), std::string::npos);
    const std::string objects = Page("/cache.php?op=object&id=1&name=odd");
    EXPECT_NE(objects.find("<td>/p&quot;&lt;b&gt;1000</td>"), std::string::npos) << "no link from an odd host";
    const std::string script = Page("/cache.php?op=object&id=1&name=odd%3Ci%3E%7Brnd%7D");
    EXPECT_EQ(script.find("<script>x"), std::string::npos);
    EXPECT_EQ(script.find("href=\"javascript:alert"), std::string::npos);
    EXPECT_EQ(script.find("href=\"http://javascript"), std::string::npos);

    SiteClient guest(site.proxy, kPortal);
    const Answer unknown = guest.Get("/cache.php?op=%3Cimg%3E");
    EXPECT_NE(unknown.body.find("&lt;img&gt;"), std::string::npos);
    EXPECT_EQ(unknown.body.find("<img>"), std::string::npos);
}

TEST_F(PortalCacheTest, SearchFindsAddressesIgnoringCaseAHundredAPage) {
    const std::string found = Page("/cache.php?op=search&q=NEWS%2Ft");
    EXPECT_NE(found.find("1 cached object holds \"NEWS/t\""), std::string::npos);
    EXPECT_NE(found.find(">" + a.Url("/news/Two.html") + "</a>"), std::string::npos);
    EXPECT_EQ(found.find("guide.html"), std::string::npos);
    // The query is text: LIKE wildcards match themselves, markup is escaped.
    EXPECT_NE(Page("/cache.php?op=search&q=news_").find("No cached address holds"), std::string::npos);
    EXPECT_NE(Page("/cache.php?op=search&q=%25").find("No cached address holds"), std::string::npos);
    const std::string hostile = Page("/cache.php?op=search&q=%22%3E%3Cb%3E%7Brnd%7D");
    EXPECT_NE(hostile.find("value=\"&quot;&gt;&lt;b&gt;{rnd}\""), std::string::npos);
    EXPECT_EQ(hostile.find("\"><b>"), std::string::npos);

    MakeStore("many", "many.test", "/item-", 150);
    const std::string first = Page("/cache.php?op=search&q=ITEM-");
    EXPECT_NE(first.find("150 cached objects hold \"ITEM-\". Showing 1 to 100."), std::string::npos);
    EXPECT_EQ(CountOf(first, "http://many.test/item-"), 200) << "100 links, each with its address as text";
    EXPECT_NE(first.find("page=2\">Next &raquo;</a>"), std::string::npos);
    EXPECT_EQ(first.find("Previous"), std::string::npos);
    const std::string second = Page("/cache.php?op=search&q=item-&page=2");
    EXPECT_EQ(CountOf(second, "http://many.test/item-"), 100);
    EXPECT_NE(second.find("http://many.test/item-1149\""), std::string::npos);
    EXPECT_NE(second.find("page=1\">&laquo; Previous</a>"), std::string::npos);
    EXPECT_EQ(second.find("Next"), std::string::npos);
}

TEST_F(PortalCacheTest, DeletingNeedsAnAdministratorWithTheTokenAndReachesTheProxy) {
    const std::string one = a.Url("/news/one.html");
    const int before = a.Count();
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(Fetch(one).Has("cachename")) << "a hit, then one ready in memory";
    const std::string host = HostOf(a);
    const Form del{{"op", "delete"}, {"name", "vcache"}, {"host", host}, {"path", "/news/one.html"}};

    SiteClient guest(site.proxy, kPortal);
    guest.FetchToken("/cache.php");
    EXPECT_NE(guest.PostWithToken("/cache.php", del).status, 302) << "a guest";
    SiteClient admin(site.proxy, kPortal);
    ASSERT_TRUE(admin.Login("admin", SiteProxy::kAdminPassword));
    EXPECT_NE(admin.Post("/cache.php", del).status, 302) << "no token";
    Form cross = del;
    cross.emplace_back("rnd", admin.Token());
    EXPECT_NE(admin.Post("/cache.php", cross, "Origin: http://elsewhere.test\r\n").status, 302) << "another site";
    EXPECT_TRUE(Fetch(one).Has("cachename"));
    EXPECT_EQ(a.Count(), before);

    const std::string objects = admin.Get("/cache.php?op=object&id=1&name=vcache").body;
    EXPECT_NE(objects.find("name=\"rnd\" value=\"" + admin.Token() + "\""), std::string::npos);
    const Answer done = admin.PostWithToken("/cache.php", del);
    EXPECT_EQ(done.status, 302);
    EXPECT_NE(done.Get("location").find("/cache.php?op=object&host=127.0.0.1%3A"), std::string::npos);
    const Answer again = Fetch(one);
    EXPECT_FALSE(again.Has("cachename"));
    EXPECT_EQ(a.Count(), before + 1) << "the origin answers the deleted object";
    EXPECT_TRUE(Fetch(a.Url("/news/Two.html")).Has("cachename")) << "the rest stays";

    // (The answer to the miss is being stored again for host a: the whole
    // domain to go is b's.)
    const Answer gone = admin.PostWithToken("/cache.php", {{"op", "deldomain"}, {"name", "vcache"}, {"host", HostOf(b)}});
    EXPECT_EQ(gone.status, 302);
    const std::string domains = Page("/cache.php?op=domain&name=vcache");
    EXPECT_EQ(domains.find(">" + HostOf(b) + "</a>"), std::string::npos);
    EXPECT_NE(domains.find(">" + host + "</a>"), std::string::npos);
    const int bBefore = b.Count();
    EXPECT_FALSE(Fetch(b.Url("/docs/guide.html")).Has("cachename"));
    EXPECT_EQ(b.Count(), bBefore + 1);

    // A store that is not there is not made by a deletion either.
    admin.PostWithToken("/cache.php", {{"op", "delete"}, {"name", "nosuch"}, {"host", host}, {"path", "/"}});
    EXPECT_FALSE(Exists(CacheDir() + "nosuch.cdx"));
}
