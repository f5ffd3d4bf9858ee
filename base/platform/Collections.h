// Thin platform collections with the member names the libraries call.
#pragma once

#include <algorithm>
#include <cassert>
#include <list>
#include <vector>

#include "base/platform/CString.h"
#include "base/platform/Object.h"

// Array of strings; callers keep indices in range (asserted in debug builds).
class CStringArray : public CObject {
public:
    int GetSize() const { return (int)m_items.size(); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(int n) { m_items.resize(n > 0 ? (size_t)n : 0); }
    const CString& GetAt(int i) const { return m_items[Index(i)]; }
    CString& ElementAt(int i) { return m_items[Index(i)]; }
    CString& operator[](int i) { return m_items[Index(i)]; }
    const CString& operator[](int i) const { return m_items[Index(i)]; }
    void SetAt(int i, const char* s) { m_items[Index(i)] = s; }
    void SetAtGrow(int i, const char* s) {
        if ((size_t)i >= m_items.size()) m_items.resize((size_t)i + 1);
        m_items[(size_t)i] = s;
    }
    int Add(const CString& s) { m_items.push_back(s); return GetSize() - 1; }
    int Add(const char* s) { return Add(CString(s)); }
    void InsertAt(int i, const char* s, int count = 1) {
        if ((size_t)i > m_items.size()) m_items.resize((size_t)i);
        m_items.insert(m_items.begin() + i, (size_t)(count > 0 ? count : 0), CString(s));
    }
    void RemoveAt(int i, int count = 1) {
        if (i < 0 || (size_t)i >= m_items.size() || count <= 0) return;
        size_t end = std::min(m_items.size(), (size_t)i + (size_t)count);
        m_items.erase(m_items.begin() + i, m_items.begin() + (long)end);
    }
    void RemoveAll() { m_items.clear(); }
    void FreeExtra() { m_items.shrink_to_fit(); }
    void Append(const CStringArray& other) { m_items.insert(m_items.end(), other.m_items.begin(), other.m_items.end()); }
    void Copy(const CStringArray& other) { m_items = other.m_items; }
    std::vector<CString>::iterator begin() { return m_items.begin(); }
    std::vector<CString>::iterator end() { return m_items.end(); }
    std::vector<CString>::const_iterator begin() const { return m_items.begin(); }
    std::vector<CString>::const_iterator end() const { return m_items.end(); }

protected:
    size_t Index(int i) const {
        assert(i >= 0 && (size_t)i < m_items.size());
        return (size_t)i;
    }
    std::vector<CString> m_items;
};

class CUIntArray : public CObject {
public:
    int GetSize() const { return (int)m_items.size(); }
    bool IsEmpty() const { return m_items.empty(); }
    void SetSize(int n) { m_items.resize(n > 0 ? (size_t)n : 0); }
    UINT GetAt(int i) const { return m_items[Index(i)]; }
    UINT& operator[](int i) { return m_items[Index(i)]; }
    UINT operator[](int i) const { return m_items[Index(i)]; }
    void SetAt(int i, UINT v) { m_items[Index(i)] = v; }
    int Add(UINT v) { m_items.push_back(v); return GetSize() - 1; }
    void RemoveAt(int i) { if (i >= 0 && (size_t)i < m_items.size()) m_items.erase(m_items.begin() + i); }
    void RemoveAll() { m_items.clear(); }

private:
    size_t Index(int i) const {
        assert(i >= 0 && (size_t)i < m_items.size());
        return (size_t)i;
    }
    std::vector<UINT> m_items;
};

// Doubly linked list of untyped pointers; POSITION is a node handle.
class CPtrList : public CObject {
public:
    CPtrList() = default;
    ~CPtrList() override { RemoveAll(); }
    CPtrList(const CPtrList&) = delete;
    CPtrList& operator=(const CPtrList&) = delete;

    int GetCount() const { return m_count; }
    int GetSize() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    void* GetHead() const { return m_head ? m_head->data : nullptr; }
    void* GetTail() const { return m_tail ? m_tail->data : nullptr; }
    POSITION GetHeadPosition() const { return ToPos(m_head); }
    POSITION GetTailPosition() const { return ToPos(m_tail); }
    void*& GetNext(POSITION& pos) const { Node* n = NodeAt(pos); pos = ToPos(n->next); return n->data; }
    void*& GetPrev(POSITION& pos) const { Node* n = NodeAt(pos); pos = ToPos(n->prev); return n->data; }
    void*& GetAt(POSITION pos) const { return NodeAt(pos)->data; }
    void SetAt(POSITION pos, void* p) { NodeAt(pos)->data = p; }
    POSITION AddHead(void* p) { return InsertBefore(GetHeadPosition(), p); }
    POSITION AddTail(void* p) { return InsertAfter(GetTailPosition(), p); }
    POSITION InsertBefore(POSITION pos, void* p);
    POSITION InsertAfter(POSITION pos, void* p);
    void* RemoveHead() { void* p = GetHead(); if (m_head) RemoveAt(GetHeadPosition()); return p; }
    void* RemoveTail() { void* p = GetTail(); if (m_tail) RemoveAt(GetTailPosition()); return p; }
    void RemoveAt(POSITION pos);
    void RemoveAll();
    POSITION Find(void* p, POSITION after = nullptr) const;
    POSITION FindIndex(int index) const;

private:
    struct Node {
        Node* prev;
        Node* next;
        void* data;
    };
    static POSITION ToPos(Node* n) { return reinterpret_cast<POSITION>(n); }
    // A position the caller walks or reads from is a live node of this list.
    static Node* FromPos(POSITION p) { return reinterpret_cast<Node*>(p); }
    static Node* NodeAt(POSITION p) {
        assert(p != nullptr);
        return FromPos(p);
    }

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    int m_count = 0;
};
