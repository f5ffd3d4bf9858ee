#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/containers/CsList.h"
#include "base/platform/StringTable.h"
#include "base/str/StrFunc.h"

namespace {

std::vector<std::string> Items(const CsStrList& list) {
    std::vector<std::string> out;
    for (CsStrListItem* p = list.Head(); p; p = p->Next()) out.push_back(p->GetStr());
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(StrFuncTest, NullCountsAsEmpty) {
    EXPECT_EQ(StrLength(nullptr), 0);
    EXPECT_TRUE(StrIsEmpty(nullptr));
    EXPECT_TRUE(StrIsEmpty(""));
    EXPECT_EQ(StrCopy((const char*)nullptr, -1), nullptr);
    EXPECT_EQ(StrCopy("abc", 0), nullptr);
    EXPECT_EQ(GetStrConcat(nullptr, ""), nullptr);
    EXPECT_EQ(StrTrim(static_cast<char*>(nullptr)), nullptr);
    EXPECT_EQ(StrCompare(nullptr, nullptr), 0);
    EXPECT_EQ(StrCompare(nullptr, ""), -1);
    EXPECT_EQ(StrCompare("", nullptr), 1);
    EXPECT_LT(StrICompare(nullptr, "a"), 0);
    EXPECT_EQ(StrIFindZ((const char*)nullptr, "a"), nullptr);
    EXPECT_EQ(StrHashValue(nullptr), 0u);
}

TEST(StrFuncTest, AllocationAndOwnership) {
    char* p = StrAlloc(5);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], '\0');
    EXPECT_EQ(p[5], '\0');
    StrDestroy(p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(StrAlloc(-1), nullptr);

    char* s = StrCopy("hello", 3);
    EXPECT_STREQ(s, "hel");
    StrAssign(s, s + 1);  // source inside the old string
    EXPECT_STREQ(s, "el");
    StrConcat(s, "!");
    EXPECT_STREQ(s, "el!");
    StrDestroy(s);

    char* longer = StrCopy("ab", 10);  // n beyond the text never over-reads
    EXPECT_STREQ(longer, "ab");
    std::free(longer);
}

TEST(StrFuncTest, BoundedCopyAndAppendNeverExceedMax) {
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    StrCopy(buf, "abcdef", 4, true);
    EXPECT_STREQ(buf, "abcd");
    StrCopy(buf, "", 4, true);
    EXPECT_STREQ(buf, "");
    StrCopy(buf, "abc");
    StrAppend(buf, "defgh", 5, true);
    EXPECT_STREQ(buf, "abcde");
    StrAppend(buf, 'Z');
    EXPECT_STREQ(buf, "abcdeZ");
    StrCopyAppend(buf, 7, "abc", "def", "ghi", "jkl");
    EXPECT_STREQ(buf, "abcdefg");
    buf[0] = '\0';
    StrAppendN(buf, 3, "a", "b", "c");
    EXPECT_STREQ(buf, "abc");
    StrFill(buf, '-', 3);
    EXPECT_STREQ(buf, "---");
    EXPECT_EQ(StrCat("a", "b", nullptr, "d"), "abd");
}

TEST(StrFuncTest, MakePathAcceptsBothSeparators) {
    char buf[64];
    EXPECT_STREQ(StrMakePath(buf, "/base", "x.txt"), "/base/x.txt");
    EXPECT_STREQ(StrMakePath(buf, "/base/", "x.txt"), "/base/x.txt");
    EXPECT_STREQ(StrMakePath(buf, "c:\\dir\\", "x"), "c:\\dir\\x");
    EXPECT_STREQ(StrMakePath(buf, "/base", "/abs"), "/abs");
    EXPECT_STREQ(StrMakePath(buf, "/base", "d:\\abs"), "d:\\abs");
    EXPECT_STREQ(StrMakePath(buf, "", "x"), "x");
    EXPECT_EQ(StrMakePath(buf, "/base", ""), nullptr);
}

TEST(StrFuncTest, CaseTrimAndCompare) {
    char s[] = "  Hello World \t";
    EXPECT_STREQ(StrTrim(s), "Hello World");
    char blank[] = "   ";
    EXPECT_NE(StrTrim(blank), nullptr);
    EXPECT_STREQ(blank, "");
    char mixed[] = "aBc";
    EXPECT_STREQ(StrUpperCase(mixed), "ABC");
    EXPECT_STREQ(StrLowerCase(mixed), "abc");
    EXPECT_EQ(StrCompare("a", "\xE9"), -1);  // unsigned bytes
    EXPECT_EQ(StrCompare("abcX", "abcY", 3), 0);
    EXPECT_EQ(StrCompare("abcX", "abcY", 0), 0);
    EXPECT_EQ(StrICompare("Content-Type", "content-type"), 0);
    EXPECT_EQ(StrICompare("HOSTx", "hosty", 4), 0);
    EXPECT_TRUE(StrIsEndWith("file.txt", ".txt"));
    EXPECT_FALSE(StrIsEndWith("file.txt", ""));
    const char* text = "GET http://Example.COM/";
    EXPECT_EQ(StrIFindZ(text, "example.com"), text + 11);
    EXPECT_EQ(StrIFindZ(text, 'e'), text + 1);
    EXPECT_EQ(StrIFindZ(text, "exampleX"), nullptr);
}

TEST(StrFuncTest, HashUsesSignedBytes) {
    EXPECT_EQ(StrHashValue(""), 0u);
    EXPECT_EQ(StrHashValue("ab"), 583u);
    EXPECT_EQ(StrHashValue("\xE9"), (unsigned)-23);
}

TEST(StrFuncTest, SplitInPlace) {
    char text[] = "a,b,,c\nignored";
    char* fields[8];
    ASSERT_EQ(StrSplit(text, ",", fields, 8, false, false), 4);
    EXPECT_STREQ(fields[0], "a");
    EXPECT_STREQ(fields[2], "");
    EXPECT_STREQ(fields[3], "c");

    char spaced[] = "  one  two ";
    ASSERT_EQ(StrSplit(spaced, nullptr, fields, 8, true, true), 2);
    EXPECT_STREQ(fields[0], "one");
    EXPECT_STREQ(fields[1], "two");

    char labels[] = "www.example.com";
    EXPECT_EQ(StrSplit(labels, ".", fields, 2, false, false), -1);  // too many fields
    EXPECT_EQ(StrSplit(nullptr, ".", fields, 2, false, false), -1);
    char empty[] = "";
    EXPECT_EQ(StrSplit(empty, ".", fields, 0, true, false), 0);
}

TEST(StrFuncTest, EscapeAndUnescape) {
    char out[64];
    EXPECT_EQ(StrEscape("a b&\xE9", out, sizeof out), 7);
    EXPECT_STREQ(out, "a+b&%E9");
    StrEscape("\t", out, sizeof out);
    EXPECT_STREQ(out, "%09");
    EXPECT_EQ(StrEscape("", out, sizeof out), 0);
    EXPECT_EQ(StrEscape("abc", out, 0), 0);

    char pct[] = "100%";
    StrUnEscape(pct);
    EXPECT_STREQ(pct, "100%");
    char hex[] = "%41%2b+x%4";
    StrUnEscape(hex);
    EXPECT_STREQ(hex, "A+ x%4");
    EXPECT_EQ(Esc2Char("e9"), '\xE9');

    CString s("a b\xFF");
    EXPECT_TRUE(StrEscape(&s));
    EXPECT_EQ(s, "a+b%FF");
    EXPECT_TRUE(StrUnEscape(&s));
    EXPECT_EQ(s, "a b\xFF");
    CString none;
    EXPECT_FALSE(StrEscape(&none));
    CsString cs("x y");
    EXPECT_TRUE(StrEscape(&cs));
    EXPECT_STREQ(cs.GetStr(), "x+y");
}

TEST(StrFuncTest, EscapeNeverWritesPastTheBuffer) {
    // The escape of the last byte needs three bytes; only two are left.
    char out[8];
    std::memset(out, '#', sizeof out);
    int n = StrEscape("abcd\x01", out, 7);
    EXPECT_EQ(n, 4);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(out[7], '#');

    for (int size = 1; size < 12; ++size) {
        std::vector<char> buf((size_t)size + 4, '#');
        int len = StrEscape("\x01\x02 a\x03", buf.data(), size);
        EXPECT_LT(len, size);
        EXPECT_EQ(buf[(size_t)len], '\0');
        for (size_t i = (size_t)size; i < buf.size(); ++i) EXPECT_EQ(buf[i], '#') << size;
    }
}

TEST(StrFuncTest, HexPackAndScrambleRoundTrip) {
    const unsigned char bytes[] = {0x00, 0xFF};
    char hex[5] = {};
    StrUnpack(bytes, hex, 2);
    EXPECT_STREQ(hex, "00FF");
    unsigned char back[2] = {1, 1};
    StrPack("00FF", back, 4);
    EXPECT_EQ(back[0], 0x00);
    EXPECT_EQ(back[1], 0xFF);

    CsString s("Ab");
    EXPECT_TRUE(StrUnpack(s));
    EXPECT_STREQ(s.GetStr(), "4162");
    EXPECT_TRUE(StrPack(s));
    EXPECT_STREQ(s.GetStr(), "Ab");

    // Every byte value, including the one the scrambling maps to zero.
    std::string all;
    for (int c = 1; c < 256; ++c) all += (char)c;
    CsString secret(all.c_str());
    ASSERT_TRUE(StrEncrypt(secret));
    EXPECT_EQ(secret.GetLength(), 2 * all.size());
    EXPECT_EQ(std::string(secret.GetStr()).find_first_not_of(HEX_CHAR), std::string::npos);
    ASSERT_TRUE(StrDecrypt(secret));
    EXPECT_EQ(std::string(secret.GetStr()), all);

    CsString empty;
    EXPECT_TRUE(StrEncrypt(empty));
    EXPECT_TRUE(StrUnpack(empty));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(StrFuncTest, ColoursAndShortColourTexts) {
    EXPECT_EQ(RGB2Text(0x00332211), "#112233");
    EXPECT_EQ(Text2RGB("#112233"), 0x00332211u);
    EXPECT_EQ(Text2RGB("#FFcc00"), 0x0000CCFFu);
    // A short text stops at its end instead of reading past it.
    EXPECT_EQ(Text2RGB("#12"), 0x00000012u);
    EXPECT_EQ(Text2RGB(""), 0u);
    EXPECT_EQ(Text2RGB(nullptr), 0u);
}

namespace {
int FormatInto(char* buf, size_t size, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = StrFormatV(buf, size, fmt, args);
    va_end(args);
    return n;
}
int LengthFor(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = StrFormatLength(fmt, args);
    va_end(args);
    return n;
}
}  // namespace

TEST(StrFuncTest, FormattingIsBoundedAndSizedToFit) {
    EXPECT_EQ(StrFormat("%05d|%-3s|%x|%.2f", 42, "a", 255, 1.5), "00042|a  |ff|1.50");
    std::string big(20000, 'y');
    EXPECT_EQ(StrFormat("%s", big.c_str()).GetLength(), 20000);
    EXPECT_EQ(LengthFor("%s", "short"), 8192);
    EXPECT_EQ(LengthFor("%s!", big.c_str()), 20002);

    char small[6];
    EXPECT_EQ(FormatInto(small, sizeof small, "%s", "abcdefgh"), 5);
    EXPECT_STREQ(small, "abcde");
    std::vector<char> fits((size_t)LengthFor("<%s>", big.c_str()));
    EXPECT_EQ(FormatInto(fits.data(), fits.size(), "<%s>", big.c_str()), 20002);
}

TEST(StrFuncTest, CutAndBrackets) {
    EXPECT_EQ(CutString("abcdef", 3), "abc...");
    EXPECT_EQ(CutString("abc", 3), "abc");
    EXPECT_EQ(CutString(nullptr, 3), "");
    CString out("stale");
    EXPECT_TRUE(RemoveDoubleBrackets("[[x]]", out));
    EXPECT_EQ(out, "x");
    EXPECT_FALSE(RemoveDoubleBrackets("[[]", out));
    EXPECT_EQ(out, "");
    CString w;
    lpcwstr_to_cstring(L"h\u0101", w);
    EXPECT_EQ(w, "h\x01");
}

TEST(StrFuncTest, RandomStaysWithinBoundsAndReachesBoth) {
    std::srand(7);
    bool sawLo = false, sawHi = false;
    for (int i = 0; i < 200000; ++i) {
        int r = Random(0, 15);
        ASSERT_GE(r, 0);
        ASSERT_LE(r, 15);
        sawLo |= r == 0;
        sawHi |= r == 15;
        int n = Random(-3, 3);
        ASSERT_GE(n, -3);
        ASSERT_LE(n, 3);
    }
    EXPECT_TRUE(sawLo && sawHi);
    EXPECT_EQ(Random(5, 5), 5);
    int reversed = Random(10, 0);
    EXPECT_TRUE(reversed >= 0 && reversed <= 10);
    CString digits = GetStrRandom(12);
    EXPECT_EQ(digits.GetLength(), 12);
    EXPECT_EQ(digits.str().find_first_not_of("0123456789"), std::string::npos);
    CString hexa = GetStrRandomHexa(12);
    EXPECT_EQ(hexa.str().find_first_not_of(HEX_CHAR), std::string::npos);
    EXPECT_EQ(GetStrRandomHexa(0), "");
}

TEST(StrFuncTest, ResourcesFromTheStringTable) {
    static const KvStringEntry texts[] = {{900001, "txt|Text files"}, {900002, ""}};
    KvRegisterStrings(texts, 2);
    CString text, filter;
    EXPECT_TRUE(FilterResource(900001, text, filter));
    EXPECT_EQ(filter, "txt");
    EXPECT_EQ(text, "Text files");
    char* copy = StrResource(900001);
    EXPECT_STREQ(copy, "txt|Text files");
    std::free(copy);
    EXPECT_FALSE(StrResource(900999, text));
    EXPECT_EQ(StrResource(900999), nullptr);

    const char* before = KvLookupString(900001);
    KvRegisterString(900001, "replaced");
    EXPECT_STREQ(before, "txt|Text files");  // earlier pointers stay valid
    EXPECT_STREQ(KvLookupString(900001), "replaced");
}

TEST(StrExplodeTest, LinesFollowTheBufferLineRules) {
    CsStrList list;
    EXPECT_TRUE(StrLineExplode("a\r\nb\n\rc\rd\r\r\ne\n", list));
    EXPECT_EQ(Items(list), (Strings{"a", "b", "c", "d", "e"}));
    CsStrList none;
    EXPECT_TRUE(StrLineExplode(nullptr, none));
    EXPECT_TRUE(none.IsEmpty());
}

TEST(StrExplodeTest, ExplodeKeepsEmptyPiecesAndRefusesEmptySeparator) {
    CsStrList list;
    EXPECT_TRUE(StrExplode("a::b::::c::", "::", list));
    EXPECT_EQ(Items(list), (Strings{"a", "b", "", "c", ""}));
    CsStrList empty;
    EXPECT_FALSE(StrExplode("abc", "", empty));
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(StrExplodeTest, ExplodeToArrayDropsTheRestAndClearsUnusedElements) {
    CsString parts[3] = {"old", "old", "old"};
    EXPECT_TRUE(StrExplodeToArray("a\tb\tc\td", "\t", parts, 3));
    EXPECT_STREQ(parts[0].GetStr(), "a");
    EXPECT_STREQ(parts[2].GetStr(), "c");
    EXPECT_TRUE(StrExplodeToArray("x", "\t", parts, 3));
    EXPECT_STREQ(parts[0].GetStr(), "x");
    EXPECT_TRUE(parts[1].IsEmpty());
    EXPECT_TRUE(StrExplodeToArray("x\ty", "", parts, 3));
    EXPECT_STREQ(parts[0].GetStr(), "x\ty");
}

TEST(StrExplodeTest, TokensAndBreaks) {
    CsStrList list;
    EXPECT_TRUE(StrExplodeByChar("a, b", ",", list, 3));
    EXPECT_EQ(Items(list), (Strings{"a", "b", ""}));

    list.AddTail("stale");
    EXPECT_TRUE(BreakTokens("a,,b", list, ','));
    EXPECT_EQ(Items(list), (Strings{"a"}));
    EXPECT_TRUE(BreakTokens("dir/sub/page", list, '/'));
    EXPECT_EQ(Items(list), (Strings{"dir", "sub", "page"}));

    CString left, right;
    EXPECT_TRUE(Break2String(" a = b = c ", left, right, '='));
    EXPECT_EQ(left, "a");
    EXPECT_EQ(right, "b = c");
    EXPECT_FALSE(Break2String("alone", left, right, '='));
    EXPECT_EQ(left, "alone");
    EXPECT_EQ(right, "");

    CString key, value;
    BreakKeyValue(" Name = 'x y' ", key, value, '=');
    EXPECT_EQ(key, "name");
    EXPECT_EQ(value, "x y");
    BreakKeyValue("k=\"", key, value, '=');
    EXPECT_EQ(value, "");
}
