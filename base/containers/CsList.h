// Minimal singly linked lists.
//
// CsObjectList: an intrusive, owning list of CsObjectListItem-derived
//   items with a count.
// CsStrList: an owning list of text items (no count, no virtuals).
// CsStrMap: an owning association list of key/value text items; not a
//   hash map: duplicate keys are allowed unless AddTailUnique is used, and
//   lookups return the first match from the head.
//
// The lists own their items: RemoveAll(true) and the destructors delete
// them; GetHead/GetTail unlink an item and hand it to the caller. Null texts
// count as empty. Additions report false (and add nothing) when out of
// memory. Moving a list's items into itself is refused. Not thread-safe.
#pragma once

#include "base/str/CsString.h"

class KvGenBuffer;

// ---------------------------------------------------------------------------

class CsObjectListItem {
public:
    CsObjectListItem() = default;
    virtual ~CsObjectListItem() = default;
    CsObjectListItem* Next() const { return m_pNext; }

    CsObjectListItem* m_pNext = nullptr;
};

class CsObjectList {
public:
    typedef int (*TestFunc)(CsObjectListItem* item, void* userData);
    typedef void (*IterFunc)(CsObjectListItem* item, void* userData);

    CsObjectList() = default;
    virtual ~CsObjectList() { RemoveAll(); }
    CsObjectList(const CsObjectList&) = delete;
    CsObjectList& operator=(const CsObjectList&) = delete;

    // Appends the item (the list takes it); -1 for null, else 0.
    int AddItem(CsObjectListItem* item);
    // Moves all of the other list's items to the end; -1 for null or self.
    int Merge(CsObjectList* other);
    void RemoveAll();

    CsObjectListItem* FirstThat(TestFunc test, void* userData) const;
    template <class Pred>
    CsObjectListItem* FirstThat(Pred pred) const {
        for (CsObjectListItem* p = m_pHead; p; p = p->m_pNext) {
            if (pred(p)) return p;
        }
        return nullptr;
    }
    void ForEach(IterFunc fn, void* userData) const;
    template <class Fn>
    void ForEach(Fn fn) const {
        for (CsObjectListItem *p = m_pHead, *next; p; p = next) {
            next = p->m_pNext;  // taken first, so fn may unlink and delete its item
            fn(p);
        }
    }

    bool IsEmpty() const { return m_pHead == nullptr; }
    int Size() const { return m_nCount; }
    CsObjectListItem* Head() const { return m_pHead; }
    CsObjectListItem* Tail() const { return m_pTail; }

protected:
    CsObjectListItem* m_pHead = nullptr;
    CsObjectListItem* m_pTail = nullptr;
    int m_nCount = 0;
};

// ---------------------------------------------------------------------------

struct CsStrListItem {
    CsString m_str;
    CsStrListItem* m_pNext = nullptr;

    const char* GetStr() const { return m_str.GetStr(); }
    CsStrListItem* Next() const { return m_pNext; }
};

class CsStrList {
public:
    CsStrList() = default;
    CsStrList(const CsStrList& other) { Duplicate(other); }
    CsStrList& operator=(const CsStrList& other) {
        Duplicate(other);
        return *this;
    }
    ~CsStrList() { RemoveAll(true); }

    bool AddHead(const char* text);
    bool AddTail(const char* text);
    bool AddHead(CsStrListItem* item);
    bool AddTail(CsStrListItem* item);
    // Moves all items of the other list before / after this list's items.
    bool AddHead(CsStrList& other);
    bool AddTail(CsStrList& other);
    // Adds text unless IFind(text, n) finds it; true in both cases.
    bool AddTailUnique(const char* text, int n = 0);
    bool AddTailUnique(const CsStrList& other);

    // The first item whose text equals text (n <= 0) or whose first n bytes
    // equal text's (n > 0); items with an empty text never match.
    CsStrListItem* Find(const char* text, int n = 0) const;
    CsStrListItem* IFind(const char* text, int n = 0) const;  // ignoring case
    // Unlinks and deletes the first item Find(text, n) returns.
    bool Remove(const char* text, int n = 0);
    // Remove(text) for each text of the other list; the number removed.
    int RemoveFrom(const CsStrList& other);
    void RemoveAll(bool deleteItems = true);

    // Unlink and return the first / last item (the caller owns it).
    CsStrListItem* GetHead();
    CsStrListItem* GetTail();
    CsStrListItem* Head() const { return m_pHead; }
    CsStrListItem* Tail() const { return m_pTail; }

    template <class Pred>
    CsStrListItem* FindFirst(Pred pred) const {
        for (CsStrListItem* p = m_pHead; p; p = p->m_pNext) {
            if (pred(p)) return p;
        }
        return nullptr;
    }
    template <class Fn>
    void ForEach(Fn fn) const {
        for (CsStrListItem *p = m_pHead, *next; p; p = next) {
            next = p->m_pNext;
            fn(p);
        }
    }

    bool IsEmpty() const { return m_pHead == nullptr; }
    int Size() const;  // walks the list

    // Replace the contents with copies of the other list's texts; on
    // failure the copies made so far stay.
    bool Duplicate(const CsStrList& other);
    bool CopyFrom(const CsStrList& other) { return Duplicate(other); }

    // Every text followed by CR LF, then one more CR LF.
    bool ToText(CsString& out) const;
    // Appends every text followed by CR LF, then CR, LF and a zero byte.
    bool ToBuffer(KvGenBuffer& buffer) const;

private:
    CsStrListItem* m_pHead = nullptr;
    CsStrListItem* m_pTail = nullptr;
};

// ---------------------------------------------------------------------------

struct CsStrMapItem {
    CsString m_key;
    CsString m_value;
    CsStrMapItem* m_pNext = nullptr;

    const char* GetKey() const { return m_key.GetStr(); }
    const char* GetValue() const { return m_value.GetStr(); }
    CsStrMapItem* Next() const { return m_pNext; }
};

class CsStrMap {
public:
    CsStrMap() = default;
    CsStrMap(const CsStrMap& other) { CopyFrom(other); }
    CsStrMap& operator=(const CsStrMap& other) {
        CopyFrom(other);
        return *this;
    }
    ~CsStrMap() { RemoveAll(true); }

    bool AddHead(const char* key, const char* value);
    bool AddTail(const char* key, const char* value);
    // Adds unless IFind(key) finds an item (whose value is then kept);
    // true in both cases.
    bool AddTailUnique(const char* key, const char* value);
    bool AddHead(CsStrMapItem* item);
    bool AddTail(CsStrMapItem* item);
    bool AddHead(CsStrMap& other);
    bool AddTail(CsStrMap& other);

    // First item whose key compares equal (a null key only matches an
    // item whose key was never set).
    CsStrMapItem* Find(const char* key) const;
    CsStrMapItem* IFind(const char* key) const;
    // The value of the first match (never null when found), or null.
    const char* Lookup(const char* key) const;
    const char* ILookup(const char* key) const;
    bool Remove(const char* key);
    void RemoveAll(bool deleteItems = true);

    CsStrMapItem* GetHead();
    CsStrMapItem* GetTail();
    CsStrMapItem* Head() const { return m_pHead; }
    CsStrMapItem* Tail() const { return m_pTail; }

    template <class Pred>
    CsStrMapItem* FindFirst(Pred pred) const {
        for (CsStrMapItem* p = m_pHead; p; p = p->m_pNext) {
            if (pred(p)) return p;
        }
        return nullptr;
    }
    template <class Fn>
    void ForEach(Fn fn) const {
        for (CsStrMapItem *p = m_pHead, *next; p; p = next) {
            next = p->m_pNext;
            fn(p);
        }
    }

    bool IsEmpty() const { return m_pHead == nullptr; }
    int Size() const;
    bool CopyFrom(const CsStrMap& other);

private:
    CsStrMapItem* m_pHead = nullptr;
    CsStrMapItem* m_pTail = nullptr;
};
