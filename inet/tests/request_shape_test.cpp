// The shape checks a proxy applies before it acts on a request: request
// and header lines with one reading only, and the canonical spelling of an
// address under which the block lists meet it.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpSyntax.h"
#include "inet/url/KvUrlCanonical.h"

TEST(RequestShapeTest, OnlyLinesWithOneReadingAreWellFormed) {
    struct Case {
        std::string line;
        bool good;
    };
    const Case requestLines[] = {
        {"GET http://h/a?b=c HTTP/1.1", true},
        {"OPTIONS * HTTP/1.0", true},
        {"CONNECT h:443 HTTP/1.1", true},
        {"GET http://h/a b HTTP/1.1", false},   // a space inside the target
        {"GET http://h/ FOO/9", false},          // junk version
        {"GET http://h/ HTTP/0.9", false},
        {"GET http://h/", false},                // HTTP/0.9's two-part line
        {std::string("G\x01T http://h/ HTTP/1.1"), false},
        {"GET  http://h/ HTTP/1.1", false},      // two spaces
        {"GET http://h/\x7f HTTP/1.1", false},
        {"GET http://h/ HTTP/1.1 ", false},
    };
    for (const Case& c : requestLines) EXPECT_EQ(KvIsWellFormedRequestLine(c.line), c.good) << c.line;

    const Case fieldLines[] = {
        {"Host: h", true},
        {"X-Empty:", true},
        {"Accept:\ttext/html", true},
        {" folded continuation", false},
        {"\tfolded", false},
        {"Host : h", false},  // whitespace before the colon
        {"no colon", false},
        {": no name", false},
        {std::string("X-Bad: a\x01b"), false},
    };
    for (const Case& c : fieldLines) EXPECT_EQ(KvIsWellFormedFieldLine(c.line), c.good) << c.line;
}

TEST(RequestShapeTest, ReadingAHeadCountsItsMalformedFieldLines) {
    KvHttpRequest request;
    KvGenBuffer raw(256);
    raw.PutString("GET http://h/ HTTP/1.1\r\nHost: h\r\nX-A: 1\r\n  more\r\nBad Name: 2\r\n\r\n");
    ASSERT_GT(request.ReceiveHeader(&raw), 0);
    EXPECT_EQ(request.m_nMalformedFields, 2);
    request.Reset();
    EXPECT_EQ(request.m_nMalformedFields, 0);
}

TEST(RequestShapeTest, CanonicalUrlHasOneSpellingPerAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://host:028080/a", "http://host:28080/a"},
        {"http://host:28080", "http://host:28080/"},
        {"HTTP://User:pw@HOST.Example.:80/x", "http://host.example/x"},
        {"http://h//secret", "http://h/secret"},
        {"http://h/./secret", "http://h/secret"},
        {"http://h/a/b/../../secret/", "http://h/secret/"},
        {"http://h/a/..", "http://h/"},
        {"http://h/../../x", "http://h/x"},
        {"http://h?q=/./a//b", "http://h/?q=/./a//b"},  // the query is left as it is
        {"http://h/a#frag", "http://h/a"},
        {"https://h:443/", "https://h/"},
        {"http://[::1]:0080/", "http://[::1]/"},
        {"http://h:0/", ""},        // no such port
        {"http://h:65536/", ""},
        {"http://h:80x/", ""},
        {"http:///path", ""},       // no host
        {"/origin/form", ""},
    };
    for (const auto& [url, canonical] : cases) EXPECT_EQ(KvCanonicalUrl(url), CString(canonical)) << url;

    KvUrlParts parts;
    ASSERT_TRUE(KvSplitUrl("Http://u@Host:0081?x", parts));
    EXPECT_EQ(parts.scheme, "http");
    EXPECT_EQ(parts.host, "host");
    EXPECT_EQ(parts.port, 81);
    EXPECT_EQ(parts.path, "/?x");
}

TEST(RequestShapeTest, ReferencesResolveAgainstTheBase) {
    const char* base = "http://h:81/a/b/c?q=1#f";
    const std::pair<const char*, const char*> cases[] = {
        {"HTTPS://x/y", "HTTPS://x/y"},     {"//other/p", "http://other/p"},
        {"/root", "http://h:81/root"},      {"?z=2", "http://h:81/a/b/c?z=2"},
        {"d", "http://h:81/a/b/d"},         {"../e", "http://h:81/a/b/../e"},
        {"", "http://h:81/a/b/c?q=1"},      {"#g", "http://h:81/a/b/c?q=1"},
    };
    for (const auto& [reference, resolved] : cases) {
        EXPECT_EQ(KvResolveUrl(base, reference).str(), resolved) << reference;
    }
    EXPECT_EQ(KvCanonicalUrl(KvResolveUrl("http://h/loop/a?x=1", "a?x=1").view()), "http://h/loop/a?x=1");
    EXPECT_TRUE(KvResolveUrl("no-scheme", "x").IsEmpty());
}
