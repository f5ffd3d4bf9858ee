#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/app/KvData.h"
#include "base/time/KvTime.h"

namespace {

void ExpectFields(const KvTime& t, int y, int mo, int d, int h, int mi, int s) {
    EXPECT_EQ(t.GetYear(), y);
    EXPECT_EQ(t.GetMonth(), mo);
    EXPECT_EQ(t.GetDay(), d);
    EXPECT_EQ(t.GetHour(), h);
    EXPECT_EQ(t.GetMinute(), mi);
    EXPECT_EQ(t.GetSecond(), s);
}

// Restores the regional settings a test changes.
class LocaleGuard {
public:
    LocaleGuard() : m_iDate(kvData.iDate), m_sDate(kvData.sDate), m_sTime(kvData.sTime) {}
    ~LocaleGuard() {
        kvData.iDate = m_iDate;
        kvData.sDate = m_sDate;
        kvData.sTime = m_sTime;
    }

private:
    int m_iDate;
    CString m_sDate, m_sTime;
};

}  // namespace

TEST(DayNumber, KnownDatesAndRangeLimits) {
    EXPECT_EQ(KvTm2Date(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_EQ(KvTm2Date(1900, 1, 1, 0, 0, 0), 2.0);
    EXPECT_EQ(KvTm2Date(2000, 1, 1, 0, 0, 0), 36526.0);
    EXPECT_EQ(KvTm2Date(100, 1, 1, 0, 0, 0), KV_MIN_DAYNUMBER);
    EXPECT_EQ(KvTm2Date(9999, 12, 31, 0, 0, 0), KV_MAX_DAYNUMBER);
    EXPECT_DOUBLE_EQ(KvTm2Date(2000, 1, 1, 12, 0, 0), 36526.5);
    // Before the epoch the time of day counts away from zero.
    EXPECT_DOUBLE_EQ(KvTm2Date(1899, 12, 29, 6, 0, 0), -1.25);
    // Invalid dates.
    EXPECT_EQ(KvTm2Date(2001, 2, 29, 0, 0, 0), KV_MIN_DAYNUMBER);
    EXPECT_EQ(KvTm2Date(2000, 13, 1, 0, 0, 0), KV_MIN_DAYNUMBER);
    EXPECT_EQ(KvTm2Date(2000, 1, 1, 24, 0, 0), KV_MIN_DAYNUMBER);
    EXPECT_NE(KvTm2Date(2000, 2, 29, 0, 0, 0), KV_MIN_DAYNUMBER);
    EXPECT_EQ(KvTm2Date(1900, 2, 29, 0, 0, 0), KV_MIN_DAYNUMBER);
}

TEST(DayNumber, RoundTripsAcrossTheWholeRange) {
    struct tm tm;
    for (double day = KV_MIN_DAYNUMBER; day <= KV_MAX_DAYNUMBER; day += 997) {
        for (double fraction : {0.0, 0.25, 0.999988}) {
            double value = day < 0 ? day - fraction : day + fraction;
            if (value < KV_MIN_DAYNUMBER) continue;
            ASSERT_TRUE(KvTmFromDate(value, tm)) << value;
            double back;
            ASSERT_TRUE(KvDateFromTm(tm, back)) << value;
            EXPECT_NEAR(back, value, 1.0 / 86400) << value;
        }
    }
    EXPECT_FALSE(KvTmFromDate(KV_MAX_DAYNUMBER + 1, tm));
    EXPECT_FALSE(KvTmFromDate(KV_MIN_DAYNUMBER - 1, tm));
    EXPECT_FALSE(KvTmFromDate(NAN, tm));
}

TEST(DayNumber, HalfSecondRoundsToTheNextSecondAndWeekdayFollows) {
    struct tm tm;
    ASSERT_TRUE(KvTmFromDate(KvTm2Date(1994, 11, 6, 8, 49, 36) + 0.9 / 86400, tm));
    EXPECT_EQ(tm.tm_sec, 37);
    EXPECT_EQ(tm.tm_wday, 0);  // a Sunday
    ASSERT_TRUE(KvTmFromDate(KvTm2Date(1999, 12, 31, 23, 59, 59) + 0.6 / 86400, tm));
    EXPECT_EQ(tm.tm_year, 100);
    EXPECT_EQ(tm.tm_mon, 0);
    EXPECT_EQ(tm.tm_mday, 1);
    EXPECT_EQ(tm.tm_hour, 0);
    ASSERT_TRUE(KvTmFromDate(-1.25, tm));
    EXPECT_EQ(tm.tm_mday, 29);
    EXPECT_EQ(tm.tm_hour, 6);
    EXPECT_EQ(tm.tm_wday, 5);  // a Friday
}

TEST(KvTimeTest, TwoDigitYearBecomesNineteenHundredsWhenConverted) {
    KvTime t;
    ASSERT_TRUE(t.SetDate(6, 3, 4));
    double d;
    ASSERT_TRUE(t.GetTime(&d));
    EXPECT_EQ(t.GetYear(), 1906);
    EXPECT_EQ(d, KvTm2Date(1906, 3, 4, 0, 0, 0));
}

TEST(KvTimeTest, InvalidValuesGiveZeroAndOutOfRangeDayNumbersAreIgnored) {
    KvTime t(2005, 12, 31, 10, 0, 0);
    KvTime empty;
    double d = 1;
    EXPECT_FALSE(empty.GetTime(&d));
    EXPECT_EQ(d, 0);
    EXPECT_FALSE(t.SetTime(KV_MAX_DAYNUMBER + 1.0));
    ExpectFields(t, 2005, 12, 31, 10, 0, 0);
    t = 36526.75;
    ExpectFields(t, 2000, 1, 1, 18, 0, 0);
    EXPECT_EQ(t.GetDayOfWeek(), 6);
}

TEST(KvTimeTest, DateAndTimeSettersValidateAndRestore) {
    KvTime t(2004, 2, 29, 13, 14, 15);
    EXPECT_FALSE(t.SetDate(2001, 2, 29));
    ExpectFields(t, 2004, 2, 29, 13, 14, 15);
    EXPECT_FALSE(t.SetTime(2001, 4, 31, 0, 0, 0));
    ExpectFields(t, 2004, 2, 29, 13, 14, 15);
    EXPECT_TRUE(t.SetDate(2005, 1, 2, TRUE));
    ExpectFields(t, 2005, 1, 2, 0, 0, 0);
    EXPECT_EQ(t.GetDayOfWeek(), 0);

    // The first bad field stops; earlier fields stay stored.
    EXPECT_FALSE(t.SetTime(7, 60, 1));
    EXPECT_EQ(t.GetHour(), 7);
    EXPECT_EQ(t.GetMinute(), 0);
    EXPECT_TRUE(t.SetTime(7, 8, 9, TRUE));
    ExpectFields(t, 0, 0, 0, 7, 8, 9);

    EXPECT_FALSE(t.SetMonth(13));
    EXPECT_FALSE(t.SetHour(25));
    EXPECT_TRUE(t.SetHour(24));
    EXPECT_FALSE(t.SetDay(32));

    DWORD ms;
    ASSERT_TRUE(t.SetTime((DWORD)(3600000u * 5 + 61001u), FALSE));
    t.GetTime(&ms);
    EXPECT_EQ(ms, 3600000u * 5 + 61001u);
    EXPECT_FALSE(t.SetTime((DWORD)86400000u, FALSE));
}

TEST(KvTimeTest, DateTextFollowsTheLocaleOrder) {
    LocaleGuard guard;
    kvData.sDate = "/";
    KvTime t;
    kvData.iDate = 1;
    EXPECT_TRUE(t.SetDate("31/12/05", TRUE));
    ExpectFields(t, 2005, 12, 31, 0, 0, 0);

    // Month 31 is refused; the day and the year are still taken.
    kvData.iDate = 0;
    KvTime today = KvTime::GetCurDate();
    EXPECT_FALSE(t.SetDate("31/12/05", TRUE));
    EXPECT_EQ(t.GetDay(), 12);
    EXPECT_EQ(t.GetYear(), 2005);
    EXPECT_EQ(t.GetMonth(), today.GetMonth());

    kvData.iDate = 2;
    kvData.sDate = "-";
    EXPECT_TRUE(t.SetDate("1999-02-03", TRUE));
    ExpectFields(t, 1999, 2, 3, 0, 0, 0);

    kvData.iDate = 1;
    kvData.sDate = "/";
    ASSERT_TRUE(t.SetDate("1/1/36"));
    EXPECT_EQ(t.GetYear(), 1936);
    ASSERT_TRUE(t.SetDate("1/1/35"));
    EXPECT_EQ(t.GetYear(), 2035);
    ASSERT_TRUE(t.SetDate("1/1/99"));
    EXPECT_EQ(t.GetYear(), 1999);
    ASSERT_TRUE(t.SetDate("1/1/2005"));
    EXPECT_EQ(t.GetYear(), 2005);

    EXPECT_FALSE(t.SetDate("31/02/05"));  // every field in range, no such day
    EXPECT_FALSE(t.SetDate("1/2"));
    EXPECT_FALSE(t.SetDate("a/b/c"));
    EXPECT_FALSE(t.SetDate(nullptr));
}

TEST(KvTimeTest, TimeTextAndDateTimeText) {
    LocaleGuard guard;
    kvData.sDate = "/";
    kvData.sTime = ":";
    kvData.iDate = 1;
    KvTime t(2001, 5, 6, 1, 2, 3);
    EXPECT_TRUE(t.SetTime("12:30:15"));
    ExpectFields(t, 2001, 5, 6, 12, 30, 15);
    EXPECT_FALSE(t.SetTime("24:00:00"));
    EXPECT_FALSE(t.SetTime("12:3x:00"));
    EXPECT_FALSE(t.SetTime("12"));
    ExpectFields(t, 2001, 5, 6, 12, 30, 15);

    EXPECT_TRUE(t.SetDateTime("31/12/05 23:59:58"));
    ExpectFields(t, 2005, 12, 31, 23, 59, 58);
    EXPECT_TRUE(t.SetDateTime("1/2/03"));
    ExpectFields(t, 2003, 2, 1, 0, 0, 0);
    EXPECT_FALSE(t.SetDateTime("1/2/03 25:00:00"));
}

TEST(KvTimeTest, ArithmeticIsLinearEvenBeforeTheEpoch) {
    KvTime t(1899, 12, 29, 6, 0, 0);
    t += 0.5;
    ExpectFields(t, 1899, 12, 29, 18, 0, 0);
    t += 0.5;
    ExpectFields(t, 1899, 12, 30, 6, 0, 0);
    EXPECT_DOUBLE_EQ(KvTime(1899, 12, 30, 6, 0, 0) - KvTime(1899, 12, 29, 18, 0, 0), 0.5);

    KvTime u(2006, 2, 28, 23, 0, 0);
    u.SetTimeAfter(0, 2, 0, 0);
    ExpectFields(u, 2006, 3, 1, 1, 0, 0);
    u.SetTimeBefore(1, 1, 0, 0);
    ExpectFields(u, 2006, 2, 28, 0, 0, 0);
    EXPECT_DOUBLE_EQ(KvGetTimeSpan(1, 12, 0, 0), 1.5);

    KvTime empty;
    empty += 3;  // nothing to add to
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(KvTimeTest, MonthBoundaries) {
    KvTime t(2004, 2, 10, 15, 0, 0);
    ExpectFields(t.GetFirstDOM(), 2004, 2, 1, 0, 0, 0);
    ExpectFields(t.GetEndDOM(), 2004, 2, 29, 0, 0, 0);
    KvTime dec(2005, 12, 31, 1, 2, 3);
    ExpectFields(dec.GetFirstDOMNext(), 2006, 1, 1, 0, 0, 0);
    ExpectFields(dec.GetEndDOM(), 2005, 12, 31, 0, 0, 0);
}

TEST(KvTimeTest, CompareOrdersFieldByField) {
    KvTime a(2005, 1, 1, 0, 0, 0), b(2005, 1, 1, 0, 0, 1);
    EXPECT_LT(a, b);
    EXPECT_EQ(a.Compare(b), -1);
    EXPECT_EQ(b.Compare(a), 1);
    EXPECT_TRUE(a.IsSameDate(b));
    EXPECT_EQ(a, KvTime(2005, 1, 1));
}

TEST(KvTimeTest, FormatIsBoundedAndTimeTConversionRoundTrips) {
    KvTime t(2006, 1, 31, 23, 59, 59);
    EXPECT_EQ(t.Format("%Y-%m-%d %H:%M:%S"), "2006-01-31 23:59:59");
    std::string big(500, 'x');
    EXPECT_EQ(t.Format(big.c_str()).GetLength(), 127);
    EXPECT_EQ(t.Format(std::string().c_str()), "");  // an empty format gives empty text

    time_t tt;
    ASSERT_TRUE(t.GetTime(&tt));
    EXPECT_EQ(KvTime(tt), t);
    EXPECT_FALSE(t.FormatGmt("%Y").IsEmpty());
    EXPECT_TRUE(KvTime().FormatGmt("%Y").IsEmpty());
}

TEST(KvTimeTest, FileTimeConversions) {
    KvTime t(2006, 2, 23, 10, 20, 30);
    KvFileTime ft(t);
    KvTime back;
    ASSERT_TRUE(ft.GetTime(back));
    EXPECT_EQ(back, t);
    EXPECT_EQ(KvTime((FILETIME)ft), t);

    KvTime epoch;
    ASSERT_TRUE(KvFileTime::FromUnix(0).GetTime(epoch));
    ExpectFields(epoch, 1970, 1, 1, 0, 0, 0);
    EXPECT_EQ(KvFileTime::FromUnix(1234567890).ToUnix(), 1234567890);
    EXPECT_LT(KvFileTime::FromUnix(1), KvFileTime::FromUnix(2));

    WORD date, time;
    ASSERT_TRUE(ft.GetDateTime(&date, &time));
    EXPECT_EQ(date, (WORD)((26 << 9) | (2 << 5) | 23));
    EXPECT_EQ(time, (WORD)((10 << 11) | (20 << 5) | 15));
    EXPECT_FALSE(KvFileTime::FromUnix(0).GetDateTime(&date, &time));
}

TEST(KvTimeTest, TheMachineClockIsNeverSet) {
    KvTime t = KvTime::GetCurTime();
    EXPECT_FALSE(GMTtoSystemTime(t));
    EXPECT_FALSE(SystemtoGMTTime(t));
}

TEST(KvTimeTest, LocaleFormatsUseTheRegionalPictures) {
    KvTime t(2006, 2, 3, 4, 5, 6);
    EXPECT_EQ(t.Format(KV_TIMEFMT_SECONDS), t.Format(kvData.GetTimeFmt(KV_TIMEFMT_SECONDS).c_str()));
    CString text;
    t.GetTime(text);
    EXPECT_EQ(text, t.Format(kvData.GetDateTimeFmt().c_str()));
    EXPECT_NE(text.Find("06"), -1);
}
