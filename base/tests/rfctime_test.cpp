#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/time/KvTime.h"

namespace {

SYSTEMTIME Record(int y, int mo, int d, int h, int mi, int s, int wday) {
    SYSTEMTIME st{};
    st.wYear = (WORD)y;
    st.wMonth = (WORD)mo;
    st.wDay = (WORD)d;
    st.wHour = (WORD)h;
    st.wMinute = (WORD)mi;
    st.wSecond = (WORD)s;
    st.wDayOfWeek = (WORD)wday;
    return st;
}

bool SameRecord(const SYSTEMTIME& a, const SYSTEMTIME& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const char* const kForms[] = {
    "Sun, 06 Nov 1994 08:49:37 GMT",
    "Sunday, 06-Nov-94 08:49:37 GMT",
    "Sun Nov  6 08:49:37 1994",
};

}  // namespace

TEST(RfcTime, FormatWritesExactly29Characters) {
    SYSTEMTIME st = Record(1994, 11, 6, 8, 49, 37, 0);
    CString text;
    ASSERT_TRUE(GetRFCTimeFormat(&st, &text));
    EXPECT_EQ(text, "Sun, 06 Nov 1994 08:49:37 GMT");

    CsString cs;
    ASSERT_TRUE(GetRFCTimeFormat(&st, &cs));
    EXPECT_STREQ(cs.GetStr(), "Sun, 06 Nov 1994 08:49:37 GMT");

    CString viaTime;
    KvTime(st).GetRFCTime(viaTime);
    EXPECT_EQ(viaTime, text);
}

TEST(RfcTime, FormatRefusesRecordsItCannotWrite) {
    CString text = "old";
    SYSTEMTIME noMonth = Record(1994, 0, 6, 8, 49, 37, 0);
    EXPECT_FALSE(GetRFCTimeFormat(&noMonth, &text));
    EXPECT_TRUE(text.IsEmpty());
    SYSTEMTIME bigYear = Record(12000, 1, 1, 0, 0, 0, 0);
    EXPECT_FALSE(GetRFCTimeFormat(&bigYear, &text));
    // A weekday out of range is recomputed from the date.
    SYSTEMTIME badDay = Record(1994, 11, 6, 8, 49, 37, 9);
    ASSERT_TRUE(GetRFCTimeFormat(&badDay, &text));
    EXPECT_EQ(text, "Sun, 06 Nov 1994 08:49:37 GMT");
}

TEST(RfcTime, TheThreeFormsGiveTheSameRecord) {
    SYSTEMTIME expected = Record(1994, 11, 6, 8, 49, 37, 0);
    for (const char* form : kForms) {
        SYSTEMTIME st{};
        st.wMilliseconds = 55;
        ASSERT_TRUE(GetRFCTime(form, &st)) << form;
        EXPECT_TRUE(SameRecord(st, expected)) << form;
    }
    SYSTEMTIME st{};
    EXPECT_TRUE(GetRFCTime("sun, 06 nov 1994 08:49:37 gmt", &st));
    EXPECT_TRUE(GetRFCTime("Sun, 06 Nov 1994 08:49:37 GMT; length=1234", &st));
}

TEST(RfcTime, YearRulesOfTheForms) {
    SYSTEMTIME st{};
    EXPECT_FALSE(GetRFCTime("Sun, 06 Nov 1949 08:49:37 GMT", &st));
    ASSERT_TRUE(GetRFCTime("Sunday, 06-Nov-70 08:49:37 GMT", &st));
    EXPECT_EQ(st.wYear, 2070);
    ASSERT_TRUE(GetRFCTime("Sunday, 06-Nov-71 08:49:37 GMT", &st));
    EXPECT_EQ(st.wYear, 1971);
    EXPECT_FALSE(GetRFCTime("Sun Nov  6 08:49:37 2501", &st));
}

TEST(RfcTime, MalformedTextsAreNotDates) {
    const char* bad[] = {
        "",
        "Sun",
        "Xyz, 06 Nov 1994 08:49:37 GMT",
        "Sun, 06 Foo 1994 08:49:37 GMT",
        "Sun, 00 Nov 1994 08:49:37 GMT",
        "Sun, 6 Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 24:49:37 GMT",
        "Sun, 06 Nov 1994 08:60:37 GMT",
        "Sun, 06 Nov 1994 08:49:37 UTC",
        "Sun, 31 Feb 1994 08:49:37 GMT",
        "Sun, 32 Nov 1994 08:49:37 GMT",
        "Sun, 0x Nov 1994 08:49:37 GMT",
        "Sundae, 06-Nov-94 08:49:37 GMT",
        "Wednesdayyyyyyyyyy, 06-Nov-94 08:49:37 GMT",
        "no comma at all in this text",
    };
    for (const char* text : bad) {
        SYSTEMTIME st{};
        EXPECT_FALSE(GetRFCTime(text, &st)) << text;
    }
    SYSTEMTIME st{};
    EXPECT_FALSE(GetRFCTime(nullptr, &st));
    std::string longText = std::string(kForms[0]) + std::string(200, ' ');
    EXPECT_FALSE(GetRFCTime(longText.c_str(), &st));
}

TEST(RfcTime, EveryShortenedFormFailsWithoutReadingPastTheEnd) {
    for (const char* form : kForms) {
        std::string full(form);
        for (size_t n = 0; n < full.size(); ++n) {
            // An exact-size heap copy so that a read past the end is caught
            // by the address sanitizer.
            char* text = new char[n + 1];
            std::memcpy(text, full.data(), n);
            text[n] = '\0';
            SYSTEMTIME st{};
            EXPECT_FALSE(GetRFCTime(text, &st)) << "'" << text << "'";
            delete[] text;
        }
    }
}

TEST(ConvertStringToTimeTest, FixedNineteenCharacterForm) {
    KvTime t;
    ASSERT_TRUE(ConvertStringToTime("2006-01-31 23:59:59", &t));
    EXPECT_EQ(t, KvTime(2006, 1, 31, 23, 59, 59));
    // Any separators.
    ASSERT_TRUE(ConvertStringToTime("2006/02/01T01.02.03", &t));
    EXPECT_EQ(t, KvTime(2006, 2, 1, 1, 2, 3));
    // A wrong length fails; an invalid date succeeds but keeps the value.
    EXPECT_FALSE(ConvertStringToTime("2006-1-31 23:59:59", &t));
    EXPECT_TRUE(ConvertStringToTime("2006-02-31 10:00:00", &t));
    EXPECT_EQ(t, KvTime(2006, 2, 1, 1, 2, 3));
    EXPECT_TRUE(ConvertStringToTime("abcd-ef-gh ij:kl:mn", &t));
    EXPECT_EQ(t, KvTime(2006, 2, 1, 1, 2, 3));
    EXPECT_FALSE(ConvertStringToTime(nullptr, &t));
}
