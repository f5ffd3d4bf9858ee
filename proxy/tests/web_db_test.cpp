// The site database: creation and seed members, member ids, advertising
// blocks and stored files.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "base/containers/KvObjectArray.h"
#include "ext/KvMd5/KvMd5.h"
#include "proxy/web/KvWebDB.h"

namespace {

class WebDBTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvwebdb_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
        m_path = m_dir + "/site.cld";
        ASSERT_TRUE(m_db.OpenSite(m_path.c_str()));
    }
    void TearDown() override {
        m_db.Close();
        std::string cmd = "rm -rf '" + m_dir + "'";
        (void)std::system(cmd.c_str());
    }

    std::string m_dir, m_path;
    KvWebDB m_db;
};

TEST_F(WebDBTest, NewDatabaseHoldsGuestAndAdminWithRandomPassword) {
    EXPECT_EQ(m_db.ExecScalar("select count(*) from sysmember"), 2);
    KvUserInfo guest, admin;
    ASSERT_TRUE(m_db.GetUserInfo(0, &guest));
    EXPECT_EQ(guest.m_strName.str(), "guest");
    EXPECT_EQ(guest.m_nLevel, 0);
    ASSERT_TRUE(m_db.GetUserInfo("admin", &admin));
    EXPECT_EQ(admin.m_nID, 1);
    EXPECT_EQ(admin.m_nLevel, 9);
    EXPECT_EQ(admin.m_strStartPage.str(), "/index.html");
    EXPECT_EQ(admin.m_strTheme.str(), "VuvUrad");
    // The password shown once matches the stored digest and is not the
    // fixed one of old.
    const CString& password = m_db.GetInitialAdminPassword();
    EXPECT_EQ(password.GetLength(), 12);
    EXPECT_EQ(admin.m_strPassword, MD5String(password));
    EXPECT_NE(admin.m_strPassword, MD5String("qxrtb"));
    EXPECT_EQ(m_db.GetUserPassword(1), admin.m_strPassword);
    EXPECT_TRUE(m_db.IsTableExist("simplefile"));
    EXPECT_TRUE(m_db.IsTableExist("svcmember"));
}

TEST_F(WebDBTest, TwoNewDatabasesGetDifferentPasswordsAndReopeningKeepsThem) {
    KvWebDB other;
    ASSERT_TRUE(other.OpenSite((m_dir + "/other.cwd").c_str()));
    EXPECT_NE(other.GetInitialAdminPassword(), m_db.GetInitialAdminPassword());
    CString digest = m_db.GetUserPassword(1);
    m_db.Close();
    KvWebDB again;
    ASSERT_TRUE(again.OpenSite(m_path.c_str()));
    EXPECT_TRUE(again.GetInitialAdminPassword().IsEmpty());
    EXPECT_EQ(again.GetUserPassword(1), digest);
}

TEST_F(WebDBTest, NewMembersAreNumberedAfterTheSeededOnes) {
    KvUserInfo a, b;
    a.m_strName = "alice";
    a.m_strPassword = MD5String("x");
    b.m_strName = "bob";
    b.m_strPassword = MD5String("y");
    ASSERT_TRUE(m_db.AddUser(&a));
    // Both without e-mail: the unique column holds no empty text.
    ASSERT_TRUE(m_db.AddUser(&b));
    EXPECT_EQ(a.m_nID, 2);
    EXPECT_EQ(b.m_nID, 3);
    EXPECT_TRUE(a.m_timeRegistered.IsValid());
    b.m_strFullName = "Bob O'Brien";
    b.m_nMaxItemPerPage = 42;
    ASSERT_TRUE(m_db.UpdateUser(&b));
    KvUserInfo read;
    ASSERT_TRUE(m_db.GetUserInfo(3, &read));
    EXPECT_EQ(read.m_strFullName.str(), "Bob O'Brien");
    EXPECT_EQ(read.m_nMaxItemPerPage, 42);
    ASSERT_TRUE(m_db.IncMemberVisit(3));
    ASSERT_TRUE(m_db.IncMemberHits(3));
    ASSERT_TRUE(m_db.GetUserInfo("bob", &read));
    EXPECT_EQ(read.m_nVisit, 1);
    EXPECT_EQ(read.m_nHits, 1);
    KvUserInfo dup;
    dup.m_strName = "alice";
    EXPECT_FALSE(m_db.AddUser(&dup));
}

TEST_F(WebDBTest, CounterLaggingBehindTheMembersIsMovedPastThem) {
    ASSERT_TRUE(m_db.SetId("sysmember", 0));  // a file made before the counter was set
    KvUserInfo c;
    c.m_strName = "carol";
    ASSERT_TRUE(m_db.AddUser(&c));
    EXPECT_EQ(c.m_nID, 2);
}

TEST_F(WebDBTest, AdvertisingTextCanBeRenamed) {
    KvAdvText adv;
    adv.m_strKey = "banner";
    adv.m_strTitle = "T";
    adv.m_strText = "<b>x</b>";
    ASSERT_TRUE(m_db.AddAdvText(&adv));
    adv.m_strKey = "banner2";
    ASSERT_TRUE(m_db.UpdateAdvText("banner", &adv));
    KvAdvText read;
    EXPECT_FALSE(m_db.GetAdvText("banner", &read));
    ASSERT_TRUE(m_db.GetAdvText("banner2", &read));
    EXPECT_EQ(read.m_strText.str(), "<b>x</b>");
    KvObjectArray all;
    ASSERT_TRUE(m_db.PopulateAdvText(all));
    EXPECT_EQ(all.GetSize(), 1);
    ASSERT_TRUE(m_db.DeleteAdvText("banner2"));
    EXPECT_FALSE(m_db.GetAdvText("banner2", &read));
}

TEST_F(WebDBTest, RandomBlockComesFromItsKeyWithEveryRowPossible) {
    for (int i = 0; i < 3; ++i) {
        KvAdvRandom adv;
        adv.m_strKey = "x";
        adv.m_strTitle = std::to_string(i).c_str();
        ASSERT_TRUE(m_db.AddAdvRandom(&adv));
        EXPECT_EQ(adv.m_nID, i + 1);
    }
    KvAdvRandom other;
    other.m_strKey = "y";
    ASSERT_TRUE(m_db.AddAdvRandom(&other));
    std::set<std::string> seen;
    for (int i = 0; i < 300; ++i) {
        KvAdvRandom adv;
        ASSERT_TRUE(m_db.GetAdvRandom("x", &adv));
        EXPECT_EQ(adv.m_strKey.str(), "x");
        seen.insert(adv.m_strTitle.str());
    }
    // The first and last rows are drawn as often as the middle one.
    EXPECT_EQ(seen.size(), 3u);
    KvAdvRandom untouched;
    untouched.m_strTitle = "keep";
    EXPECT_FALSE(m_db.GetAdvRandom("none", &untouched));
    EXPECT_EQ(untouched.m_strTitle.str(), "keep");
}

TEST_F(WebDBTest, StoredFileRoundTripsByteForByte) {
    KvSimpleFile file;
    file.m_strType = "_images";
    file.m_strPath = "a/b.bin";
    file.m_strMime = "application/octet-stream";
    ASSERT_TRUE(file.m_timeModified.SetTime(2021, 3, 4, 5, 6, 7));
    const std::string bytes("\x00\x01\x02zero\x00one\x01\xFF", 13);
    file.m_bufContent.PutString(bytes.data(), bytes.size());
    ASSERT_TRUE(m_db.PutSimpleFile(&file));
    KvSimpleFile read;
    ASSERT_TRUE(m_db.GetSimpleFile("_images", "a/b.bin", &read));
    EXPECT_EQ(std::string(read.m_bufContent.GetData(), read.m_bufContent.GetCount()), bytes);
    EXPECT_EQ(read.m_strMime.str(), "application/octet-stream");
    EXPECT_EQ(read.m_timeModified.GetYear(), 2021);
    EXPECT_EQ(read.m_timeModified.GetSecond(), 7);
    // A second put replaces the content.
    file.m_bufContent.Empty();
    file.m_bufContent.PutString("new");
    ASSERT_TRUE(m_db.PutSimpleFile(&file));
    ASSERT_TRUE(m_db.GetSimpleFile("_images", "a/b.bin", &read));
    EXPECT_EQ(std::string(read.m_bufContent.GetData(), read.m_bufContent.GetCount()), "new");
    EXPECT_EQ(m_db.ExecScalar("select count(*) from simplefile"), 1);
    ASSERT_TRUE(m_db.DeleteAllSimpleFile("_images"));
    EXPECT_FALSE(m_db.IsSimpleFileExist("_images", "a/b.bin"));
}

TEST_F(WebDBTest, LocalFileIsStoredUnderTheSplitOfItsSitePath) {
    std::string local = m_dir + "/style.css";
    FILE* f = std::fopen(local.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("body{}", f);
    std::fclose(f);
    ASSERT_TRUE(m_db.PutSimpleFileFromLocalFile("/_theme/VuvUrad/style.css", local.c_str()));
    EXPECT_TRUE(m_db.IsSimpleFileExist("_theme", "VuvUrad/style.css"));
    EXPECT_FALSE(m_db.PutSimpleFileFromLocalFile("/nofolder", local.c_str()));
}

TEST(WebDBClosed, EveryOperationFailsWithoutAnOpenFile) {
    KvWebDB db;
    KvUserInfo user;
    KvSimpleFile file;
    EXPECT_FALSE(db.GetUserInfo(1, &user));
    EXPECT_FALSE(db.AddUser(&user));
    EXPECT_FALSE(db.GetSimpleFile("a", "b", &file));
    EXPECT_FALSE(db.PutSimpleFile(&file));
}

}  // namespace
