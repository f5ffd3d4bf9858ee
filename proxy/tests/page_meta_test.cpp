// Reading title, description and keywords from the head of a page.
#include <gtest/gtest.h>

#include <string>

#include "proxy/repo/KvPageMeta.h"
#include "proxy/repo/KvRepoRecords.h"

namespace {

KvPageMeta Scan(const std::string& html) {
    KvPageMeta meta;
    ScanPageMeta(html.data(), html.size(), meta);
    return meta;
}

TEST(PageMetaTest, ReadsHeadInEitherAttributeOrderAndQuoteStyle) {
    KvPageMeta meta = Scan(
        "<HTML><head><Title lang=en> A page\r\n</title>"
        "<meta content=\"First, second\" NAME=\"Description\">"
        "<meta name='keywords' content='a, b'>"
        "<meta name=author content=x></head>");
    EXPECT_EQ(meta.title.str(), "A page");
    EXPECT_EQ(meta.description.str(), "First, second");
    EXPECT_EQ(meta.keywords.str(), "a, b");
    EXPECT_TRUE(meta.hasTitle && meta.hasDescription && meta.hasKeywords);
}

TEST(PageMetaTest, StopsAtBodyAndSkipsCommentsAndStrayBrackets) {
    KvPageMeta meta = Scan(
        "<!-- <title>commented</title> --><p>1 < 2</p><titles>no</titles>"
        "<title>real</title><body><meta name=description content=late>");
    EXPECT_EQ(meta.title.str(), "real");
    EXPECT_FALSE(meta.hasDescription);
}

TEST(PageMetaTest, TruncatedAndHostileInputStaysInBounds) {
    for (const char* text : {"<", "<title", "<title>", "<meta name=\"description\" content=\"abc", "<!--",
                             "<meta name=description content", "<meta =\"=\" name= content=>"}) {
        std::string html(text);
        KvPageMeta meta;
        // Not terminated: the scanner must stay within the length.
        std::string copy = html + "<title>beyond</title>";
        ScanPageMeta(copy.data(), html.size(), meta);
        EXPECT_NE(meta.title.str(), "beyond") << text;
    }
    KvPageMeta meta = Scan("<meta name=\"description\" content=\"abc");
    EXPECT_EQ(meta.description.str(), "abc");

    std::string longTitle = "<title>" + std::string(10000, 'x') + "</title>";
    EXPECT_EQ(Scan(longTitle).title.GetLength(), KV_PAGEMETA_MAX_TEXT);

    // Only the first 64 KiB of a page are read.
    std::string late = std::string(KV_PAGEMETA_MAX_SCAN, ' ') + "<title>late</title>";
    EXPECT_FALSE(Scan(late).hasTitle);
}

TEST(PageMetaTest, GrabIntoLinkKeepsFieldsThePageDoesNotGive) {
    KvLinkItem item("http://h/", "old title", "old description");
    ASSERT_TRUE(GrabMetaDataFromString("<title>New</title><meta content=\"k1\" name=\"keywords\">", &item));
    EXPECT_EQ(item.m_strTitle.str(), "New");
    EXPECT_EQ(item.m_strDesc.str(), "old description");
    EXPECT_EQ(item.m_strKeywords.str(), "k1");
    EXPECT_FALSE(GrabMetaDataFromString(nullptr, &item));
}

}  // namespace
