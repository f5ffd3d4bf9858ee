// KvObjectArray: an owning array of KvObject pointers.
//
// The array owns its elements: an element is deleted when it is
// overwritten, removed, cut off by shrinking, or when the array is
// destroyed. Null slots are allowed (and count as a match in the searches).
// Indices are not range-checked by the plain accessors; the editing
// operations ignore indices outside the array. Operations that must
// allocate report failure (false / -1 / 0) and then leave the array as it
// was; an element that could not be stored stays with the caller.
//
// Append, Copy and InsertAt(i, other) copy pointers without cloning: both
// arrays then list the same objects, so the caller releases one side with
// ForgetAll before either deletes them. Not thread-safe.
#pragma once

#include "base/containers/KvObject.h"

class KvObjectArray : public KvObject {
    DECLARE_DYNCREATE(KvObjectArray)

public:
    KvObjectArray() = default;
    ~KvObjectArray() override;
    // An owning array cannot be copied member-wise (two owners).
    KvObjectArray(const KvObjectArray&) = delete;
    KvObjectArray& operator=(const KvObjectArray&) = delete;

    int GetSize() const { return m_nSize; }
    int GetCount() const { return m_nSize; }
    int GetUpperBound() const { return m_nSize - 1; }
    bool IsEmpty() const { return m_nSize == 0; }
    KvObject* GetAt(int i) const { return m_pData[i]; }
    KvObject* operator[](int i) const { return m_pData[i]; }
    KvObject** GetData() const { return m_pData; }

    // growBy != -1 sets the growth step (0 = automatic). n = 0 deletes all
    // elements and frees the storage; shrinking deletes the elements cut off.
    bool SetSize(int n, int growBy = -1);
    void SetAt(int i, KvObject* p);
    bool SetAtGrow(int i, KvObject* p);
    int Add(KvObject* p);  // the index, or -1 when the array cannot grow
    // Stores p count times from i on (i beyond the end grows the array).
    // An owning array cannot hold one object twice, so count > 1 is only
    // accepted for null.
    bool InsertAt(int i, KvObject* p, int count = 1);
    bool InsertAt(int i, const KvObjectArray& other);
    void RemoveAt(int i, int count = 1);
    void RemoveAll() { SetSize(0); }
    // Empties the array without deleting the elements (another owner
    // keeps them).
    void ForgetAll();
    bool Append(const KvObjectArray& other);
    using KvObject::Copy;
    bool Copy(const KvObjectArray& other);
    void FreeExtra();

    // Deletes element i and nulls its slot; the size stays.
    void Destroy(int i);
    void DestroyAll();
    // Takes element i out of its slot (now null) and gives it to the caller.
    KvObject* Detach(int i);

    // Ascending by Compare (null slots first); equal elements in no
    // particular order.
    void Sort();
    // 1 when p was inserted at its sorted place; 0 when an equal element
    // exists and duplicates are refused, or the array cannot grow (the
    // caller keeps p then).
    int InsertSort(KvObject* p, bool allowDuplicate = true);
    // The sorted insertion index (-1 for an empty array); found is set when
    // an equal element was met.
    int SearchForInsert(const KvObject* p, bool& found) const;
    // Binary search over [lo, hi) (hi -1: the size); -1 when absent.
    int Search(const KvObject& obj, int lo = 0, int hi = -1) const;
    // Linear search over [from, to] (to -1: the last index); -1 when absent.
    int Find(const KvObject& obj, int from = 0, int to = -1) const;

private:
    bool Reserve(int n);
    int InsertPoint(const KvObject& p, bool& found) const;
    static void DeleteElement(KvObject* p);

    KvObject** m_pData = nullptr;
    int m_nSize = 0;
    int m_nMaxSize = 0;
    int m_nGrowBy = 0;
};
