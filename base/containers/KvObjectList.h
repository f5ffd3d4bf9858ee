// KvObjectList: an owning doubly linked list of KvObject pointers.
//
// POSITION values are opaque node handles, valid until their node is
// removed. Nodes come from blocks of `blockSize` nodes (KvPlex) and are
// recycled through a free list; the blocks are released when the list
// becomes empty.
//
// Ownership: RemoveAt and SetAt delete the element they drop; RemoveAll(true)
// and the destructor delete every element; RemoveAll(false) only forgets
// them; RemoveHead and RemoveTail hand the element to the caller. AddHead
// and AddTail of another list copy its pointers, so the caller then
// releases one of the lists with RemoveAll(false). Null elements are
// allowed. Operations that must allocate return null / false when out of
// memory, and the element then stays with the caller. Not thread-safe.
#pragma once

#include "base/containers/KvObject.h"
#include "base/containers/KvPlex.h"

class KvObjectList : public CObject {
    DECLARE_DYNCREATE(KvObjectList)

public:
    explicit KvObjectList(int blockSize = 10);
    ~KvObjectList() override;
    KvObjectList(const KvObjectList&) = delete;
    KvObjectList& operator=(const KvObjectList&) = delete;

    int GetCount() const { return m_nCount; }
    int GetSize() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }
    // Null when the list is empty.
    KvObject* GetHead() const { return m_pNodeHead ? m_pNodeHead->data : nullptr; }
    KvObject* GetTail() const { return m_pNodeTail ? m_pNodeTail->data : nullptr; }
    POSITION GetHeadPosition() const { return ToPos(m_pNodeHead); }
    POSITION GetTailPosition() const { return ToPos(m_pNodeTail); }
    // The element at pos; pos moves to the next / previous node (null at
    // the end).
    KvObject* GetNext(POSITION& pos) const;
    KvObject* GetPrev(POSITION& pos) const;
    KvObject* GetAt(POSITION pos) const { return pos ? FromPos(pos)->data : nullptr; }
    void SetAt(POSITION pos, KvObject* p);

    // Index variants walk from the head; nothing happens beyond the end.
    KvObject* GetAt(int i) const { return GetAt(FindIndex(i)); }
    void SetAt(int i, KvObject* p);
    void RemoveAt(int i);

    POSITION AddHead(KvObject* p);
    POSITION AddTail(KvObject* p);
    bool AddHead(const KvObjectList& other);  // keeps the other's order
    bool AddTail(const KvObjectList& other);
    KvObject* RemoveHead();
    KvObject* RemoveTail();
    // A null position means the head / the tail.
    POSITION InsertBefore(POSITION pos, KvObject* p);
    POSITION InsertAfter(POSITION pos, KvObject* p);
    void RemoveAt(POSITION pos);
    void RemoveAll(bool deleteObjects = true);

    POSITION FindIndex(int i) const;
    // By pointer identity, after `after` (null: from the head).
    POSITION Find(const KvObject* p, POSITION after = nullptr) const;

    // Inserts p in front of the first element that does not sort before
    // it (behind the tail when the tail does not sort after it).
    POSITION InsertSort(KvObject* p);
    // Reorders the list as InsertSort of every element, in list order, into
    // an empty list would (in n log n); positions keep their nodes, which
    // then hold other elements. False (order unchanged) when out of memory.
    bool Sort();

    // The count, then each object by class; loading appends.
    void Serialize(CArchive& ar) override;

private:
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        KvObject* data;
    };
    static POSITION ToPos(CNode* n) { return reinterpret_cast<POSITION>(n); }
    static CNode* FromPos(POSITION p) { return reinterpret_cast<CNode*>(p); }

    CNode* NewNode(CNode* prev, CNode* next);
    void FreeNode(CNode* node);
    void Unlink(CNode* node);
    void TakeOver(KvObjectList& other);

    CNode* m_pNodeHead = nullptr;
    CNode* m_pNodeTail = nullptr;
    int m_nCount = 0;
    CNode* m_pNodeFree = nullptr;
    KvPlex* m_pBlocks = nullptr;
    int m_nBlockSize;
};
