#include "base/containers/KvObjectList.h"

#include "base/app/KvLogCaught.h"
#include "base/platform/Archive.h"

#include <algorithm>
#include <new>
#include <vector>

IMPLEMENT_DYNCREATE(KvObjectList, CObject)

namespace {

// Sorting order: null elements first, then by Compare.
int SortOrder(const KvObject* a, const KvObject* b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    return a->Compare(*b);
}

void DeleteObject(KvObject* p) {
    try {
        delete p;
    } catch (...) {
        // An element whose destructor throws must not take the list down.
        KvLogCaught("deleting a list element");
    }
}

}  // namespace

KvObjectList::KvObjectList(int blockSize) : m_nBlockSize(blockSize > 0 ? blockSize : 10) {}

KvObjectList::~KvObjectList() { RemoveAll(true); }

// ---------------------------------------------------------------------------
// Nodes.

KvObjectList::CNode* KvObjectList::NewNode(CNode* prev, CNode* next) {
    if (!m_pNodeFree) {
        KvPlex* block = KvPlex::Create(m_pBlocks, (size_t)m_nBlockSize, sizeof(CNode));
        if (!block) return nullptr;
        CNode* nodes = static_cast<CNode*>(block->data());
        for (int i = m_nBlockSize - 1; i >= 0; --i) {  // so the free list runs in address order
            nodes[i].pNext = m_pNodeFree;
            m_pNodeFree = &nodes[i];
        }
    }
    CNode* node = m_pNodeFree;
    m_pNodeFree = node->pNext;
    node->pPrev = prev;
    node->pNext = next;
    node->data = nullptr;
    ++m_nCount;
    return node;
}

void KvObjectList::FreeNode(CNode* node) {
    node->pNext = m_pNodeFree;
    m_pNodeFree = node;
    if (--m_nCount == 0) RemoveAll(false);  // releases the blocks
}

void KvObjectList::Unlink(CNode* node) {
    if (node->pPrev) node->pPrev->pNext = node->pNext; else m_pNodeHead = node->pNext;
    if (node->pNext) node->pNext->pPrev = node->pPrev; else m_pNodeTail = node->pPrev;
}

void KvObjectList::RemoveAll(bool deleteObjects) {
    if (deleteObjects) {
        // Detach the chain first: an element's destructor may look at the list.
        CNode* node = m_pNodeHead;
        m_pNodeHead = m_pNodeTail = nullptr;
        for (; node; node = node->pNext) DeleteObject(node->data);
    }
    m_nCount = 0;
    m_pNodeHead = m_pNodeTail = m_pNodeFree = nullptr;
    if (m_pBlocks) m_pBlocks->FreeDataChain();
    m_pBlocks = nullptr;
}

// ---------------------------------------------------------------------------
// Access and editing.

KvObject* KvObjectList::GetNext(POSITION& pos) const {
    CNode* node = FromPos(pos);
    if (!node) return nullptr;
    pos = ToPos(node->pNext);
    return node->data;
}

KvObject* KvObjectList::GetPrev(POSITION& pos) const {
    CNode* node = FromPos(pos);
    if (!node) return nullptr;
    pos = ToPos(node->pPrev);
    return node->data;
}

void KvObjectList::SetAt(POSITION pos, KvObject* p) {
    CNode* node = FromPos(pos);
    if (!node) return;
    KvObject* old = node->data;
    node->data = p;
    if (old != p) DeleteObject(old);
}

void KvObjectList::SetAt(int i, KvObject* p) {
    POSITION pos = FindIndex(i);
    if (pos) SetAt(pos, p);
}

void KvObjectList::RemoveAt(int i) {
    POSITION pos = FindIndex(i);
    if (pos) RemoveAt(pos);
}

POSITION KvObjectList::AddHead(KvObject* p) { return InsertBefore(nullptr, p); }

POSITION KvObjectList::AddTail(KvObject* p) { return InsertAfter(nullptr, p); }

POSITION KvObjectList::InsertBefore(POSITION pos, KvObject* p) {
    CNode* at = pos ? FromPos(pos) : m_pNodeHead;
    CNode* node = NewNode(at ? at->pPrev : nullptr, at);
    if (!node) return nullptr;
    node->data = p;
    if (node->pPrev) node->pPrev->pNext = node; else m_pNodeHead = node;
    if (at) at->pPrev = node; else m_pNodeTail = node;
    return ToPos(node);
}

POSITION KvObjectList::InsertAfter(POSITION pos, KvObject* p) {
    CNode* at = pos ? FromPos(pos) : m_pNodeTail;
    CNode* node = NewNode(at, at ? at->pNext : nullptr);
    if (!node) return nullptr;
    node->data = p;
    if (node->pNext) node->pNext->pPrev = node; else m_pNodeTail = node;
    if (at) at->pNext = node; else m_pNodeHead = node;
    return ToPos(node);
}

bool KvObjectList::AddHead(const KvObjectList& other) {
    if (&other == this) return false;  // one object twice in one owner
    int added = 0;
    for (CNode* n = other.m_pNodeTail; n; n = n->pPrev, ++added) {
        if (!AddHead(n->data)) {
            while (added-- > 0) RemoveHead();
            return false;
        }
    }
    return true;
}

bool KvObjectList::AddTail(const KvObjectList& other) {
    if (&other == this) return false;
    int added = 0;
    for (CNode* n = other.m_pNodeHead; n; n = n->pNext, ++added) {
        if (!AddTail(n->data)) {
            while (added-- > 0) RemoveTail();
            return false;
        }
    }
    return true;
}

KvObject* KvObjectList::RemoveHead() {
    CNode* node = m_pNodeHead;
    if (!node) return nullptr;
    KvObject* p = node->data;
    Unlink(node);
    FreeNode(node);
    return p;
}

KvObject* KvObjectList::RemoveTail() {
    CNode* node = m_pNodeTail;
    if (!node) return nullptr;
    KvObject* p = node->data;
    Unlink(node);
    FreeNode(node);
    return p;
}

void KvObjectList::RemoveAt(POSITION pos) {
    CNode* node = FromPos(pos);
    if (!node) return;
    KvObject* p = node->data;
    Unlink(node);
    FreeNode(node);
    DeleteObject(p);
}

POSITION KvObjectList::FindIndex(int i) const {
    if (i < 0 || i >= m_nCount) return nullptr;
    CNode* node = m_pNodeHead;
    while (i-- > 0) node = node->pNext;
    return ToPos(node);
}

POSITION KvObjectList::Find(const KvObject* p, POSITION after) const {
    CNode* node = after ? FromPos(after)->pNext : m_pNodeHead;
    for (; node; node = node->pNext) {
        if (node->data == p) return ToPos(node);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Sorting.

POSITION KvObjectList::InsertSort(KvObject* p) {
    if (!m_pNodeHead) return AddTail(p);
    if (SortOrder(m_pNodeHead->data, p) >= 0) return AddHead(p);
    if (SortOrder(m_pNodeTail->data, p) <= 0) return AddTail(p);
    CNode* node = m_pNodeHead->pNext;
    while (node && SortOrder(node->data, p) < 0) node = node->pNext;
    return node ? InsertBefore(ToPos(node), p) : AddTail(p);
}

bool KvObjectList::Sort() {
    if (m_nCount < 2) return true;
    // The order is the one InsertSort gives when every element, in list
    // order, goes into a fresh list; computed in n log n instead of the
    // n^2 of re-inserting. Among equal elements an element goes in front of
    // the earlier ones, unless it sorted at or above every earlier element
    // (and above the smallest): then it went behind the tail. So each run
    // of equals reads: the front-inserted ones, latest first, then the
    // tail-appended ones in list order. A tie rank encodes exactly that.
    struct Entry {
        KvObject* p;
        long long tie;
    };
    std::vector<Entry> entries;
    try {
        entries.reserve((size_t)m_nCount);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const long long n = m_nCount;
    KvObject* lowest = m_pNodeHead->data;   // the head of the list being built
    KvObject* highest = m_pNodeHead->data;  // its tail
    long long index = 0;
    for (CNode* node = m_pNodeHead; node; node = node->pNext, ++index) {
        KvObject* p = node->data;
        long long tie = -index;  // in front of its equals
        if (index == 0) {
            tie = n;
        } else if (SortOrder(lowest, p) >= 0) {
            lowest = p;
        } else if (SortOrder(highest, p) <= 0) {
            highest = p;
            tie = n + index;  // behind its equals
        }
        entries.push_back(Entry{p, tie});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        int c = SortOrder(a.p, b.p);
        return c != 0 ? c < 0 : a.tie < b.tie;
    });
    // The nodes stay; they take the elements in their new order.
    CNode* node = m_pNodeHead;
    for (const Entry& e : entries) {
        node->data = e.p;
        node = node->pNext;
    }
    return true;
}

void KvObjectList::TakeOver(KvObjectList& other) {
    m_pNodeHead = other.m_pNodeHead;
    m_pNodeTail = other.m_pNodeTail;
    m_nCount = other.m_nCount;
    m_pNodeFree = other.m_pNodeFree;
    m_pBlocks = other.m_pBlocks;
    other.m_pNodeHead = other.m_pNodeTail = other.m_pNodeFree = nullptr;
    other.m_pBlocks = nullptr;
    other.m_nCount = 0;
}

// ---------------------------------------------------------------------------
// Archive.

void KvObjectList::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << (uint32_t)m_nCount;
        for (CNode* n = m_pNodeHead; n; n = n->pNext) ar.WriteObject(n->data);
        return;
    }
    uint32_t count = 0;
    ar >> count;
    // A corrupt count ends with the archive's data, never earlier memory.
    for (uint32_t i = 0; i < count && !ar.IsFailed(); ++i) {
        CObject* obj = ar.ReadObject(RUNTIME_CLASS(KvObject));
        if (ar.IsFailed()) {
            delete obj;
            break;
        }
        KvObject* p = dynamic_cast<KvObject*>(obj);
        if (!AddTail(p)) {
            delete obj;
            break;
        }
    }
}
