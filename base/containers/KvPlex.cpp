#include "base/containers/KvPlex.h"

#include <cstdlib>

KvPlex* KvPlex::Create(KvPlex*& head, size_t count, size_t elementSize) {
    size_t bytes;
    if (count == 0 || elementSize == 0 || __builtin_mul_overflow(count, elementSize, &bytes) ||
        __builtin_add_overflow(bytes, sizeof(KvPlex), &bytes)) {
        return nullptr;
    }
    KvPlex* p = static_cast<KvPlex*>(std::malloc(bytes));
    if (!p) return nullptr;
    p->pNext = head;
    head = p;
    return p;
}

void KvPlex::FreeDataChain() {
    KvPlex* p = this;
    while (p) {
        KvPlex* next = p->pNext;
        std::free(p);
        p = next;
    }
}
