#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "base/containers/KvObjectList.h"
#include "base/platform/Archive.h"

namespace {

int g_deleted = 0;
long long g_compares = 0;

// A serialisable record ordered by its number.
class Item : public KvObject {
    DECLARE_DYNCREATE(Item)
public:
    Item() = default;
    explicit Item(int v) : m_v(v) {}
    ~Item() override { ++g_deleted; }
    int Compare(const KvObject& other) const override {
        ++g_compares;
        return m_v - static_cast<const Item&>(other).m_v;
    }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) ar << (int32_t)m_v; else ar >> m_v;
    }
    int m_v = 0;
};
IMPLEMENT_DYNCREATE(Item, KvObject)

std::vector<int> Values(const KvObjectList& l) {
    std::vector<int> v;
    for (POSITION pos = l.GetHeadPosition(); pos;) {
        KvObject* p = l.GetNext(pos);
        v.push_back(p ? static_cast<Item*>(p)->m_v : -1);
    }
    return v;
}

std::string Texts(const CsStrList& l) {
    std::string s;
    for (CsStrListItem* p = l.Head(); p; p = p->Next()) s += std::string(p->GetStr()) + ";";
    return s;
}

class ListsTest : public ::testing::Test {
protected:
    void SetUp() override { g_deleted = 0; }
};

}  // namespace

// ---------------------------------------------------------------------------
// KvObjectList

TEST_F(ListsTest, ObjectListOwnershipFollowsTheOperation) {
    {
        KvObjectList l(3);
        for (int i = 0; i < 7; ++i) ASSERT_NE(l.AddTail(new Item(i)), nullptr);
        l.AddHead(new Item(-1));
        EXPECT_EQ(Values(l), (std::vector<int>{-1, 0, 1, 2, 3, 4, 5, 6}));

        KvObject* head = l.RemoveHead();  // handed to the caller
        KvObject* tail = l.RemoveTail();
        EXPECT_EQ(g_deleted, 0);
        delete head;
        delete tail;

        l.RemoveAt(l.FindIndex(1));  // deletes
        l.SetAt(0, new Item(10));    // deletes the old one
        l.RemoveAt(2);               // by index
        l.RemoveAt(99);              // beyond the end: nothing
        EXPECT_EQ(g_deleted, 5);
        EXPECT_EQ(Values(l), (std::vector<int>{10, 2, 4, 5}));
        EXPECT_EQ(l.GetAt(99), nullptr);

        POSITION p4 = l.Find(l.GetAt(2));
        l.InsertBefore(p4, new Item(3));
        l.InsertAfter(p4, new Item(41));
        l.InsertBefore(nullptr, new Item(0));
        l.InsertAfter(nullptr, new Item(99));
        EXPECT_EQ(Values(l), (std::vector<int>{0, 10, 2, 3, 4, 41, 5, 99}));
        EXPECT_EQ(l.Find(l.GetAt(2), l.FindIndex(2)), nullptr);

        KvObjectList other;
        EXPECT_FALSE(l.AddTail(l));  // one object twice in one owner
        EXPECT_TRUE(other.AddHead(l));
        EXPECT_EQ(Values(other), Values(l));
        other.RemoveAll(false);  // forget: l still owns them
        EXPECT_EQ(g_deleted, 5);
    }
    EXPECT_EQ(g_deleted, 13);
}

TEST_F(ListsTest, ObjectListRecyclesNodesAfterEmptying) {
    KvObjectList l(2);
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 5; ++i) l.AddTail(new Item(i));
        while (!l.IsEmpty()) delete l.RemoveHead();
        EXPECT_EQ(l.GetHeadPosition(), nullptr);
        EXPECT_EQ(l.GetTail(), nullptr);
    }
    EXPECT_EQ(l.RemoveHead(), nullptr);
}

TEST_F(ListsTest, ObjectListSortedInsertion) {
    KvObjectList l;
    for (int v : {5, 2, 8, 5, 1, 8, 3}) l.InsertSort(new Item(v));
    EXPECT_EQ(Values(l), (std::vector<int>{1, 2, 3, 5, 5, 8, 8}));
    // An equal element goes in front of its equals, except behind the tail.
    Item* five = new Item(5);
    POSITION pos = l.InsertSort(five);
    EXPECT_EQ(l.GetAt(pos), five);
    EXPECT_EQ(l.FindIndex(3), pos);
    Item* eight = new Item(8);
    pos = l.InsertSort(eight);
    EXPECT_EQ(pos, l.GetTailPosition());

    KvObjectList u;
    for (int v : {4, 9, 1, 7, 1}) u.AddTail(new Item(v));
    EXPECT_TRUE(u.Sort());
    EXPECT_EQ(Values(u), (std::vector<int>{1, 1, 4, 7, 9}));
    EXPECT_EQ(g_deleted, 0);
}

// Sort gives exactly the order of re-inserting every element with
// InsertSort (equal elements included), without the quadratic walk.
TEST_F(ListsTest, ObjectListSortMatchesReinsertionAndStaysFast) {
    unsigned seed = 7;
    for (int round = 0; round < 300; ++round) {
        KvObjectList l, reference;
        int n = round % 12;
        for (int i = 0; i < n; ++i) {
            seed = seed * 1103515245u + 12345u;
            Item* item = new Item((int)((seed >> 16) % 4));
            l.AddTail(item);
            reference.InsertSort(item);
        }
        ASSERT_TRUE(l.Sort());
        std::vector<KvObject*> got, want;
        for (POSITION p = l.GetHeadPosition(); p;) got.push_back(l.GetNext(p));
        for (POSITION p = reference.GetHeadPosition(); p;) want.push_back(reference.GetNext(p));
        ASSERT_EQ(got, want) << "round " << round;
        reference.RemoveAll(false);
    }

    KvObjectList big;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        big.AddTail(new Item((int)(seed >> 8)));
    }
    // n log n comparisons, not the n * n / 2 of a sort by insertion.
    g_compares = 0;
    ASSERT_TRUE(big.Sort());
    EXPECT_LT(g_compares, 3LL * 200000 * 18);
    std::vector<int> values = Values(big);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

TEST_F(ListsTest, ObjectListSerializesByClassAndLoadingAppends) {
    KvObjectList l;
    l.AddTail(new Item(3));
    l.AddTail(nullptr);
    l.AddTail(new Item(7));
    CArchive out(CArchive::store);
    l.Serialize(out);

    KvObjectList back;
    back.AddTail(new Item(1));
    CArchive in(CArchive::load, out.GetBytes());
    back.Serialize(in);
    EXPECT_FALSE(in.IsFailed());
    EXPECT_EQ(Values(back), (std::vector<int>{1, 3, -1, 7}));

    // A truncated archive stops at its end.
    std::vector<unsigned char> cut(out.GetBytes().begin(), out.GetBytes().end() - 3);
    KvObjectList partial;
    CArchive bad(CArchive::load, cut);
    partial.Serialize(bad);
    EXPECT_TRUE(bad.IsFailed());
    EXPECT_LE(partial.GetCount(), 2);
}

// ---------------------------------------------------------------------------
// CsObjectList

namespace {
struct Node : CsObjectListItem {
    explicit Node(int v) : v(v) {}
    ~Node() override { ++g_deleted; }
    int v;
};
}  // namespace

TEST_F(ListsTest, CsObjectListOwnsAndMergesItsItems) {
    {
        CsObjectList a, b;
        EXPECT_EQ(a.AddItem(nullptr), -1);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(a.AddItem(new Node(i)), 0);
        b.AddItem(new Node(10));
        EXPECT_EQ(a.Merge(nullptr), -1);
        EXPECT_EQ(a.Merge(&a), -1);
        EXPECT_EQ(a.Merge(&b), 0);
        EXPECT_TRUE(b.IsEmpty());
        EXPECT_EQ(a.Size(), 4);
        auto* hit = a.FirstThat([](CsObjectListItem* p) { return static_cast<Node*>(p)->v == 10; });
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(hit, a.Tail());
        int sum = 0;
        a.ForEach(+[](CsObjectListItem* p, void* u) { *static_cast<int*>(u) += static_cast<Node*>(p)->v; }, &sum);
        EXPECT_EQ(sum, 13);
        b.AddItem(new Node(5));
    }
    EXPECT_EQ(g_deleted, 5);
}

// ---------------------------------------------------------------------------
// CsStrList

TEST_F(ListsTest, StrListFindsAndAddsUniquely) {
    CsStrList l;
    l.AddTail("abc");
    EXPECT_TRUE(l.AddTailUnique("ABC"));  // present ignoring case: nothing added
    EXPECT_EQ(l.Size(), 1);
    l.AddTail("");
    l.AddTail("abcdef");
    l.AddHead("first");
    EXPECT_EQ(Texts(l), "first;abc;;abcdef;");
    EXPECT_EQ(l.Find(""), nullptr);  // empty items never match
    EXPECT_EQ(l.Find("ABC"), nullptr);
    EXPECT_STREQ(l.IFind("ABC")->GetStr(), "abc");
    EXPECT_STREQ(l.Find("abcxx", 3)->GetStr(), "abc");
    EXPECT_STREQ(l.Find("abcdxx", 4)->GetStr(), "abcdef");
    EXPECT_TRUE(l.Remove("abc"));
    EXPECT_FALSE(l.Remove("abc"));
    EXPECT_EQ(Texts(l), "first;;abcdef;");
}

TEST_F(ListsTest, StrListGetHeadAndGetTailUnlink) {
    CsStrList l;
    l.AddTail("only");
    CsStrListItem* item = l.GetHead();
    ASSERT_NE(item, nullptr);
    EXPECT_STREQ(item->GetStr(), "only");
    EXPECT_EQ(l.GetHead(), nullptr);
    EXPECT_TRUE(l.IsEmpty());
    delete item;

    l.AddTail("a");
    l.AddTail("b");
    l.AddTail("c");
    item = l.GetTail();
    EXPECT_STREQ(item->GetStr(), "c");
    EXPECT_STREQ(l.Tail()->GetStr(), "b");
    l.AddHead(item);  // relinked at the head
    EXPECT_EQ(Texts(l), "c;a;b;");
}

TEST_F(ListsTest, StrListOperationsOnItselfAreSafe) {
    CsStrList l;
    l.AddTail("x");
    l.AddTail("");
    l.AddTail("y");
    EXPECT_TRUE(l.AddTailUnique(l));  // the empty text is added once, the walk ends
    EXPECT_EQ(Texts(l), "x;;y;;");
    EXPECT_FALSE(l.AddTail(l));
    EXPECT_TRUE(l.Duplicate(l));
    EXPECT_EQ(l.Size(), 4);
    EXPECT_EQ(l.RemoveFrom(l), 2);
    EXPECT_EQ(Texts(l), ";;");
}

TEST_F(ListsTest, StrListMovesCopiesAndRenders) {
    CsStrList a, b;
    a.AddTail("1");
    b.AddTail("2");
    b.AddTail("3");
    EXPECT_TRUE(a.AddHead(b));
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(Texts(a), "2;3;1;");
    b.AddTail("3");
    EXPECT_EQ(a.RemoveFrom(b), 1);

    CsStrList copy(a);
    EXPECT_EQ(Texts(copy), "2;1;");
    copy = b;
    EXPECT_EQ(Texts(copy), "3;");

    CsString text;
    ASSERT_TRUE(a.ToText(text));
    EXPECT_STREQ(text.GetStr(), "2\r\n1\r\n\r\n");
    KvGenBuffer buf;
    ASSERT_TRUE(a.ToBuffer(buf));
    EXPECT_EQ(buf.GetCount(), 9u);
    EXPECT_EQ(std::string(buf.GetData(), 9), std::string("2\r\n1\r\n\r\n\0", 9));
}

// ---------------------------------------------------------------------------
// CsStrMap

TEST_F(ListsTest, StrMapIsAnOrderedAssociationList) {
    CsStrMap m;
    m.AddTail("Key", "one");
    m.AddTail("key", "two");
    m.AddHead("other", "");
    EXPECT_STREQ(m.Lookup("key"), "two");
    EXPECT_STREQ(m.ILookup("KEY"), "one");  // first match from the head
    EXPECT_STREQ(m.Lookup("other"), "");    // found, though empty
    EXPECT_EQ(m.Lookup("missing"), nullptr);
    EXPECT_EQ(m.Lookup(nullptr), nullptr);

    EXPECT_TRUE(m.AddTailUnique("KEY", "three"));  // present: not replaced
    EXPECT_EQ(m.Size(), 3);
    EXPECT_STREQ(m.ILookup("key"), "one");
    EXPECT_TRUE(m.Remove("key"));
    EXPECT_STREQ(m.ILookup("key"), "one");
    EXPECT_FALSE(m.Remove("KEY"));

    CsStrMap copy(m);
    EXPECT_EQ(copy.Size(), 2);
    CsStrMapItem* tail = copy.GetTail();
    EXPECT_STREQ(tail->GetKey(), "Key");
    delete tail;
    EXPECT_STREQ(copy.Head()->GetKey(), "other");
    EXPECT_EQ(copy.Head(), copy.Tail());
    EXPECT_TRUE(m.AddTail(copy));
    EXPECT_EQ(m.Size(), 3);
    EXPECT_TRUE(copy.IsEmpty());
}
