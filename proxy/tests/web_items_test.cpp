// The link lists of the site engine: everything a link brings is escaped,
// only http and https addresses become links, and the management links
// are for administrators.
#include <gtest/gtest.h>

#include <string>

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

class ItemSite : public KvWebObjectEx {
public:
    void SetLevel(int level) { m_user.m_nLevel = level; }
    bool HasLinkModule() const override { return true; }
};

KvLinkItem* MakeLink(int id, const char* url, const char* title, const char* note = "") {
    auto* link = new KvLinkItem(url, title, "desc <b>{hp_name}</b>");
    link->m_nID = id;
    link->m_strNote = note;
    return link;
}

bool Has(const CString& text, const char* piece) { return text.Find(piece) >= 0; }

}  // namespace

TEST(WebItemsTest, OnlyWebAddressesAreLinkedAndEverythingIsEscaped) {
    ItemSite site;
    KvWebFolder folder;
    folder.m_nID = 7;
    KvObjectArray links;
    links.Add(MakeLink(1, "http://example.org/a?b=1&c=2", "Good <i>{page_title}</i>", "(NULL)"));
    links.Add(MakeLink(2, "javascript:alert(1)", "Script", "hot"));
    links.Add(MakeLink(3, "data:text/html,<script>x</script>", "Data"));
    links.Add(MakeLink(4, "HTTPS://example.org/", ""));
    const CString html = site.RenderItemArray(&folder, links);

    EXPECT_TRUE(Has(html, "<div id=\"item-list\"><dl>\r\n<dt><input type=\"checkbox\" name=\"item_1\" value=\"1\">"));
    EXPECT_TRUE(Has(html, "href=\"http://example.org/a?b=1&amp;c=2\" target=\"_blank\""));
    EXPECT_TRUE(Has(html, "href=\"HTTPS://example.org/\""));
    EXPECT_FALSE(Has(html, "href=\"javascript:"));
    EXPECT_FALSE(Has(html, "href=\"data:"));
    EXPECT_FALSE(Has(html, "<script>"));
    EXPECT_TRUE(Has(html, "Good &lt;i&gt;&#123;page_title&#125;&lt;/i&gt;"));
    EXPECT_TRUE(Has(html, "desc &lt;b&gt;&#123;hp_name&#125;&lt;/b&gt;"));
    EXPECT_TRUE(Has(html, "<span class=\"item-attr\">[hot]</span>"));
    EXPECT_FALSE(Has(html, "(NULL)"));
    EXPECT_FALSE(Has(html, "EDIT"));
    EXPECT_FALSE(Has(html, "RANK:"));
}

TEST(WebItemsTest, AdministratorsSeeManagementLinksAndStates) {
    ItemSite site;
    site.SetLevel(9);
    KvWebFolder folder;
    folder.m_nID = 7;
    KvLinkItem* link = MakeLink(3, "http://example.org/", "T");
    link->m_nFlags = 3;
    link->m_bGreat = 1;
    const CString html = site.RenderOneItem(1, &folder, link);
    delete link;
    EXPECT_TRUE(Has(html, "<i><b>T</b></i>"));
    EXPECT_TRUE(Has(html, "&nbsp;<img src=\"/images/great.gif\">"));
    EXPECT_TRUE(Has(html, "/phpmod/link.php?op=edit&amp;cat=7&amp;id=3"));
    EXPECT_TRUE(Has(html, "/phpmod/link.php?op=owner&amp;cat=7&amp;id=3"));
    EXPECT_TRUE(Has(html, "SHOW ACTIVE GREAT. RANK: 40. HITS: 0. URL: http://example.org/</span>"));
}
