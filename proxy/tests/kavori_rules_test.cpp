// The rules of the full decision path: redirect shortcuts, the filters'
// verdicts, when the cache is left alone, the "Cache Deleted" page, the
// tunnel URL, and the deployment values read from the configuration.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "inet/match/KvMatchList.h"
#include "proxy/cache/KvCacheFiles.h"
#include "proxy/core/KvProxyKavoriRules.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyRequest.h"
#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvPortalHosts.h"

namespace {

struct TempDir {
    std::string path;
    TempDir() {
        char pattern[] = "/tmp/kvproxy-kavori-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(path + "/" + name, std::ios::binary) << text;
    }
};

// An application started from a configuration written into a fresh
// folder with the given list files; the portal hosts and the settings are
// put back afterwards.
struct Configured {
    TempDir dir;
    KvWebProxyApp app;
    KvPortalHosts savedHosts = KvGetPortalHosts();
    KvKavoriSettings savedSettings = KvGetKavoriSettings();
    int init = 0;
    Configured(const std::string& general, const std::string& black, const std::string& popup,
               const std::string& white = "", const std::string& nocache = "") {
        dir.Write("blacklist.txt", black);
        dir.Write("popupfilter.txt", popup);
        dir.Write("whitelist.txt", white);
        dir.Write("nocache.txt", nocache);
        dir.Write("kvproxy.ini", "[Directories]\nbasepath=" + dir.path + "\n[Proxy]\nCacheExpiredDays=9\n[General]\n" +
                                     general + "\n");
        app.m_strConfigFile = (dir.path + "/kvproxy.ini").c_str();
        init = app.InitInstance();
    }
    ~Configured() {
        app.ExitInstance();
        KvSetPortalHosts(savedHosts);
        KvSetKavoriSettings(savedSettings);
    }
};

const char kAllLists[] = "UseBlackList=1\nUsePopUpFilter=1\nUseWhiteList=1\nUseNoCacheList=1";

}  // namespace

TEST(KavoriShortcutTest, PrefixesPickTheShortcutAndStarsGiveTheDecodedTarget) {
    KvKavoriSettings s;
    s.zuRedirects = {"http://dir.test/click"};
    s.starRedirects = {"http://se.test/r/", "http://se2.test/r/"};
    EXPECT_EQ(KvFindShortcut("http://dir.test/click?zu=x", s), KvShortcut::Zu);
    EXPECT_EQ(KvFindShortcut("http://se2.test/r/1**x", s), KvShortcut::Stars);
    EXPECT_EQ(KvFindShortcut("HTTP://DIR.TEST/click?zu=x", s), KvShortcut::None);  // compared with case
    EXPECT_EQ(KvFindShortcut("http://other.test/", KvKavoriSettings{}), KvShortcut::None);

    CString target;
    ASSERT_TRUE(KvStarRedirectTarget("http://se.test/r/7**http%3A%2F%2Fexample.test%2Fa%3Fb%3D1", target));
    EXPECT_EQ(target, "http://example.test/a?b=1");
    EXPECT_FALSE(KvStarRedirectTarget("**http://example.test/", target));  // at the very start
    EXPECT_FALSE(KvStarRedirectTarget("http://se.test/r/no-stars", target));
    EXPECT_FALSE(KvStarRedirectTarget("http://se.test/r/7**", target));
    // A decoded line break would split the Location header.
    EXPECT_FALSE(KvStarRedirectTarget("http://se.test/r/7**http://x.test/%0D%0ASet-Cookie:%20a=b", target));
    EXPECT_FALSE(KvIsRedirectTarget("http://x.test/\n"));
    EXPECT_TRUE(KvIsRedirectTarget("http://x.test/?q=a b"));
}

TEST(KavoriListTest, PopUpFilterComesFirstThenTheBlackListAndWhiteOrForcedPass) {
    Configured c(kAllLists, "*ads.test*\n*track<1>*\n", "*popup.test*\n*ads.test/pop*\n", "*ads.test/ok*\n");
    ASSERT_EQ(c.init, 1);
    KvListVerdict v = KvJudgeByLists(c.app, "http://ads.test/pop/1", "", false);
    EXPECT_EQ(v.code, 904);
    v = KvJudgeByLists(c.app, "http://ads.test/banner", nullptr, false);
    EXPECT_EQ(v.code, 903);
    EXPECT_EQ(v.matchedRule, "*ads.test*");
    v = KvJudgeByLists(c.app, "http://x.test/track<1>/y", "", false);
    EXPECT_EQ(v.code, 903);
    EXPECT_EQ(v.matchedRule, "*track<1>*");
    EXPECT_EQ(KvJudgeByLists(c.app, "http://ads.test/banner", "", true).code, 0);      // "$force"
    EXPECT_EQ(KvJudgeByLists(c.app, "http://ads.test/ok/pop", "", false).code, 0);     // white list
    EXPECT_EQ(KvJudgeByLists(c.app, "http://clean.test/", "", false).code, 0);
}

TEST(KavoriListTest, RefererOnTheConfiguredPortalDomainPassesEvenWithoutWhiteList) {
    Configured c("UseBlackList=1\nUsePopUpFilter=1\nPortalDomain= Portal.Test ", "*ads.test*\n", "*popup.test*\n");
    ASSERT_EQ(c.init, 1);
    EXPECT_EQ(KvGetPortalHosts().portalDomain, "portal.test");
    EXPECT_EQ(KvJudgeByLists(c.app, "http://popup.test/w", "http://www.portal.test/page", false).code, 0);
    EXPECT_EQ(KvJudgeByLists(c.app, "http://ads.test/b", "http://www.portal.test/page", false).code, 0);
    EXPECT_EQ(KvJudgeByLists(c.app, "http://ads.test/b", "http://www.elsewhere.test/page", false).code, 903);
}

TEST(KavoriCacheRuleTest, BypassLongUrlsCustomSearchAndNoCacheListKeepTheCacheOut) {
    Configured c("UseNoCacheList=1\nCustomSearchPrefix=http://search.test/custom?\n", "", "", "", "*private.test*\n");
    ASSERT_EQ(c.init, 1);
    const KvKavoriSettings& s = KvGetKavoriSettings();
    EXPECT_EQ(s.customSearch, "http://search.test/custom?");
    EXPECT_FALSE(KvIsCacheBypassed(&c.app, s, "http://a.test/", false));
    EXPECT_TRUE(KvIsCacheBypassed(&c.app, s, "http://a.test/", true));
    EXPECT_TRUE(KvIsCacheBypassed(&c.app, s, "http://search.test/custom?q=1", false));
    EXPECT_TRUE(KvIsCacheBypassed(&c.app, s, "http://private.test/x", false));
    std::string url = "http://a.test/";
    url.resize(KV_LONG_URL - 1, 'x');
    EXPECT_FALSE(KvIsCacheBypassed(&c.app, s, url.c_str(), false));
    url += "x";
    EXPECT_TRUE(KvIsCacheBypassed(&c.app, s, url.c_str(), false));
    // Without a custom-search prefix configured nothing begins with it.
    EXPECT_FALSE(KvIsCacheBypassed(nullptr, KvKavoriSettings{}, "http://a.test/", false));
}

TEST(KavoriConfigTest, PrefixListsPortalDomainAndCacheFolderComeFromTheConfiguration) {
    Configured c("ZuRedirectPrefixes=http://dir.test/click  http://dir2.test/go,http://dir3.test/\n"
                 "StarRedirectPrefixes=http://se.test/r/\n",
                 "", "");
    ASSERT_EQ(c.init, 1);
    const KvKavoriSettings& s = KvGetKavoriSettings();
    ASSERT_EQ(s.zuRedirects.size(), 3u);
    EXPECT_EQ(s.zuRedirects[1], "http://dir2.test/go");
    EXPECT_EQ(s.zuRedirects[2], "http://dir3.test/");
    ASSERT_EQ(s.starRedirects.size(), 1u);
    EXPECT_TRUE(s.customSearch.empty());
    // Without "PortalDomain" the portal host stays what it was.
    EXPECT_EQ(KvGetPortalHosts().portalDomain, c.savedHosts.portalDomain);
    EXPECT_EQ(std::string(KvCacheGetDirectory().c_str()).rfind(c.dir.path + "/Cache", 0), 0u);
}

TEST(KavoriPageTest, CacheDeletedPageEscapesWhatItShows) {
    CString body = KvCacheDeletedBody("http://a.test/<script>{x}\"", "http://a.test/%3Cscript%3E");
    const std::string text = body.c_str();
    EXPECT_EQ(text.find("<script>"), std::string::npos);
    EXPECT_EQ(text.find("{x}"), std::string::npos);
    EXPECT_NE(text.find("Cache for http://a.test/&lt;script&gt;&#123;x&#125;&quot; deleted."), std::string::npos);
    EXPECT_NE(text.find("<a href=\"http://a.test/%3Cscript%3E\">HERE</a>"), std::string::npos);
    EXPECT_EQ(text.rfind("<h1>Cache Deleted</h1><body>Cache for ", 0), 0u);
}

TEST(KavoriTunnelTest, TunnelUrlNamesThePortOnlyWhenItIsNot443) {
    EXPECT_EQ(KvTunnelUrl("blocked.test", 443), "https://blocked.test/");
    EXPECT_EQ(KvTunnelUrl("blocked.test", 8443), "https://blocked.test:8443/");
    EXPECT_EQ(KvTunnelUrl("::1", 8443), "https://[::1]:8443/");
}

namespace {

// The referer hook is protected: a probe calls it on a request it fills.
class RefererProbe : public KvProxyRequest {
public:
    std::string Referer(const char* url, const char* given = nullptr) {
        m_request.Reset();
        if (given) m_request.SetHeaderValue("Referer", given);
        m_strURL = url;
        HyjackReferer();
        const char* value = m_request.GetHeaderValue("Referer");
        return value ? value : "";
    }
};

}  // namespace

TEST(KavoriRefererTest, TheConfiguredCustomSearchNeedsTheAdClientId) {
    KvKavoriSettings saved = KvGetKavoriSettings();
    KvKavoriSettings settings;
    settings.customSearch = "http://cse.test/custom?";
    KvSetKavoriSettings(settings);
    RefererProbe probe;
    const std::string card = std::string("http://www.") + KvGetPortalHosts().portalDomain.c_str() +
                             "/phpmod/htmcard.php?pg=se";
    EXPECT_EQ(probe.Referer("http://cse.test/custom?q=a&client=pub-1234567890123456"), card);
    EXPECT_EQ(probe.Referer("http://cse.test/custom?q=a&client=pub-123456789012345"), "") << "15 digits";
    EXPECT_EQ(probe.Referer("http://cse.test/custom?q=a&client=pub-1234567890123456", "http://mine.test/"),
              "http://mine.test/") << "a referer given stays";
    EXPECT_EQ(probe.Referer("http://other.test/custom?pub-1234567890123456"), "");
    // Without a configured prefix no URL counts as a custom search.
    KvSetKavoriSettings(KvKavoriSettings{});
    EXPECT_EQ(probe.Referer("http://cse.test/custom?q=a&client=pub-1234567890123456"), "");
    KvSetKavoriSettings(saved);
}
