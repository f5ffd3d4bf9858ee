#include <gtest/gtest.h>

#include <cstring>

#include "base/platform/Archive.h"
#include "base/platform/CString.h"

TEST(CStringTest, OutOfRangeExtractionClampsInsteadOfThrowing) {
    CString s("abcdef");
    EXPECT_EQ(s.Mid(4, 100), "ef");
    EXPECT_EQ(s.Mid(10), "");
    EXPECT_EQ(s.Mid(-3, 2), "ab");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Left(99), "abcdef");
    EXPECT_EQ(s.Right(2), "ef");
    EXPECT_EQ(s.Right(99), "abcdef");
}

TEST(CStringTest, FormatIsNeverTruncated) {
    std::string big(100000, 'x');
    CString s;
    s.Format("<%s>", big.c_str());
    EXPECT_EQ(s.GetLength(), 100002);
    EXPECT_EQ(s.Left(2), "<x");
}

// Callers extend a text by formatting it into itself; the old text must
// still be there while it is read (short and long results alike).
TEST(CStringTest, FormatMayReadItsOwnText) {
    CString s("abc");
    s.Format("%s-%d", s.c_str(), 1);
    EXPECT_EQ(s, "abc-1");

    CString big(std::string(600, 'y'));
    big.Format("[%s]", big.c_str());
    ASSERT_EQ(big.GetLength(), 602);
    EXPECT_EQ(big.Left(2), "[y");
    EXPECT_EQ(big.Right(2), "y]");
}

TEST(CStringTest, ReplaceWithEmptySearchTextDoesNothing) {
    CString s("aaa");
    EXPECT_EQ(s.Replace("", "b"), 0);
    EXPECT_EQ(s.Replace("a", "aa"), 3);
    EXPECT_EQ(s, "aaaaaa");
}

TEST(CStringTest, BufferRoundTrip) {
    CString s;
    char* p = s.GetBuffer(10);
    std::strcpy(p, "hey");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    EXPECT_EQ(s, "hey");
}

TEST(ArchiveTest, RoundTripAndShortReadFails) {
    CArchive out(CArchive::store);
    out << (int32_t)-5 << 2.5 << CString("text") << (uint16_t)7;
    CArchive in(CArchive::load, out.GetBytes());
    int32_t i; double d; CString s; uint16_t w;
    in >> i >> d >> s >> w;
    EXPECT_EQ(i, -5);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(s, "text");
    EXPECT_EQ(w, 7);
    EXPECT_FALSE(in.IsFailed());
    in >> i;
    EXPECT_TRUE(in.IsFailed());
}

// Loading from an empty archive (an empty stored record) reads nothing,
// fails, and leaves zero values: no copy from a vector without data.
TEST(ArchiveTest, LoadingFromAnEmptyArchiveFails) {
    CArchive in(CArchive::load);
    uint32_t n = 7;
    CString s("x");
    in >> n >> s;
    EXPECT_TRUE(in.IsFailed());
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(ArchiveTest, CorruptStringLengthDoesNotAllocate) {
    CArchive out(CArchive::store);
    out << (uint32_t)0xFFFFFFF0u;
    CArchive in(CArchive::load, out.GetBytes());
    CString s;
    in >> s;
    EXPECT_TRUE(in.IsFailed());
    EXPECT_TRUE(s.IsEmpty());
}
