// The download client against origins and proxies made in the test: TLS
// with a certificate made here, redirects, decoding, proxies and limits.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "inet/fetch/KvDownload.h"
#include "inet/fetch/KvFetchBody.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/fetch/KvFetchUrl.h"
#include "inet/fetch/KvHtmlGrab.h"
#include "inet/fetch/KvWebClient.h"
#include "inet/net/KvAddressKind.h"
#include "inet/net/KvResolver.h"
#include "inet/tests/fetch_origin.h"

using fetchtest::Conn;
using fetchtest::TestOrigin;

namespace {

bool OriginResolver(const char* host, unsigned port, std::vector<KvResolvedAddress>& out) {
    if (std::strcmp(host, "origin.test") != 0) return false;
    KvResolvedAddress a;
    auto* in = reinterpret_cast<sockaddr_in*>(&a.addr);
    in->sin_family = AF_INET;
    in->sin_port = htons((uint16_t)port);
    in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.length = sizeof(sockaddr_in);
    a.family = AF_INET;
    out.push_back(a);
    return true;
}

std::string Answer(const std::string& status, const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" +
           body;
}

std::string Gzip(const std::string& text) {
    z_stream z{};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, text.size()) + 32, '\0');
    z.next_in = (Bytef*)text.data();
    z.avail_in = (uInt)text.size();
    z.next_out = (Bytef*)out.data();
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        KvSetResolverFunction(&OriginResolver);
        m_cert = fetchtest::MakeCert();
        m_tls = fetchtest::MakeServerContext(m_cert);
        m_caFile = std::filesystem::temp_directory_path() / ("fetch_ca_" + std::to_string(getpid()) + ".pem");
        std::ofstream(m_caFile) << m_cert.certPem;
        Configure([](KvFetchSettings&) {});
    }
    void TearDown() override {
        KvSetResolverFunction(nullptr);
        KvSetFetchSettings(KvFetchSettings());
        SSL_CTX_free(m_tls);
        std::filesystem::remove(m_caFile);
    }
    template <class Fn>
    void Configure(Fn change) {
        KvFetchSettings s;
        s.caFile = m_caFile.c_str();
        s.userAgent = "KvProxy-test/1";
        s.allowInternal = true;  // the test's origins are on this machine
        change(s);
        KvSetFetchSettings(s);
    }
    std::string Https(const TestOrigin& o, const char* path = "/feed") {
        return "https://origin.test:" + std::to_string(o.Port()) + path;
    }
    std::string Http(const TestOrigin& o, const char* path = "/feed") {
        return "http://127.0.0.1:" + std::to_string(o.Port()) + path;
    }

    fetchtest::TestCert m_cert;
    SSL_CTX* m_tls = nullptr;
    std::filesystem::path m_caFile;
};

TEST_F(FetchTest, HttpsFeedWithTrustedCertificateAndOneOfEachHeader) {
    TestOrigin origin([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "<rss/>")); }, m_tls);
    CString body;
    KvDownloadOutcome outcome;
    ASSERT_TRUE(KvDownloadToString(Https(origin).c_str(), body, 0, nullptr, outcome)) << outcome.error.c_str();
    EXPECT_EQ(body, "<rss/>");
    EXPECT_EQ(outcome.status, 200);
    std::string head = origin.Heads().at(0);
    EXPECT_EQ(head.find("GET /feed HTTP/1.0\r\n"), 0u);
    EXPECT_NE(head.find("\r\nAccept: image/gif"), std::string::npos);
    EXPECT_EQ(head.find("Accept: Accept:"), std::string::npos);
    EXPECT_NE(head.find("\r\nUser-Agent: KvProxy-test/1\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nHost: origin.test:" + std::to_string(origin.Port()) + "\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nReferer: " + Https(origin) + "\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nAccept-Encoding: gzip\r\n"), std::string::npos);
}

TEST_F(FetchTest, UntrustedOrMisnamedCertificateIsAFailedDownload) {
    TestOrigin origin([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "secret")); }, m_tls);
    Configure([](KvFetchSettings& s) { s.caFile.Empty(); });
    CString body;
    KvDownloadOutcome outcome;
    EXPECT_FALSE(KvDownloadToString(Https(origin).c_str(), body, 0, nullptr, outcome));
    EXPECT_NE(outcome.error.Find("not trusted"), -1) << outcome.error.c_str();

    // Trusted, but issued for another name than the one asked for.
    Configure([](KvFetchSettings&) {});
    std::string other = "https://localhost:" + std::to_string(origin.Port()) + "/";
    EXPECT_FALSE(KvDownloadToString(other.c_str(), body, 0, nullptr, outcome));
    EXPECT_TRUE(body.IsEmpty());
}

TEST_F(FetchTest, RedirectsFollowHttpToHttpsAndStopAtLoopsAndDowngrades) {
    TestOrigin secure(
        [](Conn& c, const std::string& head) {
            if (head.starts_with("GET /old ")) c.Write(Answer("302 Found", "", "Location: ../feed\r\n"));
            else if (head.starts_with("GET /down ")) c.Write(Answer("301 Moved", "", "Location: http://127.0.0.1:1/\r\n"));
            else c.Write(Answer("200 OK", "final"));
        },
        m_tls);
    std::string target = Https(secure, "/old");
    TestOrigin plain([&](Conn& c, const std::string&) { c.Write(Answer("301 Moved", "", "Location: " + target + "\r\n")); });
    CString body;
    KvDownloadOutcome outcome;
    ASSERT_TRUE(KvDownloadToString(Http(plain).c_str(), body, 0, nullptr, outcome)) << outcome.error.c_str();
    EXPECT_EQ(body, "final");
    EXPECT_EQ(outcome.finalUrl, Https(secure).c_str());

    EXPECT_FALSE(KvDownloadToString(Https(secure, "/down").c_str(), body, 0, nullptr, outcome));
    EXPECT_NE(outcome.error.Find("down to http"), -1) << outcome.error.c_str();

    TestOrigin loop([](Conn& c, const std::string&) { c.Write(Answer("307 Again", "", "Location: /feed\r\n")); });
    EXPECT_FALSE(KvDownloadToString(Http(loop).c_str(), body, 0, nullptr, outcome));
    EXPECT_EQ(loop.Connections(), 6);  // the first request and five redirects
}

TEST_F(FetchTest, ErrorStatusGzipAndChunkedAnswers) {
    TestOrigin origin([](Conn& c, const std::string& head) {
        if (head.starts_with("GET /missing ")) c.Write(Answer("404 Not Found", "no such feed"));
        else if (head.starts_with("GET /gz ")) c.Write(Answer("200 OK", Gzip("<rss>zipped</rss>"), "Content-Encoding: gzip\r\n"));
        else c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;x=1\r\n<rss>\r\n6\r\n</rss>\r\n0\r\nT: 1\r\n\r\n");
    });
    KvGenBuffer buffer;
    ASSERT_TRUE(DownloadToBuffer(Http(origin, "/missing").c_str(), buffer, 0, nullptr));
    EXPECT_EQ(std::string(buffer.GetData(), buffer.GetCount()), "no such feed");
    CString body;
    ASSERT_TRUE(DownloadToString(Http(origin, "/gz").c_str(), body, 0, nullptr));
    EXPECT_EQ(body, "<rss>zipped</rss>");
    ASSERT_TRUE(DownloadToString(Http(origin, "/chunked").c_str(), body, 0, nullptr));
    EXPECT_EQ(body, "<rss></rss>");
}

TEST_F(FetchTest, UpstreamProxyCarriesHttpByAddressAndHttpsByTunnel) {
    TestOrigin secure([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "tunnelled")); }, m_tls);
    int securePort = secure.Port();
    TestOrigin proxy([&](Conn& c, const std::string& head) {
        if (!head.starts_with("CONNECT ")) {
            c.Write(Answer("200 OK", "relayed"));
            return;
        }
        int up = fetchtest::ConnectLoopback(securePort);
        c.Write("HTTP/1.1 200 Connection established\r\n\r\n");
        fetchtest::Relay(c.fd, up, c.stopFd);
        ::close(up);
    });
    Configure([&](KvFetchSettings& s) {
        s.proxyHost = "127.0.0.1";
        s.proxyPort = proxy.Port();
    });
    CString body;
    ASSERT_TRUE(DownloadToString("http://feeds.example/rss?x=1", body, 0, nullptr));
    EXPECT_EQ(body, "relayed");
    ASSERT_TRUE(DownloadToString(Https(secure).c_str(), body, 0, nullptr));
    EXPECT_EQ(body, "tunnelled");
    auto heads = proxy.Heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[0].find("GET http://feeds.example/rss?x=1 HTTP/1.0\r\n"), 0u);
    EXPECT_NE(heads[0].find("\r\nHost: feeds.example\r\n"), std::string::npos);
    EXPECT_EQ(heads[1].find("CONNECT origin.test:" + std::to_string(securePort) + " HTTP/1.1\r\n"), 0u);
}

TEST_F(FetchTest, ViaLocalProxySendsPlainHttpToOwnListener) {
    TestOrigin listener([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "from the cache")); });
    Configure([&](KvFetchSettings& s) {
        s.localProxyHost = "0.0.0.0";
        s.localProxyPort = listener.Port();
    });
    CString body;
    ASSERT_TRUE(DownloadToString("http://feeds.example:8080/a b", body, 1, "http://ref.example/"));
    EXPECT_EQ(body, "from the cache");
    std::string head = listener.Heads().at(0);
    EXPECT_EQ(head.find("GET http://feeds.example:8080/a+b HTTP/1.0\r\n"), 0u);
    EXPECT_NE(head.find("\r\nReferer: http://ref.example/\r\n"), std::string::npos);
}

TEST_F(FetchTest, StalledOriginAndOversizedBodiesFailCleanly) {
    TestOrigin origin([](Conn& c, const std::string& head) {
        if (head.starts_with("GET /stall ")) {
            c.HoldUntilClosed();
        } else if (head.starts_with("GET /declared ")) {
            c.Write("HTTP/1.0 200 OK\r\nContent-Length: 104857600\r\n\r\n");
        } else {
            c.Write("HTTP/1.0 200 OK\r\n\r\n");
            std::string piece(1 << 16, 'x');
            for (int i = 0; i < 1600 && c.Write(piece); ++i) {
            }
        }
    });
    Configure([](KvFetchSettings& s) { s.timeoutMs = 300; });
    CString body;
    KvDownloadOutcome outcome;
    EXPECT_FALSE(KvDownloadToString(Http(origin, "/stall").c_str(), body, 0, nullptr, outcome));
    EXPECT_NE(outcome.error.Find("time-out"), -1) << outcome.error.c_str();

    Configure([](KvFetchSettings&) {});
    EXPECT_FALSE(KvDownloadToString(Http(origin, "/declared").c_str(), body, 0, nullptr, outcome));
    EXPECT_NE(outcome.error.Find("limit"), -1) << outcome.error.c_str();
    EXPECT_FALSE(KvDownloadToString(Http(origin, "/endless").c_str(), body, 0, nullptr, outcome));
    EXPECT_NE(outcome.error.Find("limit"), -1) << outcome.error.c_str();
}

TEST_F(FetchTest, LocalHostsAndOtherSchemesAreRefusedBeforeConnecting) {
    TestOrigin origin([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "x")); });
    Configure([](KvFetchSettings& s) {
        s.isLocalHost = [](const char* host) { return std::strcmp(host, "origin.test") == 0; };
    });
    CString body;
    KvDownloadOutcome outcome;
    EXPECT_FALSE(KvDownloadToString(("http://ORIGIN.test:" + std::to_string(origin.Port()) + "/").c_str(), body, 0,
                                    nullptr, outcome));
    EXPECT_NE(outcome.error.Find("local site"), -1) << outcome.error.c_str();
    EXPECT_FALSE(DownloadToString(("ftp://127.0.0.1:" + std::to_string(origin.Port()) + "/").c_str(), body, 0, nullptr));
    EXPECT_FALSE(DownloadToString("file:///etc/passwd", body, 0, nullptr));
    EXPECT_EQ(origin.Connections(), 0);
}

TEST_F(FetchTest, AddressesInsideAreRefusedUnlessTrusted) {
    TestOrigin origin([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "inside")); });
    TestOrigin listener([](Conn& c, const std::string&) { c.Write(Answer("200 OK", "through the proxy")); });
    const std::string byName = "http://origin.test:" + std::to_string(origin.Port()) + "/";
    CString body;
    KvDownloadOutcome outcome;
    // A name that resolves to the loopback address, directly, after a
    // redirect, and through the own listener (which would look it up again).
    for (const bool viaListener : {false, true}) {
        Configure([&](KvFetchSettings& s) {
            s.allowInternal = false;
            if (viaListener) s.localProxyPort = listener.Port();
        });
        EXPECT_FALSE(KvDownloadToString(byName.c_str(), body, viaListener, nullptr, outcome));
        EXPECT_NE(outcome.error.Find("origin.test is inside this machine or a private network (127.0.0.1)"), -1)
            << outcome.error.c_str();
    }
    EXPECT_EQ(origin.Connections() + listener.Connections(), 0);
    // The addresses of the configured services are trusted; other requests
    // of the client are not restricted.
    Configure([&](KvFetchSettings& s) {
        s.allowInternal = false;
        s.trustedHosts = {"ORIGIN.test"};
    });
    EXPECT_TRUE(KvDownloadToString(byName.c_str(), body, 0, nullptr, outcome)) << outcome.error.c_str();
    Configure([&](KvFetchSettings& s) { s.allowInternal = false; });
    KvWebClient client;
    EXPECT_EQ(client.Grab(byName.c_str(), "GET", nullptr, nullptr), 1);
}

TEST(AddressKind, InsideAddressesOfBothFamilies) {
    auto v4 = [](const char* text) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, text, &a.sin_addr);
        return KvIsInternalAddress(reinterpret_cast<const sockaddr*>(&a));
    };
    auto v6 = [](const char* text) {
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        inet_pton(AF_INET6, text, &a.sin6_addr);
        return KvIsInternalAddress(reinterpret_cast<const sockaddr*>(&a));
    };
    for (const char* ip : {"127.0.0.1", "127.255.0.9", "10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.0.1",
                           "169.254.169.254", "0.0.0.0"}) {
        EXPECT_TRUE(v4(ip)) << ip;
    }
    for (const char* ip : {"8.8.8.8", "172.32.0.1", "172.15.255.255", "192.169.0.1", "100.64.0.1"}) {
        EXPECT_FALSE(v4(ip)) << ip;
    }
    for (const char* ip : {"::1", "::", "fe80::1", "fc00::1", "fdff::2", "::ffff:127.0.0.1", "::ffff:192.168.1.1",
                           "::10.0.0.1"}) {
        EXPECT_TRUE(v6(ip)) << ip;
    }
    for (const char* ip : {"2001:db8::1", "2a00:1450::1", "::ffff:8.8.8.8", "fec0::1"}) EXPECT_FALSE(v6(ip)) << ip;
    EXPECT_FALSE(KvIsInternalAddress(nullptr));
}

TEST_F(FetchTest, WebClientPostsParametersAndKeepsTheResponse) {
    TestOrigin origin([](Conn& c, const std::string& head) {
        size_t at = head.find("Content-Length: ");
        std::string body(at == std::string::npos ? 0 : (size_t)std::atoi(head.c_str() + at + 16), '\0');
        if (!body.empty()) body.resize((size_t)std::max(0, c.Read(body.data(), (int)body.size())));
        c.Write(Answer("201 Created", body));
    }, m_tls);
    KvWebClient client;
    CsStrMap params;
    params.AddTail("q", "a b");
    ASSERT_TRUE(client.Grab(Https(origin, "/post").c_str(), "POST", &params, nullptr)) << client.GetError().c_str();
    EXPECT_EQ(client.GetResponse()->m_nStatus, 201);
    EXPECT_EQ(std::string(client.GetResponse()->m_bufBody.GetData(), client.GetResponse()->m_bufBody.GetCount()),
              "q=a+b");
}

TEST(FetchUrl, SplitsResolvesAndNamesHosts) {
    KvFetchTarget t;
    ASSERT_TRUE(KvSplitFetchUrl(" HTTPS://User@Feeds.Example:443/a/./b/../c?x=1#top", t));
    EXPECT_TRUE(t.https);
    EXPECT_EQ(t.host, "feeds.example");
    EXPECT_EQ(t.pathQuery, "/a/c?x=1");
    EXPECT_EQ(KvHostHeader(t), "feeds.example");
    ASSERT_TRUE(KvSplitFetchUrl("http://[::1]:8080", t));
    EXPECT_EQ(KvHostHeader(t), "[::1]:8080");
    EXPECT_EQ(t.pathQuery, "/");
    EXPECT_FALSE(KvSplitFetchUrl("http://host:99999/", t));
    EXPECT_FALSE(KvSplitFetchUrl("http:///path", t));
    EXPECT_FALSE(KvSplitFetchUrl("gopher://host/", t));

    const char* base = "https://h.example/dir/feed.xml?q=1";
    EXPECT_EQ(KvResolveReference(base, "item.html"), "https://h.example/dir/item.html");
    EXPECT_EQ(KvResolveReference(base, "../up"), "https://h.example/up");
    EXPECT_EQ(KvResolveReference(base, "/root#frag"), "https://h.example/root#frag");
    EXPECT_EQ(KvResolveReference(base, "//cdn.example/x"), "https://cdn.example/x");
    EXPECT_EQ(KvResolveReference(base, "?p=2"), "https://h.example/dir/feed.xml?p=2");
    EXPECT_EQ(KvResolveReference(base, "mailto:a@b"), "mailto:a@b");
    EXPECT_EQ(KvResolveReference("not a url", "x"), "");
}

TEST(FetchBody, ChunkFramingAndGzipAreBounded) {
    std::string out;
    KvChunkDecoder small(4);
    EXPECT_EQ(small.Feed("5\r\nhello\r\n0\r\n\r\n", 17, out), KvChunkDecoder::Result::TooLarge);
    KvChunkDecoder bad(100);
    EXPECT_EQ(bad.Feed("zz\r\n", 4, out), KvChunkDecoder::Result::Bad);
    // Split anywhere, the framing is taken apart the same.
    std::string framed = "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n";
    KvChunkDecoder split(100);
    out.clear();
    for (size_t i = 0; i + 1 < framed.size(); ++i) EXPECT_EQ(split.Feed(&framed[i], 1, out), KvChunkDecoder::Result::NeedMore);
    EXPECT_EQ(split.Feed(&framed.back(), 1, out), KvChunkDecoder::Result::Done);
    EXPECT_EQ(out, "abcde");

    const char* why = "";
    std::string bomb = Gzip(std::string(1 << 20, 'a'));
    EXPECT_FALSE(KvGunzip(bomb, 1000, out, why));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(KvGunzip(bomb.substr(0, bomb.size() / 2), 1 << 21, out, why));
    ASSERT_TRUE(KvGunzip(Gzip("one") + Gzip("two"), 100, out, why));
    EXPECT_EQ(out, "onetwo");
}

TEST(HtmlGrab, ListsResolvedLinksOnceWithoutFragments) {
    KvHtmlGrab grab;
    grab.SetContent("<A HREF=\"/a#x\">1</a><a href='/a'>2</a><img src=pic.gif><link rel=x href=\"s.css\">"
                    "<script src=\"https://cdn.example/j.js\"></script><abbr href=\"/no\"><frame src=f.html>");
    CsStrList links, styles, images, scripts;
    ASSERT_TRUE(grab.Grab("https://site.example/dir/page.html", &links, &styles, &images, &scripts));
    ASSERT_EQ(links.Size(), 2);
    EXPECT_STREQ(links.Head()->GetStr(), "https://site.example/a");
    EXPECT_STREQ(links.Tail()->GetStr(), "https://site.example/dir/f.html");
    EXPECT_STREQ(images.Head()->GetStr(), "https://site.example/dir/pic.gif");
    EXPECT_STREQ(styles.Head()->GetStr(), "https://site.example/dir/s.css");
    EXPECT_STREQ(scripts.Head()->GetStr(), "https://cdn.example/j.js");
    EXPECT_FALSE(grab.Grab(nullptr, &links, nullptr, nullptr, nullptr));
}

}  // namespace
