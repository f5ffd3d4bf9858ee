// The names of KvProxy's own listener: what a browser is told in the PAC
// file, and which names count as the proxy itself (the portal is shown
// only for those, never for a name that merely resolves here).
#include <gtest/gtest.h>
#include <unistd.h>

#include "proxy/web/KvOwnListener.h"

TEST(OwnListenerTest, NamesAndAuthorityFollowTheListenAddress) {
    KvSetOwnListener(nullptr, 0);
    EXPECT_EQ(KvOwnListenerAuthority(), "");
    EXPECT_FALSE(KvIsOwnListenerName("127.0.0.1"));

    KvSetOwnListener("127.0.0.1", 8168);
    EXPECT_EQ(KvOwnListenerAuthority(), "127.0.0.1:8168");
    EXPECT_TRUE(KvIsOwnListenerName("127.0.0.1"));
    EXPECT_TRUE(KvIsOwnListenerName("LocalHost."));
    EXPECT_FALSE(KvIsOwnListenerName("::1"));
    EXPECT_FALSE(KvIsOwnListenerName("127.0.0.2"));
    EXPECT_FALSE(KvIsOwnListenerName("rebound.example"));
    EXPECT_FALSE(KvIsOwnListenerName(""));

    KvSetOwnListener("::1", 9000);
    EXPECT_EQ(KvOwnListenerAuthority(), "[::1]:9000");
    EXPECT_TRUE(KvIsOwnListenerName("[::1]"));
    EXPECT_TRUE(KvIsOwnListenerName("localhost"));

    // Every address: reached at 127.0.0.1, and under any loopback address,
    // "localhost" and the machine's name.
    for (const char* any : {"0.0.0.0", "::", ""}) {
        KvSetOwnListener(any, 8168);
        EXPECT_EQ(KvOwnListenerAuthority(), "127.0.0.1:8168") << any;
        EXPECT_TRUE(KvIsOwnListenerName("127.0.0.5")) << any;
        EXPECT_TRUE(KvIsOwnListenerName("[::1]")) << any;
        EXPECT_FALSE(KvIsOwnListenerName("rebound.example")) << any;
    }
    char machine[256] = "";
    if (gethostname(machine, sizeof machine - 1) == 0 && *machine) {
        EXPECT_TRUE(KvIsOwnListenerName(machine));
    }
    KvSetOwnListener("192.0.2.7", 8168);
    EXPECT_FALSE(KvIsOwnListenerName("localhost"));
    EXPECT_TRUE(KvIsOwnListenerName("192.0.2.7"));
    KvSetOwnListener(nullptr, 0);
}
