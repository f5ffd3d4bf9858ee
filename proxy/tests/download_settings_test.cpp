// The configuration reaches the download client: certificates, agent,
// time-out and upstream proxy, and the names the proxy answers itself.
#include <gtest/gtest.h>

#include "base/file/KvIniFile.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/web/KvWebApp.h"
#include "proxy/core/KvDownloadSettings.h"

TEST(DownloadSettingsTest, FileValuesAndDefaultsReachTheClient) {
    KvWebApp app;
    app.m_strBasePath = "/srv/kv";
    app.m_strForwardHost = "proxy.office";
    app.m_nForwardPort = 3128;
    KvIniFile ini;
    ini.SetValue("General", "CAFile", "certs/intranet.pem");
    ini.SetValue("General", "FetchTimeout", "0");
    KvApplyDownloadSettings(ini, app);
    KvFetchSettings s = KvGetFetchSettings();
    EXPECT_EQ(s.caFile, "/srv/kv/certs/intranet.pem");
    EXPECT_EQ(s.timeoutMs, 30000);  // 0 is no time-out: the default holds
    EXPECT_NE(s.userAgent.Find("KvProxy/"), -1);
    EXPECT_EQ(s.proxyHost, "proxy.office");
    EXPECT_EQ(s.proxyPort, 3128);
    ASSERT_NE(s.isLocalHost, nullptr);
    EXPECT_TRUE(s.isLocalHost("Search.KvProxy.Home.Arpa"));
    EXPECT_TRUE(s.isLocalHost("kvproxy.home.arpa"));
    EXPECT_FALSE(s.isLocalHost("notkvproxy.home.arpa"));
    EXPECT_FALSE(s.isLocalHost("feeds.example"));
}
