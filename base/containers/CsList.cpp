#include "base/containers/CsList.h"

#include <strings.h>

#include <cstring>
#include <new>

#include "base/containers/KvGenBuffer.h"

namespace {

// Link operations shared by the three lists (items have m_pNext).
template <class Item>
void LinkHead(Item*& head, Item*& tail, Item* item) {
    item->m_pNext = head;
    head = item;
    if (!tail) tail = item;
}

template <class Item>
void LinkTail(Item*& head, Item*& tail, Item* item) {
    item->m_pNext = nullptr;
    if (tail) tail->m_pNext = item; else head = item;
    tail = item;
}

// Unlinks item, whose predecessor is prev (null for the head).
template <class Item>
void Unlink(Item*& head, Item*& tail, Item* prev, Item* item) {
    if (prev) prev->m_pNext = item->m_pNext; else head = item->m_pNext;
    if (tail == item) tail = prev;
    item->m_pNext = nullptr;
}

template <class Item>
Item* UnlinkHead(Item*& head, Item*& tail) {
    Item* item = head;
    if (item) Unlink(head, tail, (Item*)nullptr, item);
    return item;
}

template <class Item>
Item* UnlinkTail(Item*& head, Item*& tail) {
    if (!tail) return nullptr;
    Item* prev = nullptr;
    for (Item* p = head; p != tail; p = p->m_pNext) prev = p;
    Item* item = tail;
    Unlink(head, tail, prev, item);
    return item;
}

// Moves all of from's items before (atHead) or after this chain's items.
template <class Item>
void MoveChain(Item*& head, Item*& tail, Item*& fromHead, Item*& fromTail, bool atHead) {
    if (!fromHead) return;
    if (!head) {
        head = fromHead;
        tail = fromTail;
    } else if (atHead) {
        fromTail->m_pNext = head;
        head = fromHead;
    } else {
        tail->m_pNext = fromHead;
        tail = fromTail;
    }
    fromHead = fromTail = nullptr;
}

template <class Item>
void DeleteChain(Item*& head, Item*& tail, bool deleteItems) {
    Item* p = head;
    head = tail = nullptr;
    while (p) {
        Item* next = p->m_pNext;
        if (deleteItems) delete p; else p->m_pNext = nullptr;
        p = next;
    }
}

template <class Item>
int CountChain(const Item* p) {
    int n = 0;
    for (; p; p = p->m_pNext) ++n;
    return n;
}

// Text match of the string lists: empty item texts never match.
bool TextMatches(const CsString& item, const char* text, int n, bool noCase) {
    if (item.IsEmpty()) return false;
    if (!text) text = "";
    if (n > 0) {
        return (noCase ? strncasecmp(item.GetStr(), text, (size_t)n) : std::strncmp(item.GetStr(), text, (size_t)n)) == 0;
    }
    return (noCase ? strcasecmp(item.GetStr(), text) : std::strcmp(item.GetStr(), text)) == 0;
}

// Null-safe comparison: null sorts before any text, two nulls are equal.
int KeyCompare(const char* a, const char* b, bool noCase) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    return noCase ? strcasecmp(a, b) : std::strcmp(a, b);
}

CsStrListItem* NewTextItem(const char* text) {
    CsStrListItem* item = new (std::nothrow) CsStrListItem;
    if (item && text && !item->m_str.Set(text)) {
        delete item;
        return nullptr;
    }
    return item;
}

CsStrMapItem* NewPairItem(const char* key, const char* value) {
    CsStrMapItem* item = new (std::nothrow) CsStrMapItem;
    if (item && ((key && !item->m_key.Set(key)) || (value && !item->m_value.Set(value)))) {
        delete item;
        return nullptr;
    }
    return item;
}

}  // namespace

// ---------------------------------------------------------------------------
// CsObjectList

int CsObjectList::AddItem(CsObjectListItem* item) {
    if (!item) return -1;
    LinkTail(m_pHead, m_pTail, item);
    ++m_nCount;
    return 0;
}

int CsObjectList::Merge(CsObjectList* other) {
    if (!other || other == this) return -1;
    MoveChain(m_pHead, m_pTail, other->m_pHead, other->m_pTail, false);
    m_nCount += other->m_nCount;
    other->m_nCount = 0;
    return 0;
}

void CsObjectList::RemoveAll() {
    DeleteChain(m_pHead, m_pTail, true);
    m_nCount = 0;
}

CsObjectListItem* CsObjectList::FirstThat(TestFunc test, void* userData) const {
    if (!test) return nullptr;
    return FirstThat([&](CsObjectListItem* p) { return test(p, userData) != 0; });
}

void CsObjectList::ForEach(IterFunc fn, void* userData) const {
    if (fn) ForEach([&](CsObjectListItem* p) { fn(p, userData); });
}

// ---------------------------------------------------------------------------
// CsStrList

bool CsStrList::AddHead(const char* text) {
    CsStrListItem* item = NewTextItem(text);
    if (!item) return false;
    LinkHead(m_pHead, m_pTail, item);
    return true;
}

bool CsStrList::AddTail(const char* text) {
    CsStrListItem* item = NewTextItem(text);
    if (!item) return false;
    LinkTail(m_pHead, m_pTail, item);
    return true;
}

bool CsStrList::AddHead(CsStrListItem* item) {
    if (!item) return false;
    LinkHead(m_pHead, m_pTail, item);
    return true;
}

bool CsStrList::AddTail(CsStrListItem* item) {
    if (!item) return false;
    LinkTail(m_pHead, m_pTail, item);
    return true;
}

bool CsStrList::AddHead(CsStrList& other) {
    if (&other == this) return false;
    MoveChain(m_pHead, m_pTail, other.m_pHead, other.m_pTail, true);
    return true;
}

bool CsStrList::AddTail(CsStrList& other) {
    if (&other == this) return false;
    MoveChain(m_pHead, m_pTail, other.m_pHead, other.m_pTail, false);
    return true;
}

bool CsStrList::AddTailUnique(const char* text, int n) {
    if (IFind(text, n)) return true;
    return AddTail(text);
}

bool CsStrList::AddTailUnique(const CsStrList& other) {
    // Stop at the other list's last item as it was: adding to this list
    // must not extend the walk when both are the same list.
    const CsStrListItem* last = other.m_pTail;
    for (const CsStrListItem* p = other.m_pHead; p; p = p->m_pNext) {
        if (!AddTailUnique(p->m_str.GetStr())) return false;
        if (p == last) break;
    }
    return true;
}

CsStrListItem* CsStrList::Find(const char* text, int n) const {
    for (CsStrListItem* p = m_pHead; p; p = p->m_pNext) {
        if (TextMatches(p->m_str, text, n, false)) return p;
    }
    return nullptr;
}

CsStrListItem* CsStrList::IFind(const char* text, int n) const {
    for (CsStrListItem* p = m_pHead; p; p = p->m_pNext) {
        if (TextMatches(p->m_str, text, n, true)) return p;
    }
    return nullptr;
}

bool CsStrList::Remove(const char* text, int n) {
    CsStrListItem* prev = nullptr;
    for (CsStrListItem* p = m_pHead; p; prev = p, p = p->m_pNext) {
        if (TextMatches(p->m_str, text, n, false)) {
            Unlink(m_pHead, m_pTail, prev, p);
            delete p;
            return true;
        }
    }
    return false;
}

int CsStrList::RemoveFrom(const CsStrList& other) {
    int removed = 0;
    // The next item is taken first: when both lists are the same, the
    // match removed is the current item itself.
    for (const CsStrListItem *p = other.m_pHead, *next; p; p = next) {
        next = p->m_pNext;
        if (Remove(p->m_str.GetStr(), 0)) ++removed;
    }
    return removed;
}

void CsStrList::RemoveAll(bool deleteItems) { DeleteChain(m_pHead, m_pTail, deleteItems); }

CsStrListItem* CsStrList::GetHead() { return UnlinkHead(m_pHead, m_pTail); }

CsStrListItem* CsStrList::GetTail() { return UnlinkTail(m_pHead, m_pTail); }

int CsStrList::Size() const { return CountChain(m_pHead); }

bool CsStrList::Duplicate(const CsStrList& other) {
    if (&other == this) return true;
    RemoveAll(true);
    for (const CsStrListItem* p = other.m_pHead; p; p = p->m_pNext) {
        if (!AddTail(p->m_str.GetPtr())) return false;
    }
    return true;
}

bool CsStrList::ToText(CsString& out) const {
    size_t total = 2;
    for (const CsStrListItem* p = m_pHead; p; p = p->m_pNext) total += p->m_str.GetLength() + 2;
    char* text = static_cast<char*>(std::malloc(total + 1));
    if (!text) return false;
    char* w = text;
    for (const CsStrListItem* p = m_pHead; p; p = p->m_pNext) {
        size_t len = p->m_str.GetLength();
        std::memcpy(w, p->m_str.GetStr(), len);
        w += len;
        *w++ = '\r';
        *w++ = '\n';
    }
    *w++ = '\r';
    *w++ = '\n';
    *w = '\0';
    out.Attach(text);
    return true;
}

bool CsStrList::ToBuffer(KvGenBuffer& buffer) const {
    for (const CsStrListItem* p = m_pHead; p; p = p->m_pNext) {
        if (!buffer.PutString(p->m_str) || !buffer.PutString("\r\n", 2)) return false;
    }
    return buffer.PutString("\r\n", 3);  // CR, LF and the zero byte
}

// ---------------------------------------------------------------------------
// CsStrMap

bool CsStrMap::AddHead(const char* key, const char* value) {
    CsStrMapItem* item = NewPairItem(key, value);
    if (!item) return false;
    LinkHead(m_pHead, m_pTail, item);
    return true;
}

bool CsStrMap::AddTail(const char* key, const char* value) {
    CsStrMapItem* item = NewPairItem(key, value);
    if (!item) return false;
    LinkTail(m_pHead, m_pTail, item);
    return true;
}

bool CsStrMap::AddTailUnique(const char* key, const char* value) {
    if (IFind(key)) return true;
    return AddTail(key, value);
}

bool CsStrMap::AddHead(CsStrMapItem* item) {
    if (!item) return false;
    LinkHead(m_pHead, m_pTail, item);
    return true;
}

bool CsStrMap::AddTail(CsStrMapItem* item) {
    if (!item) return false;
    LinkTail(m_pHead, m_pTail, item);
    return true;
}

bool CsStrMap::AddHead(CsStrMap& other) {
    if (&other == this) return false;
    MoveChain(m_pHead, m_pTail, other.m_pHead, other.m_pTail, true);
    return true;
}

bool CsStrMap::AddTail(CsStrMap& other) {
    if (&other == this) return false;
    MoveChain(m_pHead, m_pTail, other.m_pHead, other.m_pTail, false);
    return true;
}

CsStrMapItem* CsStrMap::Find(const char* key) const {
    for (CsStrMapItem* p = m_pHead; p; p = p->m_pNext) {
        if (KeyCompare(p->m_key.GetPtr(), key, false) == 0) return p;
    }
    return nullptr;
}

CsStrMapItem* CsStrMap::IFind(const char* key) const {
    for (CsStrMapItem* p = m_pHead; p; p = p->m_pNext) {
        if (KeyCompare(p->m_key.GetPtr(), key, true) == 0) return p;
    }
    return nullptr;
}

const char* CsStrMap::Lookup(const char* key) const {
    const CsStrMapItem* item = Find(key);
    return item ? item->m_value.GetStr() : nullptr;
}

const char* CsStrMap::ILookup(const char* key) const {
    const CsStrMapItem* item = IFind(key);
    return item ? item->m_value.GetStr() : nullptr;
}

bool CsStrMap::Remove(const char* key) {
    CsStrMapItem* prev = nullptr;
    for (CsStrMapItem* p = m_pHead; p; prev = p, p = p->m_pNext) {
        if (KeyCompare(p->m_key.GetPtr(), key, false) == 0) {
            Unlink(m_pHead, m_pTail, prev, p);
            delete p;
            return true;
        }
    }
    return false;
}

void CsStrMap::RemoveAll(bool deleteItems) { DeleteChain(m_pHead, m_pTail, deleteItems); }

CsStrMapItem* CsStrMap::GetHead() { return UnlinkHead(m_pHead, m_pTail); }

CsStrMapItem* CsStrMap::GetTail() { return UnlinkTail(m_pHead, m_pTail); }

int CsStrMap::Size() const { return CountChain(m_pHead); }

bool CsStrMap::CopyFrom(const CsStrMap& other) {
    if (&other == this) return true;
    RemoveAll(true);
    for (const CsStrMapItem* p = other.m_pHead; p; p = p->m_pNext) {
        if (!AddTail(p->m_key.GetPtr(), p->m_value.GetPtr())) return false;
    }
    return true;
}
