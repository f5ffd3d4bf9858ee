#include "base/platform/Collections.h"

#include <cassert>

POSITION CPtrList::InsertBefore(POSITION pos, void* p) {
    Node* at = FromPos(pos);
    if (!at) at = m_head;
    Node* n = new Node{at ? at->prev : nullptr, at, p};
    if (at) {
        if (at->prev) at->prev->next = n; else m_head = n;
        at->prev = n;
    } else {
        m_head = m_tail = n;
    }
    ++m_count;
    return ToPos(n);
}

POSITION CPtrList::InsertAfter(POSITION pos, void* p) {
    Node* at = FromPos(pos);
    if (!at) at = m_tail;
    Node* n = new Node{at, at ? at->next : nullptr, p};
    if (at) {
        if (at->next) at->next->prev = n; else m_tail = n;
        at->next = n;
    } else {
        m_head = m_tail = n;
    }
    ++m_count;
    return ToPos(n);
}

void CPtrList::RemoveAt(POSITION pos) {
    Node* n = FromPos(pos);
    if (!n) return;
    assert(m_count > 0 && (n->prev ? n->prev->next == n : m_head == n));
    if (n->prev) n->prev->next = n->next; else m_head = n->next;
    if (n->next) n->next->prev = n->prev; else m_tail = n->prev;
    delete n;
    --m_count;
}

void CPtrList::RemoveAll() {
    for (Node* n = m_head; n;) {
        Node* next = n->next;
        delete n;
        n = next;
    }
    m_head = m_tail = nullptr;
    m_count = 0;
}

POSITION CPtrList::Find(void* p, POSITION after) const {
    Node* n = after ? FromPos(after)->next : m_head;
    for (; n; n = n->next) {
        if (n->data == p) return ToPos(n);
    }
    return nullptr;
}

POSITION CPtrList::FindIndex(int index) const {
    if (index < 0 || index >= m_count) return nullptr;
    Node* n = m_head;
    while (index-- > 0) n = n->next;
    return ToPos(n);
}
