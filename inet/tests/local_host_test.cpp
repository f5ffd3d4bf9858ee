// Addresses of this machine or a private network, by name or literal IP.
#include <gtest/gtest.h>

#include "inet/url/KvLocalHost.h"

TEST(LocalHostTest, HostOfAnAddress) {
    EXPECT_EQ(KvWebAddressHost("http://User:pw@Example.COM.:8080/a?b"), "example.com");
    EXPECT_EQ(KvWebAddressHost("https://[::1]:443/feed"), "::1");
    EXPECT_EQ(KvWebAddressHost("http://a.example?q=http://127.0.0.1/"), "a.example");
    EXPECT_EQ(KvWebAddressHost("no address"), "");
}

TEST(LocalHostTest, LocalNamesAndAddressesAreRecognised) {
    for (const char* host : {"localhost", "a.localhost", "printer.local", "links.kvproxy.home.arpa", "127.0.0.1",
                             "127.9.9.9", "127.1", "2130706433", "0x7f.1", "10.0.0.5", "172.16.0.1", "172.31.255.255",
                             "192.168.1.1", "169.254.169.254", "0.0.0.0", "::1", "::", "fe80::1", "fd00::1",
                             "::ffff:127.0.0.1", "::ffff:10.1.2.3", ""}) {
        EXPECT_TRUE(KvIsLocalHost(host)) << host;
    }
    for (const char* host : {"example.com", "8.8.8.8", "172.32.0.1", "172.15.0.1", "192.169.0.1", "11.0.0.1",
                             "2001:db8::1", "::ffff:8.8.8.8", "localhost.example.com"}) {
        EXPECT_FALSE(KvIsLocalHost(host)) << host;
    }
}
