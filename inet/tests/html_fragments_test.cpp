// HTML fragments, escaping of outside text, search conditions, the paging
// bar and simple links.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include <unistd.h>

#include "base/containers/CsList.h"
#include "base/containers/KvObjectArray.h"
#include "inet/html/KvHtml.h"
#include "inet/html/KvSearchCond.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/web/KvCountry.h"

namespace {

std::string S(const CString& s) { return s.str(); }

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(SearchQueryBuilder, PhraseInheritsTheMinusOfThePreviousTerm) {
    EXPECT_EQ(S(SearchQueryBuilder("t", "Foo -bar \"a b\"")),
              "(t like '%foo%') and (not (t like '%bar%')) and (not (t like '%a b%'))");
}

TEST(SearchQueryBuilder, PlusEndsAnExclusion) {
    EXPECT_EQ(S(SearchQueryBuilder("t", "-a b +c")), "(not (t like '%a%')) and (not (t like '%b%')) and (t like '%c%')");
}

TEST(SearchQueryBuilder, OtherCharactersSplitWordsAndVanish) {
    EXPECT_EQ(S(SearchQueryBuilder("t", "ab\xE9" "cd;x")), "(t like '%ab%') and (t like '%cd%') and (t like '%x%')");
    EXPECT_EQ(S(SearchQueryBuilder("t", "")), "");
    EXPECT_EQ(S(SearchQueryBuilder("t", "!!! ???")), "");
}

TEST(SearchQueryBuilder, QuotesInsidePhrasesAreSqlQuoted) {
    EXPECT_EQ(S(SearchQueryBuilder("t", "\"it's\"")), "(t like '%it''s%')");
    // An unclosed phrase runs to the end.
    EXPECT_EQ(S(SearchQueryBuilder("t", "\"x' or 1=1 --")), "(t like '%x'' or 1=1 --%')");
}

TEST(HtmlText, FixFolderNameCollapsesDashes) {
    EXPECT_EQ(S(FixFolderName("  a b--c ", 0)), "a-b-c");
    EXPECT_EQ(S(FixFolderName("x/y\\z&<>", 0)), "x-y-z-");
    EXPECT_EQ(S(FixFolderName("hello world", 1)), "Hello-World");
}

TEST(HtmlText, EntitiesLeaveTheLastLatin1ByteAlone) {
    CString s("\xA0\xE9\xFF&\"'<");
    HtmlEntities(&s, 0);
    EXPECT_EQ(S(s), "&nbsp;&eacute;\xFF&amp;&quot;'&lt;");
    CString q("\"'");
    HtmlSpecialChars(&q, 1);
    EXPECT_EQ(S(q), "&quot;&#039;");
    CString k("\"'");
    HtmlSpecialChars(&k, 2);
    EXPECT_EQ(S(k), "\"'");
}

TEST(HtmlText, NumbersUrlsAndTags) {
    EXPECT_EQ(S(EngNumberFormat(1234567)), "1,234,567");
    EXPECT_EQ(S(EngNumberFormat(-1000)), "-1,000");
    EXPECT_EQ(S(EngNumberFormat(999)), "999");
    EXPECT_EQ(S(CleanHtml("<b>a</b>\r\nb<br>")), "ab");
    EXPECT_EQ(S(GetTitleFromUrl("http://www.example.com/x")), "www.example.com");
    EXPECT_EQ(S(GetTitleFromUrl("nothing")), "@");
    EXPECT_EQ(S(CleanupUrl2Save(" http://example.com ")), "http://example.com/");
    std::string longUrl = "http://" + std::string(100, 'a');
    EXPECT_EQ(S(UrlFormat2Show(longUrl.c_str(), "|")), std::string(90, 'a') + "|" + std::string(10, 'a'));
}

TEST(HtmlEscape, OutsideTextNeverBecomesMarkupOrPlaceholders) {
    EXPECT_EQ(S(HtmlEscape("<a href='x'>{page_title}&</a>")),
              "&lt;a href=&#039;x&#039;&gt;&#123;page_title&#125;&amp;&lt;/a&gt;");
    EXPECT_EQ(S(HtmlEscapeAttr("a\r\nb")), "a&#13;&#10;b");
    EXPECT_EQ(S(UrlEscapeComponent("a b/c?d=e&f")), "a%20b%2Fc%3Fd%3De%26f");
    EXPECT_EQ(S(UrlEscapePath("/a b/c")), "/a%20b/c");
}

TEST(HtmlEscape, ScriptStringsSurviveEntityAndPercentDecoding) {
    std::string js = S(JsEscape("x');alert(1);//%27\"<"));
    for (char bad : std::string("'\"<>&%;()\\")) {
        if (bad == '\\') continue;
        EXPECT_EQ(js.find(bad), std::string::npos) << bad;
    }
    EXPECT_EQ(js.find("\\x27"), 1u);
}

TEST(HtmlEscape, HrefsFromOutsideKeepOnlyWebSchemes) {
    EXPECT_EQ(S(HtmlSafeHref("javascript:alert(1)")), "#");
    EXPECT_EQ(S(HtmlSafeHref(" JaVa\tScript:alert(1)")), "#");
    EXPECT_EQ(S(HtmlSafeHref("data:text/html,x")), "#");
    EXPECT_EQ(S(HtmlSafeHref("http://a/?x=1&y=\"")), "http://a/?x=1&amp;y=&quot;");
    EXPECT_EQ(S(HtmlSafeHref("/local/page.html")), "/local/page.html");
}

TEST(HtmlFragments, ControlsEscapeTheirValues) {
    EXPECT_EQ(S(HtmlTextBox("n", "\"><script>", 10)),
              "<input class=\"inputbox\" type=\"text\" name=\"n\" value=\"&quot;&gt;&lt;script&gt;\" size=\"10\">");
    EXPECT_EQ(S(HtmlCheckBox("c", 1)), "<input type=\"checkbox\" name=\"c\" value=\"ON\" checked>");
    EXPECT_EQ(S(HtmlFlagChecked(6, 2)), "checked");
    EXPECT_EQ(S(HtmlFlagChecked(4, 2)), "");
    // Template markers and entities come back from the browser as written.
    EXPECT_EQ(S(HtmlEditor("e", "{x} <b>&lt;", 10, 20)),
              "<textarea class=\"inputbox\" name=\"e\" style=\"width:10px; height:20px;\">&#123;x&#125; "
              "&lt;b&gt;&amp;lt;</textarea>");
}

TEST(HtmlFragments, StatusLinksKeepScriptTextInsideTheirStrings) {
    std::string link = S(HtmlLinkLabel("/x", "it's", "X"));
    EXPECT_NE(link.find("window.status='it\\x27s URL: /x'"), std::string::npos) << link;
}

TEST(HtmlFragments, ComboBoxSelectsWithoutCase) {
    CsStrMap map;
    map.AddTail("a", "Alpha");
    map.AddTail("B", "Beta");
    EXPECT_EQ(S(MapToHtmlComboBox(map, "f", "b")),
              "<select size=\"1\" name=\"f\">\r\n<option value=\"a\">Alpha</option>\r\n<option selected "
              "value=\"B\">Beta</option>\r\n</select>\r\n");
}

TEST(HtmlPagePosition, FewPagesShowAllAndNext) {
    EXPECT_EQ(S(HtmlPagePosition("/l?x=1", 10, 10, 1)), "");
    EXPECT_EQ(S(HtmlPagePosition("/l?x=1", 1, 10, 1)), "");
    std::string bar = S(HtmlPagePosition("/l?x=1", 25, 10, 1));
    EXPECT_NE(bar.find("<b>1</b>&nbsp"), std::string::npos);
    EXPECT_NE(bar.find(">2</a>&nbsp;"), std::string::npos);
    EXPECT_NE(bar.find(">3</a>&nbsp;"), std::string::npos);
    EXPECT_NE(bar.find("next.gif"), std::string::npos);
    EXPECT_EQ(bar.find("previous.gif"), std::string::npos);
}

TEST(HtmlPagePosition, ManyPagesJumpBothWays) {
    // 200 pages, page 50: window 48..52, jumps below and above, the last page.
    std::string bar = S(HtmlPagePosition("/l", 2000, 10, 50));
    EXPECT_NE(bar.find("<b>50</b>"), std::string::npos);
    EXPECT_NE(bar.find("p=1\">1</a>.."), std::string::npos);
    EXPECT_EQ(Count(bar.substr(0, bar.find("<b>50</b>")), "</a>.."), 5);  // five jumps below
    EXPECT_NE(bar.find("..<a href=\"/l&p=58\">"), std::string::npos);
    EXPECT_NE(bar.find("..<a href=\"/l&p=200\">200</a>"), std::string::npos);
    EXPECT_NE(bar.find("previous.gif"), std::string::npos);
    // A page beyond the end is treated as the last one.
    std::string last = S(HtmlPagePosition("/l", 30, 10, 9));
    EXPECT_NE(last.find("<b>3</b>"), std::string::npos);
    EXPECT_EQ(last.find("next.gif"), std::string::npos);
}

TEST(HtmlPagePosition, LargestCountsAndPagesEndWithoutOverflow) {
    // The window past the last page and the jumps beyond it would pass the
    // largest int; the bar must still end at the last page.
    std::string bar = S(HtmlPagePosition("/l", INT_MAX, 1, INT_MAX));
    EXPECT_NE(bar.find("<b>2147483647</b>"), std::string::npos);
    EXPECT_EQ(bar.find("next.gif"), std::string::npos);
    EXPECT_LT(bar.size(), 4096u);
    std::string low = S(HtmlPagePosition("/l", INT_MAX, 1, INT_MIN));
    EXPECT_NE(low.find("<b>1</b>"), std::string::npos);
    EXPECT_NE(low.find("p=2147483647\">2147483647</a>"), std::string::npos);
}

TEST(HtmlSearchPageTitle, QueryAndMessageAreShownAsText) {
    std::string t = S(HtmlSearchPageTitle("<i>{msg}</i>", "m&m"));
    EXPECT_NE(t.find("&lt;i&gt;&#123;msg&#125;&lt;/i&gt;"), std::string::npos) << t;
    EXPECT_NE(t.find("m&amp;m"), std::string::npos);
    EXPECT_EQ(t.find("<i>"), std::string::npos);
}

TEST(Country, TableAndSelection) {
    EXPECT_STREQ(GetCountryName(0), "Select Country");
    EXPECT_STREQ(GetCountryName(1), "Afghanistan");
    EXPECT_STREQ(GetCountryName(184), "Zimbabwe");
    EXPECT_STREQ(GetCountryName(185), "");
    std::string select = S(HtmlCountrySelect(3));
    EXPECT_EQ(Count(select, "<option "), KV_COUNTRY_COUNT);
    EXPECT_NE(select.find("<option selected value=\"3\">Algeria</option>\r\n"), std::string::npos);
}

TEST(SimpleLinks, TextFormRoundTripsAndStaysOneLinePerItem) {
    KvObjectArray links;
    links.Add(new KvSimpleLinkItem("http://a/", "A\ttitle", "line\r\nbreak"));
    links.Add(new KvSimpleLinkItem("http://b/", "B", ""));
    CString text;
    ASSERT_TRUE(ConvertSimpleLinkToText(&links, &text));
    EXPECT_EQ(S(text), "http://a/\tA title\tline  break\r\nhttp://b/\tB\t\r\n");
    KvObjectArray back;
    ASSERT_TRUE(ConvertTextToSimpleLink(text, &back));
    ASSERT_EQ(back.GetSize(), 2);
    auto* first = static_cast<KvSimpleLinkItem*>(back.GetAt(0));
    EXPECT_EQ(S(first->m_strTitle), "A title");
    EXPECT_EQ(S(first->m_strDescription), "line  break");
    EXPECT_FALSE(ConvertTextToSimpleLink("", &back));
}

TEST(SimpleLinks, CombineKeepsTheLongerTexts) {
    KvObjectArray target, source;
    target.Add(new KvSimpleLinkItem("http://a/", "A", "long description"));
    source.Add(new KvSimpleLinkItem("http://a/", "A longer", "short"));
    source.Add(new KvSimpleLinkItem("http://A/", "other case", ""));
    ASSERT_TRUE(CombineSimpleLinks(&target, &source));
    ASSERT_EQ(target.GetSize(), 2);
    auto* a = static_cast<KvSimpleLinkItem*>(target.GetAt(0));
    EXPECT_EQ(S(a->m_strTitle), "A longer");
    EXPECT_EQ(S(a->m_strDescription), "long description");
}

TEST(SimpleLinks, CombineMergesRepeatsOfANewUrlAndStaysLinear) {
    KvObjectArray target, source;
    source.Add(new KvSimpleLinkItem("http://n/", "N", ""));
    source.Add(new KvSimpleLinkItem("http://n/", "N longer", "d"));
    ASSERT_TRUE(CombineSimpleLinks(&target, &source));
    ASSERT_EQ(target.GetSize(), 1);
    EXPECT_EQ(S(static_cast<KvSimpleLinkItem*>(target.GetAt(0))->m_strTitle), "N longer");

    // Two long feeds with no URL in common: a pairwise search would make
    // billions of comparisons, past the test's time-out (bench/text_bench
    // times it).
    KvObjectArray big, more;
    const int n = 50000;
    for (int i = 0; i < n; ++i) {
        big.Add(new KvSimpleLinkItem(("http://example.com/a/" + std::to_string(i)).c_str(), "t", ""));
        more.Add(new KvSimpleLinkItem(("http://example.com/b/" + std::to_string(i)).c_str(), "t", ""));
    }
    ASSERT_TRUE(CombineSimpleLinks(&big, &more));
    EXPECT_EQ(big.GetSize(), 2 * n);
}

TEST(SimpleLinks, HtmlFormEscapesFeedText) {
    KvObjectArray links;
    links.Add(new KvSimpleLinkItem("javascript:alert(1)", "<script>x</script>", "<img src=x onerror=y>"));
    links.Add(new KvSimpleLinkItem("/phpmod/logout.php", "relative", ""));
    links.Add(new KvSimpleLinkItem("ftp://files.example/", "ftp", ""));
    CString html;
    ASSERT_TRUE(ConvertSimpleLinkToHtml(&links, &html));
    std::string h = S(html);
    EXPECT_EQ(h.find("<script>"), std::string::npos);
    EXPECT_EQ(h.find("<img src=x"), std::string::npos);
    // Only http and https addresses become links.
    EXPECT_EQ(h.find("href=\""), std::string::npos);
    EXPECT_NE(h.find("name=\"item_1\" value=\"1\""), std::string::npos);
}

TEST(HtmlFragments, EveryImageTheFragmentsNameIsShipped) {
    KvObjectArray links;
    links.Add(new KvSimpleLinkItem("http://a/", "A", ""));
    CString list;
    ConvertSimpleLinkToHtml(&links, &list);
    const std::string html = S(HtmlPagePosition("/l", 100, 10, 5)) + S(list) + S(TinySpace()) +
                             S(HtmlImageSpace(1, 1));
    int found = 0;
    for (size_t at = html.find("src=\""); at != std::string::npos; at = html.find("src=\"", at + 1)) {
        std::string src = html.substr(at + 5, html.find('"', at + 5) - at - 5);
        size_t slash = src.rfind('/');
        std::string file = std::string(KV_SOURCE_DIR "/data/Images/") + src.substr(slash + 1);
        EXPECT_EQ(access(file.c_str(), R_OK), 0) << src;
        ++found;
    }
    EXPECT_GE(found, 5);
}

}  // namespace
