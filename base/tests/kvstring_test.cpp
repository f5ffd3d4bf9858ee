#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "base/app/KvData.h"
#include "base/platform/Ui.h"
#include "base/str/KvString.h"

TEST(KvStringTest, ConstructionAndNumbers) {
    EXPECT_EQ(KvString(-42L), "-42");
    EXPECT_EQ(KvString(7), "7");
    EXPECT_EQ(KvString('x', 3), "xxx");
    EXPECT_EQ(KvString('x'), "x");
    KvString s;
    s = 15L;
    s += 3;
    s += '!';
    s += "?";
    EXPECT_EQ(s, "153!?");
    s[0] = '9';
    EXPECT_EQ(s, "953!?");
    s[99] = 'z';  // outside: ignored
    EXPECT_EQ(s, "953!?");
    s << 2;
    EXPECT_EQ(s, "3!?");
    s << 10;
    EXPECT_TRUE(s.IsEmpty());
    KvString a("a"), b("b");
    a.Swap(b);
    EXPECT_EQ(a, "b");
}

TEST(KvStringTest, FindForms) {
    KvString s("Hello World");
    EXPECT_EQ(s.Find('o'), 4);
    EXPECT_EQ(s.Find(5, 'o'), 7);
    EXPECT_EQ(s.Find(5, "o"), 7);
    EXPECT_EQ(s.Find("World", 0), 6);  // the platform order still works
    EXPECT_EQ(s.Find(-1, 'o'), -1);
    EXPECT_EQ(s.Find(11, 'd'), -1);
    EXPECT_TRUE(s.IsContain("lo W"));
    EXPECT_FALSE(s.IsContain('z'));
    EXPECT_EQ(s.FindOneOf("rW"), 6);
    EXPECT_EQ(s.FindOneOf(7, "rW"), 8);
    EXPECT_EQ(s.FindOneOf(CSUpperCase), 0);
    EXPECT_EQ(s.FindOneOf(1, CSUpperCase), 6);
    EXPECT_EQ(s.FindNoCase("WORLD"), 6);
    EXPECT_EQ(s.FindNoCase(7, 'L'), 9);
    EXPECT_EQ(s.FindNoCase("worldx"), -1);
    EXPECT_EQ(s.GetCount('l'), 3);
    EXPECT_TRUE(s.IsBeginWith("Hell"));
    EXPECT_TRUE(s.IsEndWith("rld"));
    EXPECT_FALSE(s.IsBeginWith(""));
    EXPECT_FALSE(KvString().IsEndWith("x"));
}

TEST(KvStringTest, DeleteCountsFromOneAndInsertGoesAfter) {
    KvString s("abc");
    s.Delete(1, 1);
    EXPECT_EQ(s, "bc");
    s = "abcdef";
    s.Delete(3, 2);
    EXPECT_EQ(s, "abef");
    s.Delete(2, -5);  // a negative count never duplicates bytes
    EXPECT_EQ(s, "abef");
    s.Delete(3, 100);
    EXPECT_EQ(s, "ab");
    s = "abc";
    s.Insert(0, 'x');
    EXPECT_EQ(s, "axbc");
    s.Insert(10, "!");
    EXPECT_EQ(s, "axbc!");
    s.Insert(-1, "<");
    EXPECT_EQ(s, "<axbc!");
}

TEST(KvStringTest, ReplaceSpansAndFindReplace) {
    KvString s("abcdef");
    s.Replace(1, 3, '*');
    EXPECT_EQ(s, "a***ef");
    s.Replace(1, 3, "XY");
    EXPECT_EQ(s, "aXYef");
    s.Replace(4, 99, "!");
    EXPECT_EQ(s, "aXYe!");

    s = "aa";
    EXPECT_EQ(s.FindReplace("a", "aa"), 2);  // inserted text is not searched again
    EXPECT_EQ(s, "aaaa");
    EXPECT_EQ(s.FindReplace("", "x"), 0);
    EXPECT_EQ(s, "aaaa");
    s = "a&b&c";
    s.FindReplace('&', "&amp;");
    EXPECT_EQ(s, "a&amp;b&amp;c");
    s.FindReplace('a', 'A');
    EXPECT_EQ(s, "A&Amp;b&Amp;c");
}

TEST(KvStringTest, FindReplaceExtBetweenMarkers) {
    KvString s("x<!--a-->y<!--b-->z");
    EXPECT_EQ(s.FindReplaceExt("<!--", "-->", ""), 2);
    EXPECT_EQ(s, "xyz");
    s = "a[1]b[2";
    EXPECT_EQ(s.FindReplaceExt("[", "]", "[]"), 1);
    EXPECT_EQ(s, "a[]b[2");
    s = "[[x]";
    s.FindReplaceExt("[", "]", "[");  // replacement holds the begin marker
    EXPECT_EQ(s, "[");
    EXPECT_EQ(s.FindReplaceExt("", "]", "x"), 0);
    EXPECT_EQ(s.FindReplaceExt("[", "", "x"), 0);
}

// A page full of markers must not cost a move of the whole rest of the
// text per span (300 000 spans: minutes when done in place, past the
// test's time-out; bench/text_bench times it).
TEST(KvStringTest, FindReplaceExtStaysLinearOnManySpans) {
    std::string text;
    for (int i = 0; i < 300000; ++i) text += "<a>b";
    KvString s{std::string_view(text)};
    EXPECT_EQ(s.FindReplaceExt("<", ">", ""), 300000);
    EXPECT_EQ(s.GetLength(), 300000);
    EXPECT_EQ(s.GetCount('b'), 300000);
}

TEST(KvStringTest, TrimCaseAndExclude) {
    KvString s(" \t a  b\t\tc \n");
    s.XTrim();
    EXPECT_EQ(s, " a b c ");
    s.Trim();
    EXPECT_EQ(s, "a b c");
    s = "   ";
    s.Trim();
    EXPECT_TRUE(s.IsEmpty());

    s = "hELLO wORLD,mr.smith;x-y 1st";
    s.MakeProperCase();
    EXPECT_EQ(s, "Hello World,Mr.Smith;X-y 1St");
    EXPECT_TRUE(KvString("abc 1").IsLowerCase());
    EXPECT_FALSE(KvString("aBc").IsLowerCase());
    EXPECT_TRUE(KvString("").IsUpperCase());
    EXPECT_EQ(KvString("aBc").GetUpperCase(), "ABC");

    s = "a-b_c-d";
    EXPECT_EQ(s.GetExclude("-_"), "abcd");
    s.Exclude('-');
    EXPECT_EQ(s, "ab_cd");
    s.Exclude(CSLowerCase);
    EXPECT_EQ(s, "_");

    s = "Text|*.txt|";
    s.BarToNull();
    EXPECT_EQ(s.GetLength(), 11);
    EXPECT_EQ(s.GetAt(4), '\0');
}

TEST(KvStringTest, NumbersUseThousandsDotAndDecimalComma) {
    EXPECT_EQ(KvString("1.234").GetInt(), 1234);
    EXPECT_EQ(KvString("-1.234.567").GetNumber(), -1234567L);
    EXPECT_DOUBLE_EQ(KvString("1.234,5").GetFloat(), 1234.5);
    EXPECT_TRUE(KvString("").IsNumber());
    EXPECT_TRUE(KvString("-1.234,5").IsNumber());
    EXPECT_FALSE(KvString("12a").IsNumber());
}

TEST(KvStringTest, IsFloatFollowsTheDecimalSeparator) {
    CString saved = kvData.sDecimal;
    kvData.sDecimal = ",";
    EXPECT_TRUE(KvString(" -12,5 ").IsFloat());
    EXPECT_TRUE(KvString(",5").IsFloat());
    EXPECT_TRUE(KvString("5,").IsFloat());
    EXPECT_TRUE(KvString("1,5e-3").IsFloat());
    EXPECT_TRUE(KvString("2D10").IsFloat());
    EXPECT_FALSE(KvString("1.5").IsFloat());
    EXPECT_FALSE(KvString(",").IsFloat());
    EXPECT_FALSE(KvString("1e").IsFloat());
    EXPECT_FALSE(KvString("").IsFloat());
    EXPECT_FALSE(KvString("1 2").IsFloat());
    kvData.sDecimal = ".";
    EXPECT_TRUE(KvString("1.5").IsFloat());
    kvData.sDecimal = saved;
}

TEST(KvStringTest, SprintfIsNotLimitedTo512Bytes) {
    KvString s;
    std::string big(5000, 'q');
    EXPECT_EQ(s.sprintf("%s-%d", big.c_str(), 7), 5002);
    EXPECT_EQ(s.Right(2), "-7");
    s.RandomFileName("tmp", "dat");
    EXPECT_EQ(s.GetLength(), 15);
    EXPECT_TRUE(s.IsBeginWith("tmp"));
    EXPECT_TRUE(s.IsEndWith(".dat"));
    EXPECT_EQ(s.Mid(3, 8).str().find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(KvStringTest, TokensSkipLeadingSpaceAndKeepTrailing) {
    KvString s("  a , b");
    int pos = 0;
    EXPECT_EQ(s.GetToken(pos, ','), "a ");
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(s.GetToken(pos), "b");  // no delimiter: the previous one
    EXPECT_EQ(pos, 7);
    EXPECT_EQ(s.GetToken(pos, ','), "");
    EXPECT_EQ(pos, 7);

    KvString req("GET /index.html HTTP/1.0");
    pos = 0;
    EXPECT_EQ(req.GetToken(pos, " "), "GET");
    EXPECT_EQ(req.GetToken(pos, (const char*)nullptr), "/index.html");
    EXPECT_EQ(req.GetToken(pos, KvCharSet(" ")), "HTTP/1.0");

    EXPECT_EQ(KvString("a,b,,c").GetTokenCount(','), 4);
    EXPECT_EQ(KvString("").GetTokenCount(','), 0);
    EXPECT_EQ(KvString("x;y;z").GetList(2, ';'), "y");
    EXPECT_EQ(KvString("x;y;z").GetList(0, ';'), "");
    EXPECT_EQ(KvString("x; y|z").GetList(3, ";|"), "z");
    // An index from outside (a query parameter) does not walk two billion
    // empty tokens.
    EXPECT_EQ(KvString("x;y;z").GetList(4, ';'), "");
    EXPECT_EQ(KvString("x;y;z").GetList(INT_MAX, ';'), "");
    EXPECT_EQ(KvString("x;y;").GetList(INT_MAX, ";"), "");
}

TEST(KvStringTest, RememberedDelimiterIsPerThread) {
    KvString s("a;b,c");
    int pos = 0;
    EXPECT_EQ(s.GetToken(pos, ';'), "a");
    std::thread other([] {
        KvString t("x,y;z");
        int p = 0;
        EXPECT_EQ(t.GetToken(p, ','), "x");
        EXPECT_EQ(t.GetToken(p), "y;z");
    });
    other.join();
    EXPECT_EQ(s.GetToken(pos), "b,c");
}

TEST(KvStringTest, WildcardMatch) {
    EXPECT_TRUE(KvString("read.me.txt").IsMatch("*.txt"));
    EXPECT_TRUE(KvString("acd").IsMatch("a[bc]d"));
    EXPECT_TRUE(KvString("a5d").IsMatch("a[0-9]d"));
    EXPECT_FALSE(KvString("aXd").IsMatch("a[0-9]d"));
    EXPECT_TRUE(KvString("aXd").IsMatch("a[!0-9]d"));
    EXPECT_FALSE(KvString("acd").IsMatch("a[bc d"));  // unbalanced
    EXPECT_FALSE(KvString("acd").IsMatch("a]bc[d"));  // balanced but never closed
    EXPECT_TRUE(KvString("anything").IsMatch("*"));
    EXPECT_TRUE(KvString("abc").IsMatch("a**c"));
    EXPECT_TRUE(KvString("a*c").IsMatch("a\\*c"));
    EXPECT_FALSE(KvString("abc").IsMatch("a\\*c"));
    EXPECT_TRUE(KvString("abc").IsMatch("?b?"));
    EXPECT_FALSE(KvString("abcd").IsMatch("?b?"));
    EXPECT_FALSE(KvString("Abc").IsMatch("abc"));
    EXPECT_FALSE(KvString("").IsMatch("*"));
    EXPECT_FALSE(KvString("abc").IsMatch(""));
}

// Backtracking over ten stars would not end within the test's time-out.
TEST(KvStringTest, WildcardMatchIsNotExponential) {
    KvString s(std::string(4000, 'a'));
    EXPECT_FALSE(s.IsMatch("*a*a*a*a*a*a*a*a*a*a*b"));
}

TEST(KvStringTest, SoundexCodes) {
    EXPECT_EQ(KvString("Robert").GetSoundexCode(), "R163");
    EXPECT_EQ(KvString("Rupert").GetSoundexCode(), "R163");
    EXPECT_EQ(KvString("A").GetSoundexCode(), "A000");
    EXPECT_EQ(KvString("1abc").GetSoundexCode(), "");
    EXPECT_TRUE(KvString("robert").IsLike("Rupert"));
    EXPECT_FALSE(KvString("Robert").IsLike("Tymczak"));
    EXPECT_FALSE(KvString("").IsLike(""));
}

TEST(KvStringTest, LoadAndSaveWholeFiles) {
    auto dir = std::filesystem::temp_directory_path() / ("kvstring_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "f.bin").string();

    KvString s(std::string("a\0b\r\n", 5));
    EXPECT_TRUE(s.SaveFile(path.c_str()));
    KvString back("stale");
    EXPECT_TRUE(back.LoadFile(path.c_str()));
    EXPECT_EQ(back.str(), s.str());

    EXPECT_TRUE(KvString().SaveFile(path.c_str()));  // empty: file untouched
    EXPECT_EQ(std::filesystem::file_size(path), 5u);

    std::FILE* f = std::fopen((dir / "empty").c_str(), "w");
    std::fclose(f);
    EXPECT_FALSE(back.LoadFile((dir / "empty").c_str()));
    EXPECT_TRUE(back.IsEmpty());
    EXPECT_FALSE(back.LoadFile((dir / "missing").c_str()));
    std::filesystem::remove_all(dir);
}

namespace {
std::string g_lastBox;
void RecordBox(const char* text) { g_lastBox = text; }
}  // namespace

TEST(KvStringTest, HeadlessMessageBoxesAnswerTheirDefaultButton) {
    KvSetMessageBoxHook(RecordBox);
    KvString msg("Disk full");
    EXPECT_EQ(msg.MsgYesNo(), IDYES);
    EXPECT_EQ(g_lastBox, "KvProxy: Disk full");
    EXPECT_EQ(msg.MsgOkCancel(), IDOK);
    EXPECT_EQ(msg.MsgAbort(), IDABORT);
    EXPECT_EQ(msg.MsgBox(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(KvMessageBox("t", "Title", MB_OK), IDOK);
    EXPECT_EQ(g_lastBox, "Title: t");
    KvSetMessageBoxHook(nullptr);
}

TEST(KvStringTest, WindowTextStandIns) {
    int window = 0;
    HWND wnd = &window;
    KvString s(std::string(300, 'w'));
    EXPECT_TRUE(s.SetWindowTextA(wnd));
    KvString back;
    EXPECT_TRUE(back.GetWindowTextA(wnd));
    EXPECT_EQ(back.GetLength(), 255);  // at most 255 bytes read
    KvForgetWindowText(wnd);
    back.GetWindowTextA(wnd);
    EXPECT_TRUE(back.IsEmpty());
}
