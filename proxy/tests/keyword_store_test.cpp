// The keyword store: hit counts, the per-service result cache, default
// links and the keyword tables.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "base/thread/KvCleanupMgr.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "proxy/repo/KvKeywordMgr.h"
#include "proxy/repo/KvRepoKeyword.h"

namespace {

class KeywordStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvkeyword_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        KvKeywordMgr::SetBaseDirectory(m_dir.c_str());
    }
    void TearDown() override {
        KvCleanupMgr::DestroyInstance();
        KvKeywordMgr::SetBaseDirectory("");
        (void)std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string m_dir;
};

TEST_F(KeywordStoreTest, HitsCountPerExactKeywordApostropheIncluded) {
    KvKeywordMgr* mgr = KvKeywordMgr::GetInstance();
    ASSERT_TRUE(mgr->IncHits("rock 'n' roll"));
    ASSERT_TRUE(mgr->IncHits("rock 'n' roll"));
    EXPECT_EQ(mgr->GetKeywordHits("rock 'n' roll"), 2);
    EXPECT_TRUE(mgr->IncHits("Rock 'n' Roll"));  // its own keyword
    EXPECT_EQ(mgr->GetKeywordHits("Rock 'n' Roll"), 1);
    struct stat st;
    EXPECT_EQ(stat((m_dir + "/keywords.db").c_str(), &st), 0);
}

TEST_F(KeywordStoreTest, CacheIsPerServiceAndReplacedInPlace) {
    KvKeywordMgr* mgr = KvKeywordMgr::GetInstance();
    CString text = "stale";
    KvTime when;
    ASSERT_TRUE(mgr->SetKeywordCache("news", "google", "a\tb"));
    EXPECT_EQ(mgr->GetKeywordCache("news", "yahoo", text, when), 0);
    EXPECT_TRUE(text.IsEmpty());
    ASSERT_TRUE(mgr->SetKeywordCache("NEWS", "Google", "it's new"));  // same row, any case
    ASSERT_EQ(mgr->GetKeywordCache("news", "google", text, when), 1);
    EXPECT_EQ(text.str(), "it's new");
    EXPECT_GT(when.GetDayNumber(), 40000.0);
    ASSERT_TRUE(mgr->DeleteKeywordCache("news", "google"));
    EXPECT_EQ(mgr->GetKeywordCache("news", "google", text, when), 0);
    EXPECT_TRUE(mgr->SetKeywordDefaultLinks("news", "x"));
    EXPECT_TRUE(mgr->SetKeywordDefaultLinks("news", "y"));
    EXPECT_TRUE(mgr->SetRelatedKeyword("news", "paper"));
}

TEST_F(KeywordStoreTest, TableListsMostSearchedFirstEscapedAndGrouped) {
    KvSqlDBEx db;
    KvRepoKeyword repo;
    repo.SetDatabase(&db);
    ASSERT_TRUE(repo.Open((m_dir + "/k.db").c_str()));
    ASSERT_TRUE(repo.IncHits("<b>a b</b>"));
    ASSERT_TRUE(repo.IncHits("top"));
    ASSERT_GE(db.Execute("update kwdlist set hits=1234 where kwd='top'"), 0);
    std::string html = repo.RenderTop100Keywords("/Search/").str();
    size_t top = html.find("<a href=\"/Search/top.html\">top</a>");
    size_t other = html.find("<a href=\"/Search/%3Cb%3Ea%20b%3C%2Fb%3E.html\">&lt;b&gt;a b&lt;/b&gt;</a>");
    ASSERT_NE(top, std::string::npos) << html;
    ASSERT_NE(other, std::string::npos) << html;
    EXPECT_LT(top, other);
    EXPECT_NE(html.find(">001</font>"), std::string::npos);
    EXPECT_NE(html.find(">1,234</font>"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 10), "</table>\r\n");
    repo.Close();
}

}  // namespace
