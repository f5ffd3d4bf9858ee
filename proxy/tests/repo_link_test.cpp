// The link directory repository (and with it the folder tree, links and
// memberships it shares with the other repositories) on real files.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/Collections.h"
#include "inet/html/KvSearchCond.h"
#include "inet/html/KvSimpleLink.h"
#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/tests/repo_test_util.h"

namespace {

using repotest::Opened;
using repotest::TempDir;

class RepoLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_store.opened); }
    int Count(const char* sql) { return m_store.db.ExecScalar(sql, -1); }
    KvLinkItem* Link(const char* url, const char* title, int rank = 40) {
        auto* item = new KvLinkItem(url, title, "");
        item->m_nRank = rank;
        return item;
    }
    std::vector<std::string> Titles(const KvObjectArray& items) {
        std::vector<std::string> out;
        for (int i = 0; i < items.GetSize(); i++) out.push_back(static_cast<KvLinkItem*>(items[i])->m_strTitle.str());
        return out;
    }

    TempDir m_dir;
    Opened<KvRepoLink> m_store{m_dir.File("links.cld")};
    KvRepoLink& m_repo = m_store.repo;
};

TEST_F(RepoLinkTest, NewFileHoldsTheRootAndPathsFindOrCreateFolders) {
    KvWebFolder root;
    ASSERT_TRUE(m_repo.GetFolder(0, &root));
    EXPECT_EQ(root.m_nParent, -1);
    EXPECT_EQ(root.m_strName.str(), "Top");
    EXPECT_EQ(root.m_strTitle.str(), "Top");
    EXPECT_EQ(Count("select count(*) from web_folder"), 1);

    int b = m_repo.AddNewFolder("/A/B");
    ASSERT_GT(b, 0);
    EXPECT_EQ(m_repo.AddNewFolder("/a/b/"), b);  // names compare without case
    EXPECT_EQ(Count("select count(*) from web_folder"), 3);
    EXPECT_EQ(m_repo.FindFolderId("/A/B"), b);
    EXPECT_EQ(m_repo.FindFolderParentId(b), m_repo.FindFolderId("/A"));
    CString path;
    ASSERT_TRUE(m_repo.GetFolderPath(b, path));
    EXPECT_EQ(path.str(), "/A/B/");

    // "/" and "" look for a child "@" of the root.
    EXPECT_EQ(m_repo.FindFolderId("/"), -1);
    EXPECT_EQ(m_repo.FindFolderId(""), -1);
    int at = m_repo.AddNewFolder(0, "@");
    EXPECT_EQ(m_repo.FindFolderId("/"), at);
}

TEST_F(RepoLinkTest, OneLinkInTwoFoldersGoesWithItsLastMembership) {
    int a = m_repo.AddNewFolder(0, "A"), b = m_repo.AddNewFolder(0, "B");
    ASSERT_TRUE(m_repo.AddNewItem(a, "http://x.example/", "X", "x"));
    ASSERT_TRUE(m_repo.AddNewItem(b, "HTTP://X.example/", "X again", "x"));
    int id = m_repo.FindItemId("http://x.example/");
    EXPECT_EQ(Count("select count(*) from link_item"), 1);
    EXPECT_EQ(m_repo.GetCountainerCount(id), 2);
    EXPECT_TRUE(m_repo.AddNewMember(a, id));  // already there: fine
    EXPECT_EQ(m_repo.GetCountainerCount(id), 2);

    ASSERT_TRUE(m_repo.DeleteItemMember(a, id));
    EXPECT_EQ(m_repo.FindItemId("http://x.example/"), id);
    // A folder that never held it cannot take its last membership.
    EXPECT_TRUE(m_repo.DeleteItemMember(a, id));
    EXPECT_EQ(m_repo.GetCountainerCount(id), 1);
    ASSERT_TRUE(m_repo.DeleteItemMember(b, id));
    EXPECT_EQ(m_repo.FindItemId("http://x.example/"), 0);
    EXPECT_EQ(Count("select count(*) from link_member"), 0);
}

TEST_F(RepoLinkTest, ListsOrderPageAndFilter) {
    int f = m_repo.AddNewFolder(0, "F");
    KvObjectArray batch;
    batch.Add(Link("http://b.example/", "Beta"));
    batch.Add(Link("http://a.example/", "Alpha"));
    batch.Add(Link("http://c.example/", "Gamma", 90));
    batch.Add(Link("http://d.example/", "Delta", 10));
    ASSERT_TRUE(m_repo.AddNewItems(f, &batch));

    KvObjectArray items;
    ASSERT_TRUE(m_repo.PopulateItem(f, &items));
    EXPECT_EQ(Titles(items), (std::vector<std::string>{"Gamma", "Alpha", "Beta", "Delta"}));
    EXPECT_EQ(static_cast<KvLinkItem*>(items[0])->m_nFolder, f);

    ASSERT_TRUE(m_repo.PopulateItem(f, "item_rank < 50", 2, 1, &items));
    EXPECT_EQ(Titles(items), (std::vector<std::string>{"Beta", "Delta"}));
    EXPECT_EQ(m_repo.PopulateItemCount(f, "item_rank < 50"), 3);
    // A query of punctuation only builds no condition: no filter for lists.
    CString none = SearchQueryBuilder("item_title", "?!");
    EXPECT_EQ(m_repo.PopulateItemCount(f, none), 4);
    ASSERT_TRUE(m_repo.QueryItem(none, 10, 3, &items));
    EXPECT_EQ(Titles(items), (std::vector<std::string>{"Delta"}));
    EXPECT_EQ(m_repo.QueryItemCount(SearchQueryBuilder("item_title", "ta")), 2);
    CUIntArray ids;
    ASSERT_TRUE(m_repo.QueryItemIds("item_rank >= 40", &ids));
    EXPECT_EQ(ids.GetSize(), 3);

    // A folder without links lists nothing and counts 0.
    int empty = m_repo.AddNewFolder(0, "Empty");
    ASSERT_TRUE(m_repo.PopulateItem(empty, "item_rank > 0", 10, 0, &items));
    EXPECT_TRUE(items.IsEmpty());
    EXPECT_EQ(m_repo.PopulateItemCount(empty, "item_rank > 0"), 0);

    KvGenBuffer html;
    ASSERT_TRUE(m_repo.GenerateLinks(empty, &html, nullptr));
    EXPECT_EQ(html.GetCount(), 0u);
    ASSERT_TRUE(m_repo.GenerateLinks("/F", &html, nullptr));
    EXPECT_NE(std::string(html.GetData(), html.GetCount()).find("<a href=\"http://c.example/\">Gamma</a>"),
              std::string::npos);
}

TEST_F(RepoLinkTest, BulkInsertsReuseStoredLinksAndAdvanceTheCounter) {
    int f = m_repo.AddNewFolder(0, "F"), g = m_repo.AddNewFolder(0, "G");
    ASSERT_TRUE(m_repo.AddNewItem(f, "http://known.example/", "Known", ""));
    int known = m_repo.FindItemId("http://known.example/");

    KvObjectArray batch;
    batch.Add(Link("http://known.example/", "Known"));
    batch.Add(Link("http://new.example/", "New"));
    batch.Add(Link("http://new.example/", "New twice"));
    ASSERT_TRUE(m_repo.AddNewItems(g, &batch));
    EXPECT_EQ(Count("select count(*) from link_item"), 2);
    EXPECT_EQ(m_repo.PopulateItemCount(g), 2);
    EXPECT_EQ(static_cast<KvLinkItem*>(batch[0])->m_nID, known);

    KvObjectArray simple;
    simple.Add(new KvSimpleLinkItem("http://new.example/", "New", ""));
    simple.Add(new KvSimpleLinkItem("http://other.example/", "Other", "d"));
    ASSERT_TRUE(m_repo.AddNewSimpleItems(f, &simple));
    EXPECT_EQ(m_repo.PopulateItemCount(f), 3);

    // Single inserts continue after the ids the batches took.
    KvLinkItem last("http://last.example/", "Last", "");
    ASSERT_TRUE(m_repo.AddNewItem(&last));
    EXPECT_EQ(last.m_nID, Count("select max(item_id) from link_item"));
    EXPECT_EQ(Count("select count(distinct item_id) from link_item"), 4);
}

TEST_F(RepoLinkTest, DeletingAFolderTakesItsTreeAndMembershipsButNotTheLinks) {
    int a = m_repo.AddNewFolder("/A/B/C");
    int top = m_repo.FindFolderId("/A");
    ASSERT_TRUE(m_repo.AddNewItem(a, "http://deep.example/", "Deep", ""));
    ASSERT_TRUE(m_repo.AddNewItem(top, "http://top.example/", "Top", ""));
    EXPECT_FALSE(m_repo.DeleteFolder(0));
    ASSERT_TRUE(m_repo.DeleteFolder(top));
    EXPECT_EQ(Count("select count(*) from web_folder"), 1);
    EXPECT_EQ(Count("select count(*) from link_member"), 0);
    EXPECT_EQ(Count("select count(*) from link_item"), 2);
}

TEST_F(RepoLinkTest, FoldersNeverMoveOntoThemselvesOrBelowThemselves) {
    int a = m_repo.AddNewFolder("/A");
    int c = m_repo.AddNewFolder("/A/B/C");
    int other = m_repo.AddNewFolder("/Other");
    EXPECT_FALSE(m_repo.MoveFolder(a, a));
    EXPECT_FALSE(m_repo.MoveFolder(a, c));
    EXPECT_FALSE(m_repo.MoveFolder(a, 999));  // no such parent
    EXPECT_FALSE(m_repo.MoveFolder(0, c));
    KvWebFolder root;
    ASSERT_TRUE(m_repo.GetFolder(0, &root));
    root.m_nParent = c;
    EXPECT_FALSE(m_repo.UpdateFolder(&root));
    KvWebFolder folder;
    ASSERT_TRUE(m_repo.GetFolder(a, &folder));
    folder.m_nParent = c;
    EXPECT_FALSE(m_repo.UpdateFolder(&folder));
    EXPECT_EQ(m_repo.FindFolderParentId(a), 0);

    ASSERT_TRUE(m_repo.MoveFolder(a, other));
    EXPECT_EQ(m_repo.FindFolderId("/Other/A/B/C"), c);
    folder.m_nParent = 0;
    folder.m_strTitle = "Renamed";
    ASSERT_TRUE(m_repo.UpdateFolder(&folder));
    EXPECT_EQ(m_repo.FindFolderId("/A/B/C"), c);
}

TEST_F(RepoLinkTest, DamagedParentChainsStopAtTheDepthBound) {
    // Two folders made into a cycle by hand, cut off from the root.
    int x = m_repo.AddNewFolder("/X"), y = m_repo.AddNewFolder("/X/Y");
    ASSERT_TRUE(m_repo.AddNewItem(y, "http://y.example/", "Y", ""));
    ASSERT_GE(m_store.db.Execute(("update web_folder set folder_parent=" + std::to_string(y) +
                                  " where folder_id=" + std::to_string(x))
                                     .c_str()),
              0);
    int other = m_repo.AddNewFolder(0, "Other");
    CString path;
    EXPECT_FALSE(m_repo.GetFolderPath(x, path));
    EXPECT_FALSE(m_repo.MoveFolder(other, y));
    // The cycle is deleted whole, each folder once.
    ASSERT_TRUE(m_repo.DeleteFolder(x));
    EXPECT_EQ(m_repo.FindFolderParentId(y), -1);
    EXPECT_EQ(Count("select count(*) from link_member"), 0);

    // A chain deeper than the bound is refused as a whole.
    std::string deep;
    for (int i = 0; i < KV_REPO_MAX_DEPTH + 1; i++) deep += "/d";
    EXPECT_EQ(m_repo.AddNewFolder(deep.c_str()), -1);
    int parent = other;
    for (int i = 0; i < KV_REPO_MAX_DEPTH + 2; i++) parent = m_repo.AddNewFolder(parent, "d");
    int before = Count("select count(*) from web_folder");
    EXPECT_FALSE(m_repo.DeleteFolder(other));
    EXPECT_EQ(Count("select count(*) from web_folder"), before);
    EXPECT_FALSE(m_repo.GetFolderPath(parent, path));
}

TEST_F(RepoLinkTest, ReadOnlyRefusesEveryWrite) {
    int f = m_repo.AddNewFolder(0, "F");
    ASSERT_TRUE(m_repo.AddNewItem(f, "http://x.example/", "X", ""));
    m_repo.SetReadOnly(TRUE);
    int id = m_repo.FindItemId("http://x.example/");
    EXPECT_EQ(m_repo.AddNewFolder("/G"), -1);
    EXPECT_EQ(m_repo.AddNewFolder(0, "G"), -1);
    EXPECT_FALSE(m_repo.AddNewItem(f, "http://y.example/", "Y", ""));
    EXPECT_FALSE(m_repo.DeleteItem(id));
    EXPECT_FALSE(m_repo.DeleteFolder(f));
    EXPECT_FALSE(m_repo.SetFolderFlags(f, 3));
    EXPECT_FALSE(m_repo.IncrementItemHits(id));
    KvObjectArray batch;
    EXPECT_FALSE(m_repo.AddNewItems(f, &batch));
    EXPECT_EQ(m_repo.PopulateItemCount(f), 1);
}

TEST(RepoLinkFiles, OlderFilesGetTheIndexesWhenOpened) {
    TempDir dir;
    std::string file = dir.File("old.cld");
    {
        Opened<KvRepoLink> store(file);
        ASSERT_TRUE(store.opened);
        ASSERT_GE(store.db.Execute("drop index link_member_item_idx;"), 0);
    }
    Opened<KvRepoLink> store(file);
    ASSERT_TRUE(store.opened);
    EXPECT_EQ(store.db.ExecScalar("select count(*) from sqlite_master where name='link_member_item_idx'"), 1);
}

TEST(RepoLinkFiles, ThreadsUseTheirOwnRepositoriesAtOnce) {
    TempDir dir;
    constexpr int kThreads = 4, kFolders = 10, kLinks = 20;
    std::vector<int> folders(kThreads, -1), links(kThreads, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            Opened<KvRepoLink> store(dir.File(("site" + std::to_string(t) + ".cld").c_str()));
            if (!store.opened) return;
            for (int f = 0; f < kFolders; f++) {
                int id = store.repo.AddNewFolder(("/T/F" + std::to_string(f)).c_str());
                KvObjectArray batch;
                for (int l = 0; l < kLinks; l++) {
                    std::string url = "http://t" + std::to_string(t) + ".example/" + std::to_string(f * kLinks + l);
                    batch.Add(new KvLinkItem(url.c_str(), "x", ""));
                }
                if (id < 0 || !store.repo.AddNewItems(id, &batch)) return;
            }
            folders[t] = store.db.ExecScalar("select count(*) from web_folder");
            links[t] = store.repo.QueryItemCount("");
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; t++) {
        EXPECT_EQ(folders[t], kFolders + 2);
        EXPECT_EQ(links[t], kFolders * kLinks);
    }
}

}  // namespace
