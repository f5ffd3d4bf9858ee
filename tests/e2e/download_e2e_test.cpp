// KvProxy's own downloads "via the local proxy" go through the running
// kvproxy's listener, so its cache answers a second download.
#include <gtest/gtest.h>

#include "inet/fetch/KvDownload.h"
#include "inet/fetch/KvFetchSettings.h"
#include "tests/e2e/support/e2e_support.h"

using namespace e2e;

namespace {

void PointAtListener(int port) {
    KvFetchSettings s;
    s.localProxyHost = "127.0.0.1";
    s.localProxyPort = port;
    s.allowInternal = true;  // the origin is on this machine
    KvSetFetchSettings(s);
}

}  // namespace

TEST(DownloadE2eTest, ViaLocalProxyGoesThroughTheListenerAndItsCache) {
    CountingOrigin origin;
    Proxy proxy("RecTimeout=5\n");
    ASSERT_TRUE(proxy.Started()) << "kvproxy did not start";
    PointAtListener(proxy.Port());
    CString first;
    KvDownloadOutcome outcome;
    ASSERT_TRUE(KvDownloadToString(origin.Url("/feed.xml").c_str(), first, 1, nullptr, outcome))
        << outcome.error.c_str();
    EXPECT_EQ(outcome.status, 200);
    EXPECT_EQ(origin.Count(), 1);

    ASSERT_TRUE(proxy.Restart()) << "kvproxy did not restart";  // the store has landed
    PointAtListener(proxy.Port());
    CString second;
    ASSERT_TRUE(KvDownloadToString(origin.Url("/feed.xml").c_str(), second, 1, nullptr, outcome))
        << outcome.error.c_str();
    EXPECT_EQ(second, first);
    EXPECT_EQ(origin.Count(), 1);

    // Without the listener the same address goes to the origin itself.
    CString direct;
    ASSERT_TRUE(KvDownloadToString(origin.Url("/feed.xml").c_str(), direct, 0, nullptr, outcome));
    EXPECT_EQ(origin.Count(), 2);
    KvSetFetchSettings(KvFetchSettings());
}
