#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "base/containers/KvObjectArray.h"

namespace {

int g_deleted = 0;
long g_compares = 0;

// A record ordered by its number; counts its deletions.
class Num : public KvObject {
public:
    explicit Num(int v) : m_v(v) {}
    ~Num() override { ++g_deleted; }
    int Compare(const KvObject& other) const override {
        ++g_compares;
        int o = static_cast<const Num&>(other).m_v;
        return m_v < o ? -1 : (m_v > o ? 1 : 0);
    }
    int m_v;
};

int At(const KvObjectArray& a, int i) { return a[i] ? static_cast<Num*>(a[i])->m_v : -999; }

std::vector<int> Values(const KvObjectArray& a) {
    std::vector<int> v;
    for (int i = 0; i < a.GetSize(); ++i) v.push_back(At(a, i));
    return v;
}

class KvObjectArrayTest : public ::testing::Test {
protected:
    void SetUp() override { g_deleted = 0; }
};

}  // namespace

TEST_F(KvObjectArrayTest, ShrinkingDeletesOnlyTheElementsCutOff) {
    KvObjectArray a;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a.Add(new Num(i)), i);
    ASSERT_TRUE(a.SetSize(3));
    EXPECT_EQ(g_deleted, 2);
    EXPECT_EQ(Values(a), (std::vector<int>{0, 1, 2}));
    ASSERT_TRUE(a.SetSize(6));  // new slots are null
    EXPECT_EQ(a[5], nullptr);
    a.RemoveAll();
    EXPECT_EQ(g_deleted, 5);
    EXPECT_EQ(a.GetSize(), 0);
}

TEST_F(KvObjectArrayTest, EditingDeletesWhatItDrops) {
    {
        KvObjectArray a;
        for (int i = 0; i < 6; ++i) a.Add(new Num(i));
        a.SetAt(0, new Num(10));
        EXPECT_EQ(g_deleted, 1);
        Num* same = static_cast<Num*>(a[1]);
        a.SetAt(1, same);  // storing the element again keeps it alive
        EXPECT_EQ(g_deleted, 1);
        a.RemoveAt(2, 2);
        EXPECT_EQ(g_deleted, 3);
        EXPECT_EQ(Values(a), (std::vector<int>{10, 1, 4, 5}));
        a.RemoveAt(3, 100);  // clamped to the end
        a.RemoveAt(-1);
        a.RemoveAt(9);
        EXPECT_EQ(Values(a), (std::vector<int>{10, 1, 4}));
        a.Destroy(1);
        EXPECT_EQ(a[1], nullptr);
        EXPECT_EQ(a.GetSize(), 3);
        ASSERT_TRUE(a.SetAtGrow(5, new Num(7)));
        EXPECT_EQ(a.GetSize(), 6);
        EXPECT_TRUE(a.InsertAt(1, new Num(20)));
        EXPECT_TRUE(a.InsertAt(9, new Num(30)));  // beyond the end grows
        EXPECT_EQ(a.GetSize(), 10);
        EXPECT_EQ(At(a, 1), 20);
        EXPECT_EQ(At(a, 9), 30);
    }
    EXPECT_EQ(g_deleted, 10);
}

TEST_F(KvObjectArrayTest, OneObjectIsNeverOwnedTwice) {
    KvObjectArray a, b;
    Num* n = new Num(1);
    EXPECT_FALSE(a.InsertAt(0, n, 3));
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_TRUE(a.InsertAt(0, nullptr, 3));
    EXPECT_TRUE(a.InsertAt(1, n));
    EXPECT_FALSE(a.Append(a));
    EXPECT_FALSE(a.InsertAt(0, a));
    EXPECT_TRUE(a.Copy(a));
    EXPECT_EQ(a.GetSize(), 4);
    // Pointer sharing with another array: one side forgets.
    EXPECT_TRUE(b.Append(a));
    EXPECT_EQ(b.GetSize(), 4);
    b.ForgetAll();
    EXPECT_EQ(g_deleted, 0);
}

TEST_F(KvObjectArrayTest, SortOrdersByCompareWithNullsFirst) {
    std::mt19937 gen(7);
    KvObjectArray a;
    std::vector<int> expect;
    for (int i = 0; i < 500; ++i) {
        int v = (int)(gen() % 50);
        a.Add(new Num(v));
        expect.push_back(v);
    }
    a.Add(nullptr);
    a.Sort();
    std::sort(expect.begin(), expect.end());
    EXPECT_EQ(a[0], nullptr);
    for (size_t i = 0; i < expect.size(); ++i) ASSERT_EQ(At(a, (int)i + 1), expect[i]);

    // Sorted and all-equal input must not turn quadratic.
    KvObjectArray sorted, equal;
    for (int i = 0; i < 20000; ++i) {
        sorted.Add(new Num(i));
        equal.Add(new Num(1));
    }
    g_compares = 0;
    sorted.Sort();
    equal.Sort();
    EXPECT_LT(g_compares, 2 * 20000L * 40);
    EXPECT_EQ(At(sorted, 19999), 19999);
}

TEST_F(KvObjectArrayTest, SortedInsertionAndSearches) {
    KvObjectArray a;
    bool found = true;
    EXPECT_EQ(a.SearchForInsert(nullptr, found), -1);
    Num probe(5);
    EXPECT_EQ(a.SearchForInsert(&probe, found), -1);
    EXPECT_FALSE(found);

    for (int v : {5, 1, 9, 3, 7}) EXPECT_EQ(a.InsertSort(new Num(v), false), 1);
    EXPECT_EQ(Values(a), (std::vector<int>{1, 3, 5, 7, 9}));

    for (int v : {1, 5, 9}) {
        Num* dup = new Num(v);
        EXPECT_EQ(a.InsertSort(dup, false), 0);  // refused: the caller keeps it
        delete dup;
    }
    EXPECT_EQ(a.GetSize(), 5);

    EXPECT_EQ(a.SearchForInsert(&probe, found), 2);
    EXPECT_TRUE(found);
    Num six(6), zero(0), ten(10);
    EXPECT_EQ(a.SearchForInsert(&six, found), 3);
    EXPECT_FALSE(found);
    EXPECT_EQ(a.SearchForInsert(&zero, found), 0);
    EXPECT_EQ(a.SearchForInsert(&ten, found), 5);

    EXPECT_EQ(a.InsertSort(new Num(9), true), 1);  // equal to the last: behind it
    EXPECT_EQ(a.InsertSort(new Num(1), true), 1);  // equal to the first: in front
    EXPECT_EQ(Values(a), (std::vector<int>{1, 1, 3, 5, 7, 9, 9}));

    Num seven(7);
    EXPECT_EQ(a.Search(seven), 4);
    EXPECT_EQ(a.Search(six), -1);
    EXPECT_EQ(a.Search(seven, 5), -1);
    EXPECT_EQ(a.Find(seven), 4);
    EXPECT_EQ(a.Find(seven, 0, 3), -1);
    EXPECT_EQ(a.Find(seven, -5, 100), 4);
    a.Destroy(0);
    EXPECT_EQ(a.Find(six), 0);  // a null slot counts as a match
}
