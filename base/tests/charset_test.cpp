#include <gtest/gtest.h>

#include "base/platform/Archive.h"
#include "base/str/KvCharSet.h"

TEST(KvCharSetTest, MembershipCoversAllByteValues) {
    KvCharSet s;
    s.Include(0);
    s.Include(0xFF);
    s.Include((BYTE)'\xE9');
    EXPECT_TRUE(s.IsInclude(0));
    EXPECT_TRUE(s.IsInclude(255));
    EXPECT_TRUE(s.IsInclude(0xE9));
    EXPECT_FALSE(s.IsInclude(0xE8));
    s.Exclude(0xFF);
    EXPECT_FALSE(s.IsInclude(255));
    s.AllOn();
    EXPECT_TRUE(s.IsInclude(0x80));
    s.AllOff();
    EXPECT_EQ(s, KvCharSet());
}

TEST(KvCharSetTest, SetAlgebra) {
    KvCharSet abc("abc");
    KvCharSet bcd("bcd");
    EXPECT_EQ(abc | bcd, KvCharSet("abcd"));
    EXPECT_EQ(abc + "xy", KvCharSet("abcxy"));
    EXPECT_EQ(abc - bcd, KvCharSet('a'));
    KvCharSet both(abc);
    both &= bcd;
    EXPECT_EQ(both, KvCharSet("bc"));
    both &= "cz";
    EXPECT_EQ(both, KvCharSet("c"));
    KvCharSet notAbc = ~abc;
    EXPECT_FALSE(notAbc.IsInclude('a'));
    EXPECT_TRUE(notAbc.IsInclude(0));
    EXPECT_TRUE(notAbc.IsInclude('z'));
    KvCharSet assigned;
    assigned = "q";
    EXPECT_EQ(assigned, KvCharSet('q'));
    EXPECT_NE(assigned, abc);
}

TEST(KvCharSetTest, NamedSetsHoldTheirMembers) {
    EXPECT_TRUE(CSLetters.IsInclude('a') && CSLetters.IsInclude('Z'));
    EXPECT_FALSE(CSLetters.IsInclude('1'));
    EXPECT_TRUE(CSNumbers.IsInclude(',') && CSNumbers.IsInclude('.') && CSNumbers.IsInclude('-'));
    EXPECT_FALSE(CSNumbers.IsInclude('e'));
    EXPECT_TRUE(CSFloats.IsInclude('E') && CSFloats.IsInclude('D'));
    EXPECT_TRUE(CSWords.IsInclude(' ') && CSWords.IsInclude('-') && CSWords.IsInclude('7'));
    EXPECT_TRUE(CSPunct.IsInclude('\\') && CSPunct.IsInclude('`') && CSPunct.IsInclude('='));
    EXPECT_FALSE(CSPunct.IsInclude('a'));
    EXPECT_TRUE(CSPrintable.IsInclude('a') && CSPrintable.IsInclude('?'));
    EXPECT_FALSE(CSPrintable.IsInclude('\t'));
    EXPECT_TRUE(FilterText.IsInclude('\t') && FilterText.IsInclude('\b'));
    EXPECT_TRUE(FilterDateTime.IsInclude('P') && FilterTime.IsInclude(':'));
    EXPECT_EQ(FilterDateTime, FilterTime);
    EXPECT_FALSE(FilterNumbers.IsInclude('.'));
    EXPECT_TRUE(FilterBool.IsInclude('1') && !FilterBool.IsInclude('2'));
}

TEST(KvCharSetTest, SerializeRoundTripAndShortArchiveGivesEmptySet) {
    KvCharSet s("hello\xF0");
    CArchive out(CArchive::store);
    s.Serialize(out);
    ASSERT_EQ(out.GetBytes().size(), 32u);

    CArchive in(CArchive::load, out.GetBytes());
    KvCharSet back;
    back.Serialize(in);
    EXPECT_EQ(back, s);

    std::vector<unsigned char> truncated(out.GetBytes().begin(), out.GetBytes().begin() + 10);
    CArchive shortIn(CArchive::load, truncated);
    KvCharSet partial("zzz");
    partial.Serialize(shortIn);
    EXPECT_EQ(partial, KvCharSet());
}
