// The bookmark file reader and writer and the OPML reader: the shapes real
// files come in, files that are neither, and the bounds.
#include <gtest/gtest.h>

#include <string>

#include "proxy/feeds/KvBookmarkFile.h"
#include "proxy/feeds/KvOpmlReader.h"

namespace {

bool Read(const std::string& text, KvBookmarkFile& out, int maxDepth = 64, int maxEntries = 1000) {
    CString error;
    return KvReadBookmarkFile(text.data(), text.size(), maxDepth, maxEntries, out, error);
}

const KvBookmark& Child(const KvBookmark& b, size_t i) { return *b.children.at(i); }

TEST(BookmarkFile, ReadsTheLooseShapeBrowsersWrite) {
    const std::string file =
        "\xEF\xBB\xBF<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<!-- <DT><A HREF=\"http://comment.example/\">no</A> -->\n"
        "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n<TITLE>Bookmarks</TITLE>\n"
        "<H1>Bookmarks</H1>\n<DL><p>\n"
        "    <DT><H3 ADD_DATE=\"1600000000\" PERSONAL_TOOLBAR_FOLDER=\"true\">Bar &amp; more</H3>\n"
        "    <DD>Folder text\n"
        "    <DL><p>\n"
        "        <DT><a href=\"https://a.example/?x=1&amp;y=2\" add_date=1600000001 TAGS=\"News,Tech\">A &lt;b&gt;"
        "</a>\n"
        "        <DD>About &#39;a&#x27; &#8364;\n"
        "        <dt><h3>Inner</h3>\n"
        "        <dl><p>\n"
        "            <DT><A HREF='javascript:alert(1)'>Script</A>\n"
        "        </dl><p>\n"
        "        <DT><A HREF=\"http://after.example/\">After <i>inner</i>\n"  // markup dropped
        "    </DL><p>\n"
        "    <DT><A HREF=\"http://top.example/\" ICON=\"data:image/png;base64,AAA>\">Top</A>\n"
        "</DL><p>\n";
    KvBookmarkFile out;
    ASSERT_TRUE(Read(file, out));
    EXPECT_EQ(out.entries, 6);
    ASSERT_EQ(out.root.children.size(), 2u);
    const KvBookmark& bar = Child(out.root, 0);
    EXPECT_TRUE(bar.folder);
    EXPECT_STREQ(bar.title, "Bar & more");
    EXPECT_STREQ(bar.desc, "Folder text");
    EXPECT_EQ(bar.addDate, 1600000000);
    ASSERT_EQ(bar.children.size(), 3u);
    const KvBookmark& a = Child(bar, 0);
    EXPECT_STREQ(a.url, "https://a.example/?x=1&y=2");
    EXPECT_STREQ(a.title, "A <b>");  // escaped markup is text
    EXPECT_STREQ(a.tags, "News,Tech");
    EXPECT_EQ(a.addDate, 1600000001);
    EXPECT_STREQ(a.desc, "About 'a' \xE2\x82\xAC");
    EXPECT_STREQ(Child(Child(bar, 1), 0).url, "javascript:alert(1)");
    // An unclosed link ends at the next entry; it stays in its folder.
    EXPECT_STREQ(Child(bar, 2).title, "After inner");
    EXPECT_STREQ(Child(out.root, 1).url, "http://top.example/");
    EXPECT_STREQ(Child(out.root, 1).title, "Top");
}

TEST(BookmarkFile, RefusesOtherFilesAndKeepsToItsBounds) {
    KvBookmarkFile out;
    CString error;
    for (const std::string& text : {std::string(), std::string("<html><body><dl><dt><a href=\"http://x/\">x</a>"),
                                    std::string("hello <!DOCTYPE NETSCAPE-Bookmark-file-1>")}) {
        EXPECT_FALSE(KvReadBookmarkFile(text.data(), text.size(), 64, 100, out, error)) << text;
        EXPECT_NE(error.Find("not a bookmark file"), -1);
    }
    // Ten nested folders, a link in each: three levels kept.
    std::string deep = "<!doctype netscape-bookmark-file-1><DL>";
    for (int i = 0; i < 10; ++i) deep += "<DT><H3>f" + std::to_string(i) + "</H3><DL><DT><A HREF=\"http://l/\">l</A>";
    for (int i = 0; i < 10; ++i) deep += "</DL>";
    deep += "<DT><A HREF=\"http://last/\">last</A></DL>";
    ASSERT_TRUE(Read(deep, out, 3));
    EXPECT_EQ(out.entries, 3 + 3 + 1);
    EXPECT_EQ(out.skipped, 7 + 7);
    // Each folder holds its link, then the next folder.
    const KvBookmark& third = Child(Child(Child(out.root, 0), 1), 1);
    EXPECT_STREQ(third.title, "f2");
    ASSERT_EQ(third.children.size(), 1u);  // its link; the fourth folder was skipped
    EXPECT_FALSE(Child(third, 0).folder);
    EXPECT_STREQ(Child(out.root, 1).url, "http://last/");  // the closing lists were counted right
    // The entry bound.
    ASSERT_TRUE(Read(deep, out, 64, 4));
    EXPECT_EQ(out.entries, 4);
    EXPECT_EQ(out.skipped, 17);
}

TEST(BookmarkFile, WriterOutputReadsBackAsTheSameTree) {
    KvBookmarkWriter w("Mine");
    w.AddLink("http://x.example/?a=1&b=\"2\"", "<script>alert(1)</script> {page_content}", 1500000000, "a, b",
              "line\r\nbreak");
    w.OpenFolder("F <1>", 0, "d");
    w.OpenFolder("G", 0, "");
    w.AddLink("https://g.example/", "g", 0, "", "");
    const std::string file = w.Finish().str();  // closes G and F
    EXPECT_EQ(file.find("<script>"), std::string::npos);
    EXPECT_EQ(file.find("{page_content}"), std::string::npos);
    KvBookmarkFile out;
    ASSERT_TRUE(Read(file, out));
    ASSERT_EQ(out.root.children.size(), 2u);
    const KvBookmark& link = Child(out.root, 0);
    EXPECT_STREQ(link.url, "http://x.example/?a=1&b=\"2\"");
    EXPECT_STREQ(link.title, "<script>alert(1)</script> {page_content}");
    EXPECT_STREQ(link.tags, "a,b");
    EXPECT_STREQ(link.desc, "line break");
    EXPECT_EQ(link.addDate, 1500000000);
    const KvBookmark& f = Child(out.root, 1);
    EXPECT_STREQ(f.title, "F <1>");
    EXPECT_STREQ(f.desc, "d");
    EXPECT_STREQ(Child(Child(f, 0), 0).url, "https://g.example/");
}

TEST(OpmlReader, ReadsNestedOutlinesAndRefusesOtherFiles) {
    const std::string opml =
        "<?xml version=\"1.0\"?><opml version=\"2.0\"><head><title>t</title></head><body>"
        "<outline text=\"Tech\"><outline text=\"One\" title=\"One feed\" type=\"rss\" xmlUrl=\"http://one/rss\" "
        "htmlUrl=\"http://one/\"/><Outline text=\"Deep\"><outline text=\"d\" xmlUrl=\"http://d/\"/></Outline>"
        "</outline><outline text=\"Ftp\" xmlUrl=\"ftp://x/feed\" description=\"a &amp; b\"/></body></opml>";
    KvOpmlFile out;
    CString error;
    ASSERT_TRUE(KvReadOpml(opml.data(), opml.size(), 64, 100, out, error));
    ASSERT_EQ(out.root.children.size(), 2u);
    const KvOpmlOutline& tech = *out.root.children[0];
    EXPECT_TRUE(tech.xmlUrl.IsEmpty());
    ASSERT_EQ(tech.children.size(), 2u);
    EXPECT_STREQ(tech.children[0]->title, "One feed");
    EXPECT_STREQ(tech.children[0]->htmlUrl, "http://one/");
    EXPECT_STREQ(tech.children[1]->children[0]->xmlUrl, "http://d/");
    EXPECT_STREQ(out.root.children[1]->desc, "a & b");
    // Depth 2 keeps Tech and its children but not what lies in Deep.
    ASSERT_TRUE(KvReadOpml(opml.data(), opml.size(), 2, 100, out, error));
    EXPECT_EQ(out.skipped, 1);
    for (const std::string& bad : {std::string("<opml><head/></opml>"), std::string("<html><body/></html>"),
                                   std::string("<opml><body><outline></body>")}) {
        EXPECT_FALSE(KvReadOpml(bad.data(), bad.size(), 64, 100, out, error)) << bad;
        EXPECT_NE(error.Find("not an OPML file"), -1);
    }
}

}  // namespace
