// Cookie texts, sessions and the session manager.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "inet/web/KvCookie.h"
#include "inet/web/KvSession.h"

namespace {

bool IsUpperHex(const CString& s) {
    for (char c : s.str()) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

KvTime MinutesAgo(int minutes) {
    KvTime t = KvTime::GetCurTime();
    t -= minutes / (24.0 * 60.0);
    return t;
}

}  // namespace

TEST(KvCookieTest, ParsesPairsAndWritesThemBackWithoutBlanks) {
    KvCookie cookie;
    cookie.SetCookie("SID=abc; path=/");
    ASSERT_EQ(cookie.m_mapValue.Size(), 2);
    EXPECT_STREQ(cookie.GetValue("sid", nullptr), "abc");
    EXPECT_STREQ(cookie.GetValue("PATH", nullptr), "/");
    EXPECT_EQ(cookie.GetCookie(), "sid=abc;path=/;");

    cookie.SetCookie(" theme = \"blue\" ;; =orphan; HttpOnly; n=12x");
    EXPECT_STREQ(cookie.GetValue("theme", nullptr), "blue");
    EXPECT_STREQ(cookie.GetValue("httponly", nullptr), "");
    EXPECT_EQ(cookie.GetIntValue("n", 0), 12);
    EXPECT_EQ(cookie.GetIntValue("absent", 5), 5);
    EXPECT_EQ(cookie.m_mapValue.Size(), 3);  // the empty and the nameless pieces are skipped

    cookie.SetCookie(nullptr);
    EXPECT_TRUE(cookie.m_mapValue.IsEmpty());
}

TEST(KvCookieTest, SetValueReplacesTheFirstEntryOfAnyCase) {
    KvCookie cookie;
    cookie.SetCookie("sid=1;user=x");
    cookie.SetValue("SID", "2");
    cookie.SetValue("expires", "Sat, 17 Jun 2000 12:00:00 GMT");
    EXPECT_EQ(cookie.GetCookie(), "sid=2;user=x;expires=Sat, 17 Jun 2000 12:00:00 GMT;");
    KvCookie copy(cookie);
    cookie.ResetCookie();
    EXPECT_EQ(copy.GetCookie(), "sid=2;user=x;expires=Sat, 17 Jun 2000 12:00:00 GMT;");
    EXPECT_EQ(cookie.GetCookie(), "");
}

TEST(KvSessionTest, DataRoundTripCannotInjectPairs) {
    KvSession s;
    ASSERT_TRUE(s.CreateNewSession(nullptr));
    s.SetValue("folder", "12");
    s.SetValue("query", "a;uid=1");
    s.SetValue("odd=name", "50%3B off");
    s.CreateDataFromMap();
    EXPECT_EQ(s.m_strData, "folder=12;query=a%3Buid=1;odd%3Dname=50%253B off;");

    KvSession back;
    back.m_strData = s.m_strData;
    back.CreateMap();
    EXPECT_EQ(back.m_mapValue.Size(), 3);
    EXPECT_EQ(back.GetValue("uid", nullptr), nullptr);
    EXPECT_STREQ(back.GetValue("query", nullptr), "a;uid=1");
    EXPECT_STREQ(back.GetValue("odd=name", nullptr), "50%3B off");
    EXPECT_EQ(back.GetIntValue("FOLDER", 0), 12);

    back.m_strData = "a=1;b=2;";  // data written before escaping existed reads the same
    back.CreateMap();
    EXPECT_EQ(back.GetIntValue("b", 0), 2);
}

TEST(KvSessionTest, CopyResetAndNewSession) {
    KvSession s;
    ASSERT_TRUE(s.CreateNewSession("FIXEDID"));
    s.m_nUserID = 7;
    s.m_strIPAddr = "127.0.0.1";
    s.SetValue("k", "v");
    KvSession copy = s;
    EXPECT_EQ(copy.m_strSessionID, "FIXEDID");
    EXPECT_EQ(copy.m_nUserID, 7);
    EXPECT_EQ(copy.m_strIPAddr, "127.0.0.1");
    EXPECT_TRUE(copy.m_timeFirstUsed == s.m_timeFirstUsed);
    EXPECT_STREQ(copy.GetValue("k", nullptr), "v");

    s.Reset();
    EXPECT_TRUE(s.m_strSessionID.IsEmpty());
    EXPECT_EQ(s.m_nUserID, 0);
    EXPECT_TRUE(s.m_timeLastUsed.IsEmpty());
    EXPECT_TRUE(s.m_mapValue.IsEmpty());

    ASSERT_TRUE(s.CreateNewSession(nullptr));
    EXPECT_EQ(s.m_strSessionID.GetLength(), KV_SESSION_ID_LENGTH);
    EXPECT_TRUE(IsUpperHex(s.m_strSessionID));
    EXPECT_FALSE(s.m_timeFirstUsed.IsEmpty());
}

TEST(KvSessionMgrTest, UnknownIdentifierGetsAFreshSessionNotTheClientsId) {
    KvSessionMgr mgr;
    BOOL created = FALSE;
    KvSession* planted = mgr.GetSession("ATTACKER0001", &created);
    ASSERT_NE(planted, nullptr);
    EXPECT_TRUE(created);
    EXPECT_NE(planted->m_strSessionID, "ATTACKER0001");
    KvObject* held = nullptr;
    EXPECT_FALSE(mgr.m_mapSession.Lookup("ATTACKER0001", held));

    // Presenting the planted id again still gives no session under it.
    KvSession* again = mgr.GetSession("ATTACKER0001", &created);
    EXPECT_TRUE(created);
    EXPECT_NE(again, planted);

    // The identifier the manager made is honoured.
    KvSession* same = mgr.GetSession(planted->m_strSessionID, &created);
    EXPECT_EQ(same, planted);
    EXPECT_FALSE(created);
}

TEST(KvSessionMgrTest, EmptyIdentifierCreatesDistinctSecureIdentifiers) {
    KvSessionMgr mgr;
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        KvSession* s = mgr.GetSession(i % 2 ? "" : nullptr);
        ASSERT_NE(s, nullptr);
        ASSERT_EQ(s->m_strSessionID.GetLength(), KV_SESSION_ID_LENGTH);
        ASSERT_TRUE(IsUpperHex(s->m_strSessionID));
        ids.insert(s->m_strSessionID.str());
    }
    EXPECT_EQ(ids.size(), 1000u);
    EXPECT_EQ(mgr.GetCount(), 1000);
}

TEST(KvSessionMgrTest, CleanupRemovesOnlySessionsIdleLongerThanTheLimit) {
    KvSessionMgr mgr;
    KvSession* old = mgr.GetSession("");
    KvSession* recent = mgr.GetSession("");
    CString oldId = old->m_strSessionID, recentId = recent->m_strSessionID;
    old->m_timeLastUsed = MinutesAgo(60);
    recent->m_timeLastUsed = MinutesAgo(58);
    EXPECT_TRUE(mgr.Cleanup(59));
    KvObject* found = nullptr;
    EXPECT_FALSE(mgr.m_mapSession.Lookup(oldId, found));
    EXPECT_TRUE(mgr.m_mapSession.Lookup(recentId, found));
    EXPECT_EQ(mgr.GetCount(), 1);
}

TEST(KvSessionMgrTest, MemoryIsBoundedAndIdleSessionsExpire) {
    KvSessionMgr mgr;
    mgr.SetMaxSessions(3);
    KvSession* first = mgr.GetSession("");
    CString firstId = first->m_strSessionID;
    first->m_timeLastUsed = MinutesAgo(30);  // the longest idle
    for (int i = 0; i < 4; ++i) mgr.GetSession("")->m_timeLastUsed = MinutesAgo(i);
    EXPECT_EQ(mgr.GetCount(), 3);
    KvObject* found = nullptr;
    EXPECT_FALSE(mgr.m_mapSession.Lookup(firstId, found));

    KvSessionMgr idle;
    idle.SetMaxIdleMinutes(10);
    KvSession* s = idle.GetSession("");
    CString id = s->m_strSessionID;
    s->m_timeLastUsed = MinutesAgo(11);
    BOOL created = FALSE;
    KvSession* renewed = idle.GetSession(id, &created);
    EXPECT_TRUE(created);
    EXPECT_NE(renewed->m_strSessionID, id);
    EXPECT_EQ(idle.GetCount(), 1);
}
