// Remembered searches: profiles, their stored ids, result pages read from
// the content database, and emptying the store when content changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/containers/KvObjectArray.h"
#include "ext/KvSqLite/KvSqlBuffer.h"
#include "inet/html/KvSearchCond.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvSearchIdList.h"
#include "proxy/repo/KvSearchLink.h"

namespace {

const char kLinkTable[] =
    "CREATE TABLE link_item(item_id int(3) not null, item_url varchar(255) not null collate nocase, item_showas "
    "varchar(255) collate nocase, item_title varchar(255) collate nocase, item_desc text collate nocase, "
    "item_keywords text collate nocase, item_note varchar(255) collate nocase,item_show int(3) default 0,"
    "item_active int(3) default 0,item_great int(3) default 0,item_rank int(3) default 0, item_hits int(3) default "
    "0, item_afd int(3) default 0,item_flags int(3) default 0,item_checked datetime not null default '1980-01-01 "
    "00:00:00',upload_by varchar(20) not null default 'admin',upload_on datetime not null default '1980-01-01 "
    "00:00:00',update_on datetime not null default '1980-01-01 00:00:00',primary key (item_id), unique "
    "(item_url));"
    "create table search_result(se_id int(3) not null,item_id int(3) not null,primary key (se_id, item_id));"
    "create table web_page(page_id int(3) not null,folder_id int(3) not null,page_name varchar(255) not null,"
    "page_label varchar(255),page_title varchar(255),page_desc text,page_keywords text,page_robots varchar(64) "
    "not null default '',page_author varchar(64) not null default '',page_content text,page_seealso_title "
    "varchar(255),page_seealso text,page_redirect varchar(255),page_show int(3) not null default 1,page_active "
    "int(3) not null default 1,page_order int(3) not null default 9999,page_type int(3) default 0,page_flags "
    "int(3) default 0,page_rating float default '0.0',page_votes int(3) default 0,page_hits int(3) default 0,"
    "page_external int(3) not null default 0,page_src_desc text,upload_by varchar(20),upload_on datetime,"
    "update_on datetime,primary key (page_id));";

class SearchStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvsearch_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        ASSERT_TRUE(m_content.Open((m_dir + "/site.cld").c_str()));
        ASSERT_GE(m_content.Execute(kLinkTable), 0);
        ASSERT_TRUE(m_links.OpenStore((m_dir + "/site.srt").c_str()));
        m_links.SetContentDatabase(&m_content);
    }
    void TearDown() override {
        m_links.Close();
        m_content.Close();
        (void)std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    void AddLink(int id, const char* title, int rank) {
        KvSqlBuffer sql;
        ASSERT_GE(m_content.Execute(sql.Format("insert into link_item (item_id, item_url, item_title, item_rank) "
                                               "values (%d, 'http://h/%d', '%q', %d);",
                                               id, id, title, rank)),
                  0);
    }
    int Search(const char* query) {
        return m_links.FindOrCreateSearchProfile(query, SearchQueryBuilder("item_title", query));
    }

    std::string m_dir;
    KvSqlDBEx m_content;
    KvSearchLink m_links;
};

TEST_F(SearchStoreTest, ProfileKeepsAtMost100IdsAndIsMadeOnce) {
    for (int i = 1; i <= 150; ++i) AddLink(i, "alpha link", i % 7);
    int id = Search("alpha");
    ASSERT_GT(id, 0);
    EXPECT_EQ(Search("alpha"), id);
    EXPECT_EQ(m_links.ExecScalar("select count(*) from search_profile"), 1);
    EXPECT_EQ(m_links.PopulateSearchResultCount(id), 100);
    EXPECT_EQ(m_links.PopulateSearchResultCount(id, ""), 100);

    KvObjectArray page;
    ASSERT_TRUE(m_links.PopulateSearchResult(id, "", 10, 0, &page));
    ASSERT_EQ(page.GetSize(), 10);
    auto* first = static_cast<KvLinkItem*>(page[0]);
    EXPECT_EQ(first->m_nRank, 6);  // best rank first
    EXPECT_EQ(first->m_strTitle.str(), "alpha link");
    // A filter narrows the stored ids; it never widens them.
    EXPECT_EQ(m_links.PopulateSearchResultCount(id, "item_rank = 6"), 21);
    ASSERT_TRUE(m_links.PopulateSearchResult(id, "item_rank = 6", 100, 0, &page));
    EXPECT_EQ(page.GetSize(), 21);
}

TEST_F(SearchStoreTest, EmptyingTheStoreLetsNewContentBeFound) {
    AddLink(1, "alpha one", 40);
    int id = Search("alpha");
    EXPECT_EQ(m_links.PopulateSearchResultCount(id), 1);
    AddLink(2, "alpha two", 40);
    EXPECT_EQ(m_links.PopulateSearchResultCount(Search("alpha")), 1);  // remembered
    ASSERT_TRUE(m_links.ClearSearchProfiles());
    EXPECT_EQ(m_links.FindSearchProfile("alpha"), 0);
    int again = Search("alpha");
    EXPECT_NE(again, id);  // ids are not reused
    EXPECT_EQ(m_links.PopulateSearchResultCount(again), 2);
}

TEST_F(SearchStoreTest, EmptyConditionMatchesNothingAndEmptyListGivesEmptyPage) {
    AddLink(1, "alpha", 40);
    EXPECT_EQ(Search("!!! ,,"), 0);
    EXPECT_EQ(Search(""), 0);
    EXPECT_EQ(m_links.ExecScalar("select count(*) from search_profile"), 0);

    int id = Search("nothing");
    ASSERT_GT(id, 0);
    EXPECT_EQ(m_links.PopulateSearchResultCount(id), 0);
    EXPECT_EQ(m_links.PopulateSearchResultCount(id, "item_rank > 0"), 0);
    KvObjectArray page;
    page.Add(new KvLinkItem);
    EXPECT_TRUE(m_links.PopulateSearchResult(id, "", 10, 0, &page));
    EXPECT_EQ(page.GetSize(), 0);
}

TEST_F(SearchStoreTest, DamagedStoredListNeverReachesSqlAsWritten) {
    AddLink(1, "alpha", 40);
    AddLink(2, "beta", 40);
    int id = m_links.AddNewSearchProfile("it's");
    ASSERT_GT(id, 0);
    EXPECT_EQ(m_links.FindSearchProfile("it's"), id);
    KvSqlBuffer sql;
    ASSERT_GE(m_links.Execute(sql.Format("update search_profile set se_list='1, 2) or (1=1, x, 99999999999' "
                                         "where se_id=%d",
                                         id)),
              0);
    EXPECT_EQ(m_links.GetSearchResultIds(id).str(), "1");
    KvObjectArray page;
    EXPECT_TRUE(m_links.PopulateSearchResult(id, "", 10, 0, &page));
    EXPECT_EQ(page.GetSize(), 1);

    EXPECT_EQ(KvFormatIdList(KvParseIdList(" 3,4 ,5 5,,-6, 7")).str(), "3, 4, 7");
}

TEST_F(SearchStoreTest, RecordedResultsAreReadByJoinAndCleared) {
    AddLink(1, "alpha", 10);
    AddLink(2, "beta", 50);
    int id = m_links.AddNewSearchProfile("q");
    ASSERT_TRUE(m_links.AddNewSearchResult(id, 1));
    ASSERT_TRUE(m_links.AddNewSearchResult(id, 2));
    KvObjectArray links;
    ASSERT_TRUE(m_links.PopulateSearchResult(id, &links));
    ASSERT_EQ(links.GetSize(), 2);
    EXPECT_EQ(static_cast<KvLinkItem*>(links[0])->m_strTitle.str(), "beta");
    ASSERT_TRUE(m_links.ClearSearchProfiles());
    EXPECT_TRUE(m_links.PopulateSearchResult(id, &links));
    EXPECT_EQ(links.GetSize(), 0);
}

TEST_F(SearchStoreTest, PageStoreReadsPagesBestRatedFirst) {
    ASSERT_GE(m_content.Execute("insert into web_page (page_id, folder_id, page_name, page_title, page_rating) "
                                "values (1, 0, 'a.html', 'Alpha low', 1.0), (2, 0, 'b.html', 'Alpha high', 4.5), "
                                "(3, 0, 'c.html', 'Other', 5.0);"),
              0);
    KvSearchPage pages;
    ASSERT_TRUE(pages.OpenStore((m_dir + "/pages.srt").c_str()));
    pages.SetContentDatabase(&m_content);
    int id = pages.FindOrCreateSearchProfile("alpha", SearchQueryBuilder("page_title", "alpha"));
    EXPECT_EQ(pages.PopulateSearchResultCount(id), 2);
    KvObjectArray found;
    ASSERT_TRUE(pages.PopulateSearchResult(id, "", 10, 0, &found));
    ASSERT_EQ(found.GetSize(), 2);
    EXPECT_EQ(static_cast<KvWebPage*>(found[0])->m_strName.str(), "b.html");
    EXPECT_FLOAT_EQ(static_cast<KvWebPage*>(found[0])->m_fRating, 4.5f);
}

}  // namespace
