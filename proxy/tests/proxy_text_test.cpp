// Suffixes, upstream targets, page escaping and the small parsers of the
// proxy pipeline.
#include <gtest/gtest.h>

#include <string>

#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvProxyText.h"

namespace {

CString FormatHtml(const char* format, ...) {
    va_list args;
    va_start(args, format);
    CString text = KvProxyFormatHtml(format, args);
    va_end(args);
    return text;
}

}  // namespace

TEST(ProxySuffixTest, OnlyAnExactTailFromTheFirstDollarIsCut) {
    struct Case {
        const char* uri;
        const char* rest;
        KvProxySuffix flag;
    } cases[] = {
        {"http://h/a$force", "http://h/a", kvSuffixForce},
        {"http://h/a$delete", "http://h/a", kvSuffixDelete},
        {"http://h/a$bypass", "http://h/a", kvSuffixBypass},
        {"http://h/a$forced", "http://h/a$forced", kvSuffixNone},
        {"http://h/a$Force", "http://h/a$Force", kvSuffixNone},
        {"http://h/$x/b$force", "http://h/$x/b$force", kvSuffixNone},  // only the first "$" counts
        {"http://h/a", "http://h/a", kvSuffixNone},
        {"", "", kvSuffixNone},
    };
    for (const Case& c : cases) {
        CString uri = c.uri;
        EXPECT_EQ(KvProxyCutSuffix(uri), c.flag) << c.uri;
        EXPECT_EQ(uri, c.rest) << c.uri;
    }
}

TEST(ProxyTargetTest, EscapesOnlyBytesOutsideThePrintableRange) {
    EXPECT_EQ(KvProxyUpstreamTarget("http://h:81/a%2Fb%26c+d?q=%20&r=%2B", false), "/a%2Fb%26c+d?q=%20&r=%2B");
    EXPECT_EQ(KvProxyUpstreamTarget("http://h/caf\xc3\xa9 x\x7f", false), "/caf%C3%A9%20x%7F");
    EXPECT_EQ(KvProxyUpstreamTarget("http://h", false), "/");
    EXPECT_EQ(KvProxyUpstreamTarget("http://h?x=1", false), "/?x=1");
    EXPECT_EQ(KvProxyUpstreamTarget("/already/origin-form", false), "/already/origin-form");
    EXPECT_EQ(KvProxyUpstreamTarget("/p://odd", false), "/p://odd");
    EXPECT_EQ(KvProxyUpstreamTarget("http://h/a b", true), "http://h/a%20b");
}

TEST(ProxyHtmlTest, MarkupAndPlaceholdersAreNeutralised) {
    EXPECT_EQ(KvProxyHtmlText("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(KvProxyHtmlText("{request_uri}"), "&#123;request_uri&#125;");
    EXPECT_EQ(KvProxyHtmlText(nullptr), "");
}

TEST(ProxyHtmlTest, FormattingEscapesTextArgumentsOnly) {
    EXPECT_EQ(FormatHtml("<b>%s</b> %d%% %5.1f %c", "<i>{x}</i>", 42, 2.5, 'q'),
              "<b>&lt;i&gt;&#123;x&#125;&lt;/i&gt;</b> 42%   2.5 q");
    EXPECT_EQ(FormatHtml("%-4s|%.2s|%*d|%lu|%lld", "a", "xyz", 3, 7, 9ul, -1ll), "a   |xy|  7|9|-1");
    EXPECT_EQ(FormatHtml("%s", (const char*)nullptr), "");
    EXPECT_EQ(FormatHtml("tail %"), "tail %");
}

TEST(ProxyHeaderTest, ConnectionHeadersAndTheNamesTheyList) {
    KvHttpResponse r;
    r.AddHeaderValue("Connection", "keep-alive, X-Private");
    r.AddHeaderValue("connection", "x-other");
    EXPECT_TRUE(KvIsListedInConnection(r, "x-private"));
    EXPECT_TRUE(KvIsListedInConnection(r, "X-OTHER"));
    EXPECT_FALSE(KvIsListedInConnection(r, "X-Priv"));
    EXPECT_TRUE(KvIsHopByHopHeader("proxy-connection"));
    EXPECT_TRUE(KvIsHopByHopHeader("TE"));
    EXPECT_FALSE(KvIsHopByHopHeader("Transfer-Encoding"));
    r.AddHeaderValue("CONTENT-LENGTH", "1");
    r.AddHeaderValue("content-length", "2");
    KvRemoveHeaderAnyCase(r, "Content-Length");
    EXPECT_EQ(r.GetHeaderValue("Content-Length"), nullptr);
}

TEST(ProxyHeaderTest, RemovingARepeatedNameAmongOthersKeepsTheOrder) {
    KvHttpResponse r;
    const int kPairs = 30000;  // a head of the largest size holds about this many
    for (int i = 0; i < kPairs; ++i) {
        r.AddHeaderValue("X-Field", std::to_string(i).c_str());
        r.AddHeaderValue(i % 2 ? "content-length" : "Content-Length", "5");
    }
    KvRemoveHeaderAnyCase(r, "CONTENT-LENGTH");
    EXPECT_EQ(r.GetHeaderValue("Content-Length"), nullptr);
    int expected = 0;
    bool inOrder = true;
    r.m_mapHeader.ForEach([&](CsStrMapItem* item) { inOrder = inOrder && std::to_string(expected++) == item->GetValue(); });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(expected, kPairs);
}

TEST(ProxyAuthorityTest, ConnectTargetsAndPortLists) {
    CString host;
    int port = 0;
    EXPECT_TRUE(KvSplitAuthority("example.org:443", host, port));
    EXPECT_EQ(host, "example.org");
    EXPECT_EQ(port, 443);
    EXPECT_TRUE(KvSplitAuthority("[::1]:8443", host, port));
    EXPECT_EQ(host, "::1");
    for (const char* bad : {"example.org", ":443", "h:0", "h:65536", "h:44x", "a:b:443", "[::1]443", ""}) {
        EXPECT_FALSE(KvSplitAuthority(bad, host, port)) << bad;
    }
    EXPECT_TRUE(KvPortInList("443, 8443;563", 8443));
    EXPECT_TRUE(KvPortInList("443", 443));
    EXPECT_FALSE(KvPortInList("4430", 443));
    EXPECT_FALSE(KvPortInList("", 443));
}
