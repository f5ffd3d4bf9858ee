// Feed reading into link records, dates, text clean-up, the RSS writer
// (every document it writes parses back), the search readers and the
// research stack.
#include <gtest/gtest.h>

#include <random>

#include "base/containers/KvObjectArray.h"
#include "inet/fetch/KvFetchSettings.h"
#include "inet/tests/fetch_origin.h"
#include "proxy/feeds/KvFeedDate.h"
#include "proxy/feeds/KvFeedParse.h"
#include "proxy/feeds/KvFeedSettings.h"
#include "proxy/feeds/KvFeedText.h"
#include "proxy/feeds/KvResearchStack.h"
#include "proxy/feeds/KvRssReader.h"
#include "proxy/feeds/KvRssWriter.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

const KvLinkItem& Link(const KvObjectArray& a, int i) { return *static_cast<const KvLinkItem*>(a.GetAt(i)); }

time_t Utc(const char* text) {
    time_t t = 0;
    return KvParseFeedDate(text, t) ? t : -1;
}

}  // namespace

TEST(FeedReaderTest, RssItemsBecomeRecordsWithDatesAuthorsAndText) {
    CString text =
        "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel>"
        "<title>News &amp; more</title><copyright>(c) me</copyright>"
        "<item><title>A &lt;b&gt; tag</title><link> http://x.example/1 </link><description>Hello</description>"
        "<author>Ann</author><pubDate>Sun, 06 Nov 1994 08:49:37 GMT</pubDate></item>"
        "<item><title><![CDATA[Two]]></title><link>/rel</link><dc:date>2003-12-13T18:30:02-05:00</dc:date>"
        "<description>&lt;p&gt;Fish &amp;amp; &lt;a href=\"/x\"&gt;chips&lt;/a&gt;&lt;/p&gt;</description></item>"
        "</channel></rss>";
    KvObjectArray links;
    CString title, description, copyright, message;
    ASSERT_TRUE(KvConvertFeedToLinks(text, "https://feeds.example/dir/rss", &links, "kw", title, description,
                                     copyright, message))
        << message.c_str();
    EXPECT_EQ(title, "News & more");
    EXPECT_EQ(copyright, "(c) me");
    ASSERT_EQ(links.GetSize(), 2);
    EXPECT_EQ(Link(links, 0).m_strTitle, "A <b> tag");  // escaped markup in a title stays text
    EXPECT_EQ(Link(links, 0).m_strUrl, "http://x.example/1");
    EXPECT_EQ(Link(links, 0).m_strDesc, "Hello. Author:Ann. Pubdate:Sun, 06 Nov 1994 08:49:37 GMT.");
    EXPECT_EQ(Link(links, 0).m_strKeywords, "kw");
    time_t first = 0;
    ASSERT_TRUE(Link(links, 0).m_timeUploadOn.GetTime(&first));
    EXPECT_EQ(first, 784111777);
    EXPECT_EQ(Link(links, 1).m_strUrl, "https://feeds.example/rel");
    EXPECT_EQ(Link(links, 1).m_strDesc, "Fish & chips. Pubdate:2003-12-13T18:30:02-05:00.");
    time_t second = 0;
    ASSERT_TRUE(Link(links, 1).m_timeUploadOn.GetTime(&second));
    EXPECT_EQ(second, Utc("2003-12-13T23:30:02Z"));
}

TEST(FeedReaderTest, AtomAndForeignDocumentsAndBrokenXml) {
    KvObjectArray links;
    CString title, description, copyright, message;
    CString atom = "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title type=\"html\">&lt;b&gt;Log&lt;/b&gt;</title>"
                   "<entry><title>E</title><link rel=\"self\" href=\"/self\"/><link href=\"/e1\"/>"
                   "<author><name>Bo</name></author><updated>2024-03-12T05:30:27Z</updated></entry></feed>";
    ASSERT_TRUE(ConvertRssRdfStringToLinks(atom, &links, "", title, description, copyright, message));
    EXPECT_EQ(title, "Log");
    ASSERT_EQ(links.GetSize(), 1);
    EXPECT_EQ(Link(links, 0).m_strUrl, "/e1");  // no base known: left relative
    EXPECT_NE(Link(links, 0).m_strDesc.Find("Author:Bo."), -1);

    EXPECT_FALSE(ConvertRssRdfStringToLinks("<html><body/></html>", &links, "", title, description, copyright, message));
    EXPECT_EQ(message, "TiXmlDocument error: rss section not found");
    EXPECT_EQ(links.GetSize(), 0);
    EXPECT_FALSE(ConvertRssRdfStringToLinks("<rss><channel><title>Fish & Chips</title></channel></rss>", &links, "",
                                            title, description, copyright, message));
    EXPECT_EQ(message.Find("Error in rss_manager.xml[1, "), 0) << message.c_str();
}

TEST(FeedReaderTest, LatinFeedsAreReadAsUtf8) {
    CString latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss><channel><item><title>d'\xE9tudes \x93q\x94"
                    "</title></item></channel></rss>";
    KvFeed feed;
    CString message;
    ASSERT_TRUE(KvParseFeed(latin.c_str(), (size_t)latin.GetLength(), "", "x", feed, message)) << message.c_str();
    EXPECT_EQ(feed.items.at(0).title, "d'\xC3\xA9tudes \xE2\x80\x9Cq\xE2\x80\x9D");
}

TEST(FeedDateTest, InternetAndIsoFormsMeetOnOneScale) {
    const time_t t = Utc("2003-12-13T18:30:02Z");
    for (const char* same : {"Sat, 13 Dec 2003 18:30:02 GMT", "13 Dec 2003 18:30:02 +0000", "Sat, 13 Dec 03 13:30:02 EST",
                             "Sat, 13 Dec 2003 10:30:02 PST", "Sat, 13 Dec 2003 20:00:02 +0130", "2003-12-13T13:30:02-05:00",
                             "2003-12-13T18:30:02.250Z", "2003-12-13 18:30:02", " Sat,13 Dec 2003 18:30:02 UT "}) {
        EXPECT_EQ(Utc(same), t) << same;
    }
    EXPECT_EQ(Utc("2022-12-17"), Utc("2022-12-17T00:00:00Z"));
    EXPECT_EQ(Utc("01 Jan 49 00:00 GMT"), Utc("2049-01-01T00:00:00Z"));
    EXPECT_EQ(Utc("01 Jan 50 00:00 GMT"), Utc("1950-01-01T00:00:00Z"));
    for (const char* bad : {"", "yesterday", "31 Feb 2003 10:00 GMT", "2003-13-01", "Sat, 13 Dec 2003", "08/01/2019 4:15 PM"}) {
        EXPECT_EQ(Utc(bad), -1) << bad;
    }
}

TEST(FeedTextTest, CleanUpHelpers) {
    CString s = "<![CDATA[abc]]>";
    CleanCData(s);
    EXPECT_EQ(s, "abc");
    s = "<![CDATA[never closed";
    CleanCData(s);
    EXPECT_EQ(s, "<![CDATA[never closed");
    s = "&quot;a&quot; &amp;lt; &#38; &#x41; &eacute;";
    CleanRssString(s);
    EXPECT_EQ(s, "\"a\" &lt; & A &eacute;");  // one level only; HTML names are not XML's
    EXPECT_EQ(KvHtmlToText("<p>One&nbsp;<b>two</b></p>\n<script>x()</script>three &hellip;"), "One two three \xE2\x80\xA6");
    EXPECT_EQ(StrQueryFormat("/s?q={q}&again={q}", "tv"), "/s?q=tv&again=tv");
    EXPECT_EQ(KvXmlEscape("a\x01<\"\xFF"), "a&lt;&quot;\xEF\xBF\xBD");
}

TEST(RssWriterTest, EscapesEverythingAndKeepsItemDates) {
    KvObjectArray links;
    auto* item = new KvLinkItem("http://x.example/?a=1&b=2", "A &amp; B &lt;", "x &middot; y");
    item->m_timeUploadOn = KvTime((time_t)784111777);
    links.Add(item);
    CString rss = RssGenerateFromLinks("T <&>", "http://x.example/", "D", &links);
    EXPECT_EQ(rss.Find("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<rss version=\"2.0\"><channel>\r\n"), 0);
    EXPECT_NE(rss.Find("<title>T &lt;&amp;&gt;</title>"), -1);
    EXPECT_NE(rss.Find("\t<title>A &amp; B &amp;lt;</title>"), -1);
    EXPECT_NE(rss.Find("\t<link>http://x.example/?a=1&amp;b=2</link>"), -1);
    EXPECT_NE(rss.Find("\t<description>x . y</description>"), -1);
    EXPECT_NE(rss.Find("\t<pubDate>Sun, 06 Nov 1994 08:49:37 GMT</pubDate>"), -1);
    EXPECT_EQ(rss.Right(20), "</channel>\r\n</rss>\r\n");

    KvObjectArray none;
    CString empty = RssGenerateFromLinks("T", "L", "D", &none);
    EXPECT_EQ(empty.Find("<item>"), -1);
    EXPECT_NE(empty.Find("<language>en-us</language>\r\n<lastBuildDate>"), -1);
}

TEST(RssWriterTest, ArbitraryRecordsRoundTripThroughTheReader) {
    std::mt19937 rng(16);
    auto randomText = [&] {
        std::string s;
        for (int n = (int)(rng() % 40); n > 0; --n) {
            static const char kPieces[][10] = {"a", " ", "&", "<", ">", "\"", "'", "&amp;", "]]>", "\x01", "\xC3\xA9",
                                              "\xFF", "&#1;", "\t", "\xE2\x80", "&middot;"};
            s += kPieces[rng() % 16];
        }
        return s;
    };
    for (int round = 0; round < 200; ++round) {
        KvObjectArray links;
        int count = (int)(rng() % 4);
        for (int i = 0; i < count; ++i) {
            links.Add(new KvLinkItem(randomText().c_str(), randomText().c_str(), randomText().c_str()));
        }
        std::string title = randomText();
        CString rss = RssGenerateFromLinks(title.c_str(), randomText().c_str(), randomText().c_str(), &links);
        KvFeed feed;
        CString message;
        ASSERT_TRUE(KvParseFeed(rss.c_str(), (size_t)rss.GetLength(), "", "w", feed, message))
            << message.c_str() << "\n" << rss.c_str();
        EXPECT_EQ((int)feed.items.size(), count);
    }
}

TEST(FeedSearchTest, ReadersNeedTheirServiceAndReadAnswers) {
    KvSetFeedSettings(KvFeedSettings());
    KvObjectArray links;
    EXPECT_FALSE(SearchGigablastToLinks("tv", &links, ""));
    EXPECT_FALSE(SearchAmazonToLinks("tv", &links, ""));
    ASSERT_TRUE(KvReadWebSearchAnswer("<response><result><url>http://a.example/</url><title>A</title><sum>S</sum>"
                                      "</result><result><url></url></result></response>",
                                      &links, "k"));
    ASSERT_EQ(links.GetSize(), 1);
    EXPECT_EQ(Link(links, 0).m_strDesc, "S.");

    KvFeedSettings s;
    s.bookShop = "https://shop.example";
    s.associateTag = "tag-1";
    KvSetFeedSettings(s);
    links.RemoveAll();
    ASSERT_TRUE(KvReadBookAnswer("<ItemSearchResponse><Items><Item><ASIN>123</ASIN><ItemAttributes><Title>B</Title>"
                                 "<Author>Cy</Author></ItemAttributes></Item></Items></ItemSearchResponse>",
                                 &links, ""));
    EXPECT_EQ(Link(links, 0).m_strUrl, "https://shop.example/exec/obidos/ASIN/123/tag-1");
    EXPECT_EQ(Link(links, 0).m_strShowAs, "https://shop.example/exec/obidos/ASIN/123/");
    EXPECT_EQ(Link(links, 0).m_strDesc, "by Cy");
    EXPECT_FALSE(KvReadBookAnswer("<ItemSearchResponse/>", &links, ""));
    KvSetFeedSettings(KvFeedSettings());
}

TEST(FeedDownloadTest, StatusRedirectAndRelativeLinks) {
    fetchtest::TestOrigin origin([](fetchtest::Conn& c, const std::string& head) {
        std::string body = "<rss><channel><item><link>item</link></item></channel></rss>";
        if (head.starts_with("GET /gone ")) c.Write("HTTP/1.0 404 Not Found\r\n\r\nno");
        else if (head.starts_with("GET /old ")) c.Write("HTTP/1.0 301 Moved\r\nLocation: /feeds/new\r\n\r\n");
        else c.Write("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    });
    KvFetchSettings settings;
    settings.allowInternal = true;  // the origin is on this machine
    KvSetFetchSettings(settings);
    const std::string base = "http://127.0.0.1:" + std::to_string(origin.Port());
    KvObjectArray links;
    CString title, description, copyright, message;
    EXPECT_FALSE(DownloadRssRdfToLinks((base + "/gone").c_str(), &links, "", title, description, copyright, message));
    EXPECT_NE(message.Find("status 404"), -1) << message.c_str();
    ASSERT_TRUE(DownloadRssRdfToLinks((base + "/old").c_str(), &links, "", title, description, copyright, message))
        << message.c_str();
    ASSERT_EQ(links.GetSize(), 1);
    EXPECT_EQ(Link(links, 0).m_strUrl, (base + "/feeds/item").c_str());
}

TEST(ResearchStackTest, TextRoundTrip) {
    KvObjectArray stack;
    auto* tv = new KvResearchStackObj;
    tv->Set("tv", 3, 5);
    auto* radio = new KvResearchStackObj;
    radio->Set("radio", 0, 1);
    stack.Add(tv);
    stack.Add(radio);
    CString text;
    ASSERT_TRUE(ConvertResearchStackToText(&stack, &text));
    EXPECT_EQ(text, "tv\t3\t5\r\nradio\t0\t1\r\n");
    KvObjectArray back;
    CString withBare = text + "bare\r\n";
    ASSERT_TRUE(ConvertTextToResearchStack(&withBare, &back));
    ASSERT_EQ(back.GetSize(), 3);
    EXPECT_EQ(static_cast<KvResearchStackObj*>(back.GetAt(0))->m_nSecond, 5);
    EXPECT_EQ(static_cast<KvResearchStackObj*>(back.GetAt(2))->m_nFirst, 0);
    EXPECT_TRUE(IsExistOnResearchStack(&back, "radio"));
    EXPECT_FALSE(IsExistOnResearchStack(&back, "Radio"));
    EXPECT_FALSE(ConvertResearchStackToText(nullptr, &text));
}
