#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "base/file/KvIniFile.h"
#include "base/platform/FileIo.h"

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kvini_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }
    void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }

    std::string Path(const char* name) const { return m_dir + "/" + name; }
    void WriteFile(const char* name, const std::string& text) const {
        ASSERT_TRUE(KvWriteFileAtomic(Path(name).c_str(), text.data(), text.size()));
    }
    std::string ReadFile(const char* name) const {
        std::string text;
        KvReadWholeFile(Path(name).c_str(), text);
        return text;
    }
    int EntryCount() const {
        int n = 0;
        DIR* d = opendir(m_dir.c_str());
        while (struct dirent* e = readdir(d)) n += e->d_name[0] != '.';
        closedir(d);
        return n;
    }

    std::string m_dir;
};

int SectionCount(const KvIniFile& ini) {
    int n = 0;
    for (KvIniSection* s = ini.GetFirstSection(); s; s = s->GetNext()) ++n;
    return n;
}

}  // namespace

TEST_F(IniTest, SameNamedSectionsAreKeptAndTheFirstWins) {
    WriteFile("a.ini", "[A]\r\nk = v \r\n;c\r\n[a]\r\nk=w\r\n");
    KvIniFile ini;
    ASSERT_TRUE(ini.Load(Path("a.ini").c_str()));
    EXPECT_EQ(SectionCount(ini), 2);
    EXPECT_STREQ(ini.GetValue("a", "K"), "v");

    ASSERT_TRUE(ini.Save(Path("b.ini").c_str()));
    EXPECT_EQ(ReadFile("b.ini"), "[A]\r\nk=v\r\n;c\r\n\r\n[a]\r\nk=w\r\n\r\n");
    EXPECT_EQ(EntryCount(), 2);  // no temporary file left behind
}

TEST_F(IniTest, BracketsAnywhereStartASection) {
    KvIniFile ini;
    std::string text = "[s]\nurl=x[1]\nother=y\n";
    ini.LoadFromText(text.data(), text.size());
    ASSERT_EQ(SectionCount(ini), 2);
    EXPECT_EQ(ini.GetValue("s", "url"), nullptr);
    EXPECT_STREQ(ini.GetValue("1", "other"), "y");
}

TEST_F(IniTest, LineRulesAndDroppedLines) {
    // LF CR and lone CR end lines; entries before the first section, lines
    // with "[" but no "]", empty section names and empty keys are dropped.
    std::string text = "k0=v0\n;early\n[ ]\n[x\n[S]\n\rk1=v1\rk2 =  \n=nokey\n;note\nplain line";
    KvIniFile ini;
    ini.LoadFromText(text.data(), text.size());
    ASSERT_EQ(SectionCount(ini), 1);
    EXPECT_STREQ(ini.GetValue("s", "k1"), "v1");
    EXPECT_STREQ(ini.GetValue("s", "k2"), "");
    EXPECT_EQ(ini.GetValue("s", "k0"), nullptr);
    EXPECT_EQ(ini.SaveToText(), "[S]\r\nk1=v1\r\nk2=\r\n;note\r\n\r\n");
}

TEST_F(IniTest, OddFilesNeverCrash) {
    std::mt19937 gen(42);
    for (int round = 0; round < 200; ++round) {
        std::string junk(gen() % 2000, '\0');
        for (char& c : junk) c = "[]=;\r\n\0 ab"[gen() % 11];
        if (round % 2) {
            for (char& c : junk) c = (char)(gen() & 0xFF);
        }
        KvIniFile ini;
        ini.LoadFromText(junk.data(), junk.size());
        KvIniFile again;
        CString saved = ini.SaveToText();
        again.LoadFromText(saved.c_str(), (size_t)saved.GetLength());
        EXPECT_EQ(again.SaveToText(), saved);
    }

    std::string longLine = "[big]\n" + std::string(1 << 20, 'k') + "=" + std::string(1 << 20, 'v');
    KvIniFile ini;
    ini.LoadFromText(longLine.data(), longLine.size());
    ASSERT_NE(ini.GetValue("big", std::string(1 << 20, 'K').c_str()), nullptr);

    std::string withNul("[n]\nke\0y=va\0lue", 15);
    WriteFile("nul.ini", withNul);
    ASSERT_TRUE(ini.Load(Path("nul.ini").c_str()));
    EXPECT_STREQ(ini.GetValue("n", "key"), "value");
}

TEST_F(IniTest, MissingFileLeavesAnEmptyObject) {
    KvIniFile ini;
    ini.SetValue("x", "y", "z");
    EXPECT_FALSE(ini.Load(Path("missing.ini").c_str()));
    EXPECT_EQ(ini.GetFirstSection(), nullptr);
    // Nothing to write: true, and no file appears.
    EXPECT_TRUE(ini.Save(Path("empty.ini").c_str()));
    EXPECT_EQ(EntryCount(), 0);
}

TEST_F(IniTest, SettingValues) {
    KvIniFile ini;
    EXPECT_TRUE(ini.SetValue("Proxy", "Port", 8168));
    EXPECT_TRUE(ini.SetValue("proxy", "port", "8080"));
    EXPECT_TRUE(ini.SetValue("PROXY", "Host", "localhost"));
    EXPECT_EQ(SectionCount(ini), 1);
    EXPECT_EQ(ini.GetIntValue("Proxy", "PORT"), 8080);
    EXPECT_EQ(ini.GetIntValue("Proxy", "missing"), 0);
    EXPECT_EQ(ini.GetIntValue("nosection", "port"), 0);
    EXPECT_FALSE(ini.SetValue(nullptr, "k", "v"));

    // What the file could not hold back is refused.
    EXPECT_FALSE(ini.SetValue("Proxy", "k", "line\r\n[Evil]"));
    EXPECT_FALSE(ini.SetValue("Proxy", "a=b", "v"));
    EXPECT_FALSE(ini.SetValue("Proxy", "", "v"));
    EXPECT_FALSE(ini.SetValue("bad]name", "k", "v"));
    EXPECT_EQ(SectionCount(ini), 1);

    ASSERT_TRUE(ini.Save(Path("p.ini").c_str()));
    KvIniFile back;
    ASSERT_TRUE(back.Load(Path("p.ini").c_str()));
    EXPECT_STREQ(back.GetValue("proxy", "port"), "8080");
    EXPECT_STREQ(back.GetValue("proxy", "host"), "localhost");
}

TEST_F(IniTest, SectionsAreAddedFoundAndRemoved) {
    KvIniFile ini;
    KvIniSection* a = ini.AddSection("A");
    EXPECT_EQ(ini.AddSection("a", true), a);
    KvIniSection* second = ini.AddSection("a", false);
    EXPECT_NE(second, a);
    EXPECT_EQ(ini.AddSection(""), nullptr);
    EXPECT_EQ(ini.FindSection("A"), a);
    EXPECT_TRUE(ini.RemoveSection("a"));
    EXPECT_EQ(ini.FindSection("a"), second);
    EXPECT_TRUE(ini.RemoveSection("A"));
    EXPECT_FALSE(ini.RemoveSection("A"));
    EXPECT_EQ(ini.GetFirstSection(), nullptr);
    // The tail was removed too: appending still works.
    ASSERT_NE(ini.AddSection("B"), nullptr);
    EXPECT_EQ(SectionCount(ini), 1);
}

TEST_F(IniTest, WhatIsWrittenReadsBackTheSame) {
    // A key that begins with ";" after blanks would come back as a comment.
    std::string text = "[s]\n \v;k=v\n  ; indented note\n";
    KvIniFile ini;
    ini.LoadFromText(text.data(), text.size());
    EXPECT_EQ(ini.GetValue("s", ";k"), nullptr);
    CString saved = ini.SaveToText();
    EXPECT_EQ(saved, "[s]\r\n \v;k=v\r\n  ; indented note\r\n\r\n");
    KvIniFile again;
    again.LoadFromText(saved.c_str(), (size_t)saved.GetLength());
    EXPECT_EQ(again.SaveToText(), saved);

    // Keys, values and section names the file could not hold are refused.
    EXPECT_FALSE(ini.SetValue("s", ";k", "v"));
    EXPECT_FALSE(ini.SetValue("s", " ;k", "v"));
    EXPECT_FALSE(ini.SetValue("s", "[x]", "v"));
    EXPECT_FALSE(ini.SetValue("s", "k", "a[b]"));
    EXPECT_FALSE(ini.SetValue("  ", "k", "v"));
    EXPECT_EQ(ini.AddSection(" \t"), nullptr);
    EXPECT_TRUE(ini.SetValue("s", "k;", "v;]"));
    saved = ini.SaveToText();
    again.LoadFromText(saved.c_str(), (size_t)saved.GetLength());
    EXPECT_STREQ(again.GetValue("s", "k;"), "v;]");
}
