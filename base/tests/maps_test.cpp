#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <map>
#include <string>

#include "base/containers/KvMap.h"
#include "base/containers/KvOrdStringArray.h"
#include "base/platform/Archive.h"
#include "base/platform/FileIo.h"

namespace {

int g_deleted = 0;

class Val : public KvObject {
    DECLARE_DYNCREATE(Val)
public:
    Val() = default;
    explicit Val(int v) : m_v(v) {}
    ~Val() override { ++g_deleted; }
    KvObject* Clone() const override { return new Val(m_v); }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) ar << (int32_t)m_v; else ar >> m_v;
    }
    int m_v = 0;
};
IMPLEMENT_DYNCREATE(Val, KvObject)

int ValueOf(const KvMapStringToObject& m, const char* key) {
    KvObject* p = nullptr;
    return m.Lookup(key, p) && p ? static_cast<Val*>(p)->m_v : -1;
}

std::map<std::string, std::string> Entries(const KvMapStringToString& m) {
    std::map<std::string, std::string> out;
    CString k, v;
    for (POSITION pos = m.GetStartPosition(); pos;) {
        m.GetNextAssoc(pos, k, v);
        out[k.str()] = v.str();
    }
    return out;
}

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/kvmap.XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { (void)system(("rm -rf " + path).c_str()); }
    std::string File(const char* name) const { return path + "/" + name; }
};

class MapsTest : public ::testing::Test {
protected:
    void SetUp() override { g_deleted = 0; }
};

}  // namespace

TEST_F(MapsTest, HashTakesBytesAsSignedChars) {
    using Core = KvStrHashCore<CString>;
    EXPECT_EQ(Core::HashKey(""), 0u);
    EXPECT_EQ(Core::HashKey("ab"), 97u * 33u + 98u);
    EXPECT_EQ(Core::HashKey("\xff"), 0xFFFFFFFFu);
}

TEST_F(MapsTest, StringMapBasics) {
    KvMapStringToString m;
    EXPECT_EQ(m.GetStartPosition(), nullptr);
    CString v;
    EXPECT_FALSE(m.Lookup("a", v));
    m["a"] = "1";
    EXPECT_TRUE(m.SetAt("b", "2"));
    m.SetAt("a", "one");
    m["new"];  // created empty
    EXPECT_EQ(m.GetCount(), 3);
    EXPECT_TRUE(m.Lookup("a", v));
    EXPECT_EQ(v, "one");
    EXPECT_FALSE(m.Lookup("A", v));  // case-sensitive
    ASSERT_NE(m.PLookup("new"), nullptr);
    EXPECT_TRUE(m.PLookup("new")->IsEmpty());
    const char* stored = nullptr;
    EXPECT_TRUE(m.LookupKey("b", stored));
    EXPECT_STREQ(stored, "b");
    EXPECT_TRUE(m.RemoveKey("new"));
    EXPECT_FALSE(m.RemoveKey("new"));
    EXPECT_EQ(Entries(m), (std::map<std::string, std::string>{{"a", "one"}, {"b", "2"}}));

    m.RemoveKey("a");
    m.RemoveKey("b");  // empty: blocks released, the map still works
    m.SetAt("c", "3");
    EXPECT_EQ(Entries(m), (std::map<std::string, std::string>{{"c", "3"}}));
}

TEST_F(MapsTest, ResizingTheTableKeepsTheEntries) {
    KvMapStringToString m(4);
    std::map<std::string, std::string> expect;
    for (int i = 0; i < 300; ++i) {
        std::string k = "key" + std::to_string(i);
        m.SetAt(k.c_str(), CString(std::to_string(i * i)));
        expect[k] = std::to_string(i * i);
    }
    EXPECT_EQ(m.GetHashTableSize(), 17u);
    EXPECT_TRUE(m.InitHashTable(257));
    EXPECT_EQ(m.GetHashTableSize(), 257u);
    EXPECT_EQ(Entries(m), expect);
    for (int i = 0; i < 300; i += 2) m.RemoveKey(("key" + std::to_string(i)).c_str());
    EXPECT_EQ(m.GetCount(), 150);

    KvMapStringToString copy(m);
    EXPECT_EQ(Entries(copy), Entries(m));
    copy = copy;
    EXPECT_EQ(copy.GetCount(), 150);
}

TEST_F(MapsTest, StringMapArchiveAndTextFiles) {
    KvMapStringToString m;
    m.SetAt("text/html", "htm html");
    m.SetAt("image/png", "png");
    CArchive out(CArchive::store);
    m.Serialize(out);
    KvMapStringToString back;
    CArchive in(CArchive::load, out.GetBytes());
    back.Serialize(in);
    EXPECT_EQ(Entries(back), Entries(m));

    TempDir dir;
    std::string path = dir.File("map.txt");
    ASSERT_TRUE(m.SaveText(path.c_str()));
    std::string raw;
    ASSERT_TRUE(KvReadWholeFile(path.c_str(), raw));
    EXPECT_NE(raw.find("image/png\tpng\r\n"), std::string::npos);
    KvMapStringToString loaded;
    loaded.SetAt("stale", "x");
    ASSERT_TRUE(loaded.LoadText(path.c_str()));
    EXPECT_EQ(Entries(loaded), Entries(m));

    const char text[] = "  k1\t  v1\textra\r\n\r\nk2\tv2 \nk1\tlater\n\tlonely\rnovalue\n   \n";
    ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), text, sizeof text - 1));
    ASSERT_TRUE(loaded.LoadText(path.c_str()));
    EXPECT_EQ(Entries(loaded), (std::map<std::string, std::string>{
                                   {"k1", "later"}, {"k2", "v2 "}, {"lonely", ""}, {"novalue", ""}}));
    EXPECT_FALSE(loaded.LoadText(dir.File("missing").c_str()));
    EXPECT_TRUE(loaded.IsEmpty());
}

TEST_F(MapsTest, ObjectMapOwnsItsValues) {
    {
        KvMapStringToObject m;
        m.SetAt("a", new Val(1));
        m.SetAt("b", new Val(2));
        EXPECT_TRUE(m.RemoveKey("a"));
        EXPECT_EQ(g_deleted, 1);
        EXPECT_FALSE(m.RemoveKey("a"));
        EXPECT_EQ(g_deleted, 1);

        m.SetAt("b", new Val(3));  // the replaced value is destroyed
        EXPECT_EQ(g_deleted, 2);
        KvObject* same = nullptr;
        m.Lookup("b", same);
        m.SetAt("b", same);  // storing the same value keeps it
        EXPECT_EQ(ValueOf(m, "b"), 3);

        KvMapStringToObject copy(m);  // clones
        EXPECT_EQ(ValueOf(copy, "b"), 3);
        KvObject* original = nullptr;
        KvObject* cloned = nullptr;
        m.Lookup("b", original);
        copy.Lookup("b", cloned);
        EXPECT_NE(original, cloned);

        CArchive out(CArchive::store);
        m.Serialize(out);
        KvMapStringToObject back;
        CArchive in(CArchive::load, out.GetBytes());
        back.Serialize(in);
        EXPECT_EQ(ValueOf(back, "b"), 3);

        Val* kept = static_cast<Val*>(original);
        m.RemoveAll(false);  // forgets
        EXPECT_EQ(g_deleted, 2);
        delete kept;
        m.SetAt("c", new Val(4));
    }
    EXPECT_EQ(g_deleted, 3 + 3);  // kept, copy's clone, back's value, c
}

TEST_F(MapsTest, OrderedArrayIsSortedAndUniqueIgnoringCase) {
    KvOrdStringArray a;
    EXPECT_EQ(a.Add("b"), 0);
    EXPECT_EQ(a.Add("A"), 0);
    EXPECT_EQ(a.Add("B"), -1);
    ASSERT_EQ(a.GetSize(), 2);
    EXPECT_EQ(a[0], "A");
    EXPECT_EQ(a[1], "b");
    for (const char* s : {"m", "C", "z", "d", "a"}) a.Add(s);
    EXPECT_EQ(a.GetSize(), 6);
    EXPECT_EQ(a.FindIndex("M"), 4);
    EXPECT_EQ(a.FindIndex("x"), -1);
    EXPECT_EQ(a.FindIndexForInsert("e"), 4);
    EXPECT_EQ(a.FindIndexForInsert("Z"), -1);
    EXPECT_TRUE(a.Remove("D"));
    EXPECT_FALSE(a.Remove("D"));
    CStringArray plain;
    plain.Add("y");
    plain.Add("A");
    a.Copy(plain);
    a.Copy(a);
    EXPECT_EQ(a.GetSize(), 6);
    EXPECT_EQ(a[5], "z");
}

TEST_F(MapsTest, OrderedArrayFiles) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    const char text[] = "pear\r\nApple\n\napple\rbanana\n\rPEAR";
    ASSERT_TRUE(KvWriteFileAtomic(path.c_str(), text, sizeof text - 1));
    KvOrdStringArray a;
    a.Add("stale");
    ASSERT_TRUE(a.Load(path.c_str()));
    ASSERT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[0], "Apple");  // the first of equal lines wins
    EXPECT_EQ(a[1], "banana");
    EXPECT_EQ(a[2], "pear");

    ASSERT_TRUE(a.Save(path.c_str()));
    std::string raw;
    ASSERT_TRUE(KvReadWholeFile(path.c_str(), raw));
    EXPECT_EQ(raw, "Apple\r\nbanana\r\npear\r\n");

    a.RemoveAll();
    EXPECT_TRUE(a.Save(path.c_str()));
    EXPECT_EQ(KvFileSize(path.c_str()), -1);  // an empty array leaves no file
    EXPECT_FALSE(a.Load(path.c_str()));
}
