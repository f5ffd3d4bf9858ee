// The feed reader's repository on real files: feed folders, feed items and
// export.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvRepoRSS.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/tests/repo_test_util.h"

namespace {

using repotest::Opened;
using repotest::TempDir;

class RepoRSSTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_store.opened); }
    int Count(const char* sql) { return m_store.db.ExecScalar(sql, -1); }
    // A feed as the reader hands it over: items dated by the feed.
    void Feed(KvObjectArray& items) {
        const char* titles[] = {"Old", "New", "Top", "Also new"};
        int ranks[] = {40, 40, 90, 40};
        int days[] = {1, 3, 2, 3};
        for (int i = 0; i < 4; i++) {
            auto* item = new KvLinkItem(("http://feed.example/" + std::to_string(i)).c_str(), titles[i], "");
            item->m_nRank = ranks[i];
            item->m_timeUploadOn = KvTime(2024, 5, days[i], 12, 0, 0);
            items.Add(item);
        }
    }

    TempDir m_dir;
    Opened<KvRepoRSS> m_store{m_dir.File("feeds.crd")};
    KvRepoRSS& m_repo = m_store.repo;
};

TEST_F(RepoRSSTest, FeedFoldersKeepTheirFeedFields) {
    KvWebFolderRSS folder(KvWebFolder("news", "News", ""));
    folder.m_strRssUrl = "http://feed.example/rss.xml";
    folder.m_nRssPeriode = 60;
    folder.m_strRssPeriodeStr = "hourly";
    int id = m_repo.AddNewFolder(0, &folder);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(m_repo.UpdateFolderLastDownload(id, KvTime(2024, 5, 1, 8, 30, 0)));

    KvObjectArray folders;
    ASSERT_TRUE(m_repo.PopulateFolder(0, &folders));
    ASSERT_EQ(folders.GetSize(), 1);
    auto* read = dynamic_cast<KvWebFolderRSS*>(folders[0]);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->m_strRssUrl.str(), "http://feed.example/rss.xml");
    EXPECT_EQ(read->m_nRssPeriode, 60);
    EXPECT_EQ(read->m_strRssPeriodeStr.str(), "hourly");
    EXPECT_EQ(read->m_timeRssLastDownload, KvTime(2024, 5, 1, 8, 30, 0));

    read->m_strRssUrl = "http://feed.example/atom.xml";
    ASSERT_TRUE(m_repo.UpdateFolder(read));
    KvWebFolderRSS again;
    ASSERT_TRUE(m_repo.GetFolder("/news", &again));
    EXPECT_EQ(again.m_strRssUrl.str(), "http://feed.example/atom.xml");
    EXPECT_EQ(again.m_strTitle.str(), "News");
}

TEST_F(RepoRSSTest, StoringAFeedTwiceAddsNothingAndItemsListNewestFirst) {
    int f = m_repo.AddNewFolder("/News/Tech");
    ASSERT_EQ(m_repo.AddNewFolder("/News/Tech"), f);
    KvObjectArray first, second;
    Feed(first);
    Feed(second);
    ASSERT_TRUE(m_repo.AddNewItems(f, &first));
    ASSERT_TRUE(m_repo.AddNewItems(f, &second));
    EXPECT_EQ(Count("select count(*) from link_item"), 4);
    EXPECT_EQ(Count("select count(*) from link_member"), 4);

    KvObjectArray items;
    ASSERT_TRUE(m_repo.PopulateItem(f, &items));
    std::vector<std::string> titles;
    for (int i = 0; i < items.GetSize(); i++) titles.push_back(static_cast<KvLinkItem*>(items[i])->m_strTitle.str());
    EXPECT_EQ(titles, (std::vector<std::string>{"Top", "Also new", "New", "Old"}));
    // The feed's own dates are kept.
    EXPECT_EQ(static_cast<KvLinkItem*>(items[3])->m_timeUploadOn, KvTime(2024, 5, 1, 12, 0, 0));
}

TEST_F(RepoRSSTest, MovesBelowThemselvesAreRefusedAndExportCopiesTrees) {
    int news = m_repo.AddNewFolder("/News"), tech = m_repo.AddNewFolder("/News/Tech");
    EXPECT_FALSE(m_repo.MoveFolder(news, tech));
    KvObjectArray items;
    Feed(items);
    ASSERT_TRUE(m_repo.AddNewItems(tech, &items));
    ASSERT_TRUE(m_repo.AddNewItem(news, "http://feed.example/top", "Top of news", ""));

    Opened<KvRepoRSS> other(m_dir.File("other.crd"));
    ASSERT_TRUE(other.opened);
    int archive = other.repo.AddNewFolder(0, "Archive");
    ASSERT_TRUE(m_repo.ExportFolder(news, &other.repo, archive));
    EXPECT_EQ(other.repo.PopulateItemCount(archive), 1);
    EXPECT_EQ(other.repo.PopulateItemCount(other.repo.FindFolderId("/Archive/Tech")), 4);
    // Into its own tree it would copy itself without end.
    EXPECT_FALSE(m_repo.ExportFolder(news, &m_repo, tech));
}

}  // namespace
