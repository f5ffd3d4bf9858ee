// Repository records, the link list format and the open/create protocol
// against real database files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/containers/KvGenBuffer.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/html/KvSimpleLink.h"
#include "proxy/repo/KvLinkFormat.h"
#include "proxy/repo/KvPortalRecords.h"
#include "proxy/repo/KvRepoBase.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/tests/repo_test_util.h"

namespace {

namespace fs = std::filesystem;
using repotest::TempDir;

// A repository of two tables whose second statement can be made to fail.
class TwoTableRepo : public KvRepoBase {
public:
    bool m_bBreakSchema = false;
    bool m_bRefuse = false;
    int m_nInits = 0;

protected:
    int _DoInitNewRepository() override {
        m_nInits++;
        const char* sql[] = {"create table first_t(x int);",
                             m_bBreakSchema ? "create tabel second_t(y int);" : "create table second_t(y int);"};
        return _ExecuteAll(sql, 2) && m_pDB->InitId("first_t", 0);
    }
    int _DoCheckRepository() override { return m_bRefuse ? 0 : 1; }
    int _IsRepositoryPresent() override { return m_pDB->IsTableExist("first_t"); }
};

TEST(RepoRecords, DefaultsCopiesAndClones) {
    KvLinkItem link;
    EXPECT_EQ(link.m_bShow, 1);
    EXPECT_EQ(link.m_bActive, 1);
    EXPECT_EQ(link.m_nRank, 40);
    KvWebFolder folder("news", "News", "All news");
    EXPECT_EQ(folder.m_strLabel.str(), "news");
    EXPECT_EQ(folder.m_nOrder, 9999);
    EXPECT_EQ(folder.m_nWriteLevel, 9);
    EXPECT_EQ(folder.m_strRobots.str(), "index, follow");
    KvWebPage page("a.html", "Title", "d");
    EXPECT_EQ(page.m_strLabel.str(), "Title");
    EXPECT_EQ(page.m_strAuthor.str(), "admin");

    // A feed folder cloned through its base keeps its class and feed fields;
    // made from a plain folder it takes the folder fields only.
    KvWebFolderRSS rss(folder);
    rss.m_strRssUrl = "http://feeds.example/rss";
    rss.m_nRssPeriode = 60;
    KvObject* clone = static_cast<KvWebFolder&>(rss).Clone();
    auto* rssClone = dynamic_cast<KvWebFolderRSS*>(clone);
    ASSERT_NE(rssClone, nullptr);
    EXPECT_EQ(rssClone->m_strTitle.str(), "News");
    EXPECT_EQ(rssClone->m_strRssUrl.str(), "http://feeds.example/rss");
    EXPECT_EQ(rssClone->m_nRssPeriode, 60);
    delete clone;
}

TEST(RepoRecords, DirCacheCopiesItsLinksDeeplyAndConvertsText) {
    KvDirCache cache;
    cache.m_strLinks = "http://a.example/\tA\tfirst\r\nhttp://b.example/\tB\tsecond\r\n";
    ASSERT_TRUE(cache.ConvertLinksFromStringToArray());
    ASSERT_EQ(cache.m_arrLinks.GetSize(), 2);
    KvDirCache copy(cache);
    ASSERT_EQ(copy.m_arrLinks.GetSize(), 2);
    EXPECT_NE(copy.m_arrLinks.GetAt(0), cache.m_arrLinks.GetAt(0));
    cache.m_arrLinks.RemoveAll();
    auto* b = dynamic_cast<KvSimpleLinkItem*>(copy.m_arrLinks.GetAt(1));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->m_strTitle.str(), "B");
    copy.m_strLinks.Empty();
    ASSERT_TRUE(copy.ConvertLinksFromArrayToString());
    EXPECT_EQ(copy.m_strLinks.str(), "http://a.example/\tA\tfirst\r\nhttp://b.example/\tB\tsecond\r\n");
}

TEST(RepoRecords, LinkFormatWritesTheListAndEscapesOutsideText) {
    KvLinkFormat format;
    KvGenBuffer buf;
    KvLinkItem a("http://a.example/", "A & B", "first"), b("javascript:alert(1)", "<b>x</b>", "second");
    ASSERT_TRUE(format.Begin(&buf) && format.Format(&buf, &a) && format.Format(&buf, &b) && format.End(&buf));
    EXPECT_EQ(std::string(buf.GetData(), buf.GetCount()),
              "<div id=\"link_list\"><dl>\r\n"
              "<dt><a href=\"http://a.example/\">A &amp; B</a></dt>\r\n    <dd><small>first</small></dd>\r\n"
              "<dt><a href=\"#\">&lt;b&gt;x&lt;/b&gt;</a></dt>\r\n    <dd><small>second</small></dd>\r\n"
              "</dl></div>\r\n");
}

class RepoOpenTest : public ::testing::Test {
protected:
    void SetUp() override { m_repo.SetDatabase(&m_db); }
    TempDir m_dir;
    KvSqlDBEx m_db;
    TwoTableRepo m_repo;
};

TEST_F(RepoOpenTest, NewFileGetsTheSchemaOnceAndReopeningOnlyChecks) {
    std::string file = m_dir.File("links.cld");
    ASSERT_TRUE(m_repo.Open(file.c_str()));
    EXPECT_TRUE(m_repo.IsOpen());
    EXPECT_TRUE(m_db.IsTableExist("second_t"));
    EXPECT_EQ(m_db.GetBusyTimeout(), 5000);
    EXPECT_TRUE(m_repo.Close());
    EXPECT_FALSE(m_repo.IsOpen());
    EXPECT_FALSE(m_db.IsOpen());

    ASSERT_TRUE(m_repo.Open(file.c_str()));
    EXPECT_EQ(m_repo.m_nInits, 1);
    // Read-only takes effect on the open connection at once.
    m_repo.SetReadOnly(TRUE);
    EXPECT_EQ(m_db.Execute("insert into first_t values (1);"), -1);
}

TEST_F(RepoOpenTest, ReadOnlyNeverCreatesAFile) {
    std::string file = m_dir.File("missing.cld");
    m_repo.SetReadOnly(TRUE);
    EXPECT_FALSE(m_repo.Open(file.c_str()));
    EXPECT_FALSE(m_repo.Create(file.c_str()));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(m_repo.m_nInits, 0);
}

TEST_F(RepoOpenTest, SchemaFailingHalfWayLeavesNoFile) {
    std::string file = m_dir.File("broken.cld");
    m_repo.m_bBreakSchema = true;
    EXPECT_FALSE(m_repo.Open(file.c_str()));
    EXPECT_FALSE(m_repo.IsOpen());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file + "-wal"));
    // The next start makes the file afresh.
    m_repo.m_bBreakSchema = false;
    ASSERT_TRUE(m_repo.Open(file.c_str()));
    EXPECT_TRUE(m_db.IsTableExist("second_t"));
}

TEST_F(RepoOpenTest, SchemaFailureInAnExistingFileKeepsItsOtherTables) {
    std::string file = m_dir.File("site.cld");
    ASSERT_TRUE(m_db.Open(file.c_str()));
    ASSERT_GE(m_db.Execute("create table site_t(z int); insert into site_t values (7);"), 0);
    m_repo.m_bBreakSchema = true;
    EXPECT_FALSE(m_repo.Open(file.c_str()));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(m_db.IsTableExist("first_t"));
    EXPECT_EQ(m_db.ExecScalar("select z from site_t"), 7);
    // Without the fault the site's own database gets the repository too.
    m_repo.m_bBreakSchema = false;
    ASSERT_TRUE(m_repo.Open(file.c_str()));
    EXPECT_TRUE(m_db.IsTableExist("second_t"));
}

TEST_F(RepoOpenTest, FilesFailingTheCheckStayClosed) {
    std::string file = m_dir.File("refused.cld");
    ASSERT_TRUE(m_repo.Open(file.c_str()));
    m_repo.Close();
    m_repo.m_bRefuse = true;
    EXPECT_FALSE(m_repo.Open(file.c_str()));
    EXPECT_FALSE(m_repo.IsOpen());
    EXPECT_FALSE(m_db.IsOpen());

    std::string foreign = m_dir.File("foreign.cld");
    std::ofstream(foreign) << "this is not a database, only some text that is long enough to be read";
    m_repo.m_bRefuse = false;
    EXPECT_FALSE(m_repo.Open(foreign.c_str()));
    EXPECT_TRUE(fs::exists(foreign));
}

}  // namespace
