// The local web site repository on real files: folders with index pages,
// pages and links.
#include <gtest/gtest.h>

#include <string>

#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "inet/html/KvSimpleLink.h"
#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/tests/repo_test_util.h"

namespace {

using repotest::Opened;
using repotest::TempDir;

class RepoLocalTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_store.opened); }
    int Count(const char* sql) { return m_store.db.ExecScalar(sql, -1); }

    TempDir m_dir;
    Opened<KvRepoLocal> m_store{m_dir.File("docs.cwd")};
    KvRepoLocal& m_repo = m_store.repo;
};

TEST_F(RepoLocalTest, EveryFolderHasItsIndexPage) {
    EXPECT_EQ(Count("select count(*) from web_folder"), 1);
    EXPECT_EQ(Count("select count(*) from web_page"), 1);
    KvWebPage index;
    ASSERT_TRUE(m_repo.GetPage(0, "", &index));
    EXPECT_EQ(index.m_nID, 1);
    EXPECT_EQ(index.m_strTitle.str(), "Top");

    int c = m_repo.AddNewFolder("a/b/c");
    ASSERT_GT(c, 0);
    EXPECT_EQ(Count("select count(*) from web_page where page_name='index.html'"), 4);
    ASSERT_TRUE(m_repo.GetPage(c, "", &index));
    EXPECT_GT(index.m_nID, 1);
    EXPECT_EQ(index.m_strTitle.str(), "c");
    EXPECT_NE(index.m_strContent.Find("{page_list}"), -1);

    KvWebFolder folder("guide", "The Guide", "");
    ASSERT_GT(m_repo.AddNewFolder(c, &folder), 0);
    ASSERT_TRUE(m_repo.GetPage(folder.m_nID, "index.html", &index));
    EXPECT_EQ(index.m_strTitle.str(), "The Guide");

    // The bulk path too; a folder whose name is taken is skipped whole.
    KvObjectArray batch;
    batch.Add(new KvWebFolder("x", "X", ""));
    batch.Add(new KvWebFolder("guide", "Taken", ""));
    ASSERT_TRUE(m_repo.AddNewFolders(c, &batch));
    EXPECT_EQ(Count("select count(*) from web_page where page_name='index.html'"), 6);
    EXPECT_GT(m_repo.FindPageId(m_repo.FindFolderId("/a/b/c/x"), "index.html"), 1);
}

TEST_F(RepoLocalTest, PagesAreAddedListedMovedAndDeletedWithTheirFolder) {
    int a = m_repo.AddNewFolder("/a"), b = m_repo.AddNewFolder("/a/b");
    for (int i = 0; i < 3; i++) {
        KvWebPage page(("p" + std::to_string(i) + ".html").c_str(), ("Page " + std::to_string(i)).c_str(), "");
        page.m_nOrder = 10 - i;
        ASSERT_TRUE(m_repo.AddNewPage(a, &page));
    }
    EXPECT_GT(m_repo.FindPageId(a, "p1.html"), 1);
    EXPECT_LT(m_repo.FindPageId(a, "missing.html"), 1);

    KvObjectArray pages;
    ASSERT_TRUE(m_repo.PopulatePage(a, "page_name like 'p%'", 2, 0, &pages));
    ASSERT_EQ(pages.GetSize(), 2);
    EXPECT_EQ(static_cast<KvWebPage*>(pages[0])->m_strName.str(), "p2.html");
    EXPECT_EQ(m_repo.PopulatePageCount(a), 4);
    EXPECT_EQ(m_repo.PopulatePageCount(a, "  "), 4);
    EXPECT_EQ(m_repo.QueryPageCount(""), 6);
    CUIntArray ids;
    ASSERT_TRUE(m_repo.QueryPageIds("page_name='index.html'", &ids));
    EXPECT_EQ(ids.GetSize(), 3);

    int p0 = m_repo.FindPageId(a, "p0.html");
    EXPECT_FALSE(m_repo.MovePage(p0, 999));
    ASSERT_TRUE(m_repo.MovePage(p0, b));
    KvWebPage page;
    ASSERT_TRUE(m_repo.GetPage(p0, &page));
    page.m_strContent = "<p>moved</p>";
    ASSERT_TRUE(m_repo.UpdatePage(&page));
    EXPECT_EQ(m_repo.GetPageContent(p0).str(), "<p>moved</p>");

    // Links stay when their folders go; the folders' pages do not.
    KvLinkItem link("http://x.example/", "X", "");
    ASSERT_TRUE(m_repo.AddNewLink(b, &link));
    EXPECT_FALSE(m_repo.MoveFolder(a, b));
    ASSERT_TRUE(m_repo.DeleteFolder(a));
    EXPECT_EQ(Count("select count(*) from web_page"), 1);
    EXPECT_EQ(Count("select count(*) from link_member"), 0);
    EXPECT_EQ(Count("select count(*) from link_item"), 1);
}

TEST_F(RepoLocalTest, LinkListsWithKnownUrlsAddOnlyMemberships) {
    int f = m_repo.AddNewFolder(0, "links");
    KvLinkItem known("http://known.example/", "Known", "");
    ASSERT_TRUE(m_repo.AddNewLink(&known));
    KvObjectArray list;
    list.Add(new KvSimpleLinkItem("http://known.example/", "Known", ""));
    list.Add(new KvSimpleLinkItem("http://new.example/", "New", ""));
    ASSERT_TRUE(m_repo.AddNewSimpleLinks(f, &list));
    ASSERT_TRUE(m_repo.AddNewSimpleLinks(f, &list));
    EXPECT_EQ(Count("select count(*) from link_item"), 2);
    EXPECT_EQ(m_repo.PopulateLinkCount(f), 2);
    EXPECT_EQ(m_repo.GetLinkCountainerCount(known.m_nID), 1);
    ASSERT_TRUE(m_repo.DeleteLink(known.m_nID));
    EXPECT_EQ(m_repo.PopulateLinkCount(f), 1);
}

}  // namespace
