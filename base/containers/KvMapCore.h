// KvStrHashCore: the chained string-keyed hash table behind the two maps.
//
// Buckets hold singly linked entries; entries come from KvPlex blocks and
// are recycled through a free list; the blocks are released when the table
// becomes empty. The bucket array (17 buckets unless InitHashTable says
// otherwise) is allocated on the first insertion. Keys compare
// case-sensitively, byte by byte. The table never deletes what a value
// points to: that is the owning map's business.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "base/containers/KvPlex.h"
#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"

template <class V>
class KvStrHashCore {
public:
    struct CAssoc {
        CAssoc* pNext;
        UINT nHashValue;  // full hash, so chains compare cheaply and iteration finds the bucket
        CString key;
        V value;
    };

    static constexpr UINT kDefaultHashSize = 17;

    explicit KvStrHashCore(int blockSize) : m_nBlockSize(blockSize > 0 ? blockSize : 10) {}
    ~KvStrHashCore() { Clear(); }
    KvStrHashCore(const KvStrHashCore&) = delete;
    KvStrHashCore& operator=(const KvStrHashCore&) = delete;

    // h := h * 33 + c over the key's bytes taken as signed chars.
    static UINT HashKey(const char* key) {
        UINT h = 0;
        if (key) {
            for (const char* p = key; *p; ++p) h = h * 33u + (UINT)(int)(signed char)*p;
        }
        return h;
    }

    int GetCount() const { return m_nCount; }
    UINT GetHashTableSize() const { return m_nHashTableSize; }

    CAssoc* Find(const char* key) const {
        if (!m_pHashTable) return nullptr;
        if (!key) key = "";
        UINT h = HashKey(key);
        for (CAssoc* a = m_pHashTable[h % m_nHashTableSize]; a; a = a->pNext) {
            if (a->nHashValue == h && std::strcmp(a->key.c_str(), key) == 0) return a;
        }
        return nullptr;
    }

    // The entry for key, created (value-initialised) when missing; null
    // when out of memory.
    CAssoc* FindOrAdd(const char* key) {
        if (!key) key = "";
        if (CAssoc* a = Find(key)) return a;
        if (!m_pHashTable && !AllocTable(m_nHashTableSize)) return nullptr;
        CAssoc* a = NewAssoc(key);
        if (!a) return nullptr;
        UINT b = a->nHashValue % m_nHashTableSize;
        a->pNext = m_pHashTable[b];
        m_pHashTable[b] = a;
        return a;
    }

    // Unlinks key's entry, hands its value to *out and recycles the entry.
    bool Remove(const char* key, V* out) {
        if (!m_pHashTable) return false;
        if (!key) key = "";
        UINT h = HashKey(key);
        for (CAssoc** link = &m_pHashTable[h % m_nHashTableSize]; *link; link = &(*link)->pNext) {
            CAssoc* a = *link;
            if (a->nHashValue == h && std::strcmp(a->key.c_str(), key) == 0) {
                *link = a->pNext;
                if (out) *out = std::move(a->value);
                FreeAssoc(a);
                return true;
            }
        }
        return false;
    }

    // Sets the bucket count; existing entries are redistributed. False
    // (nothing changed) for a zero size or when out of memory.
    bool InitHashTable(UINT size, bool allocateNow) {
        if (size == 0) return false;
        if (!m_pHashTable) {
            m_nHashTableSize = size;
            return !allocateNow || AllocTable(size);
        }
        CAssoc** table = static_cast<CAssoc**>(std::calloc(size, sizeof(CAssoc*)));
        if (!table) return false;
        for (UINT b = 0; b < m_nHashTableSize; ++b) {
            for (CAssoc* a = m_pHashTable[b]; a;) {
                CAssoc* next = a->pNext;
                a->pNext = table[a->nHashValue % size];
                table[a->nHashValue % size] = a;
                a = next;
            }
        }
        std::free(m_pHashTable);
        m_pHashTable = table;
        m_nHashTableSize = size;
        return true;
    }

    // Iteration in bucket order; the position is the entry itself.
    CAssoc* First() const { return NextInBuckets(0); }
    CAssoc* Next(const CAssoc* a) const {
        return a->pNext ? a->pNext : NextInBuckets(a->nHashValue % m_nHashTableSize + 1);
    }

    // Destroys every entry (not what values point to) and the buckets.
    void Clear() {
        if (m_pHashTable) {
            for (UINT b = 0; b < m_nHashTableSize; ++b) {
                for (CAssoc* a = m_pHashTable[b]; a; a = a->pNext) a->~CAssoc();
            }
        }
        std::free(m_pHashTable);
        m_pHashTable = nullptr;
        m_nCount = 0;
        m_pFreeList = nullptr;
        if (m_pBlocks) m_pBlocks->FreeDataChain();
        m_pBlocks = nullptr;
    }

private:
    bool AllocTable(UINT size) {
        m_pHashTable = static_cast<CAssoc**>(std::calloc(size, sizeof(CAssoc*)));
        return m_pHashTable != nullptr;
    }

    CAssoc* NextInBuckets(UINT from) const {
        if (!m_pHashTable) return nullptr;
        for (UINT b = from; b < m_nHashTableSize; ++b) {
            if (m_pHashTable[b]) return m_pHashTable[b];
        }
        return nullptr;
    }

    CAssoc* NewAssoc(const char* key) {
        if (!m_pFreeList) {
            KvPlex* block = KvPlex::Create(m_pBlocks, (size_t)m_nBlockSize, sizeof(CAssoc));
            if (!block) return nullptr;
            CAssoc* raw = static_cast<CAssoc*>(block->data());
            for (int i = m_nBlockSize - 1; i >= 0; --i) {
                // Free entries are raw memory; only the link is used.
                CAssoc** link = reinterpret_cast<CAssoc**>(&raw[i]);
                *link = m_pFreeList;
                m_pFreeList = &raw[i];
            }
        }
        CAssoc* slot = m_pFreeList;
        CAssoc* next = *reinterpret_cast<CAssoc**>(slot);
        CAssoc* a = new (slot) CAssoc{nullptr, HashKey(key), CString(key), V()};
        m_pFreeList = next;
        ++m_nCount;
        return a;
    }

    void FreeAssoc(CAssoc* a) {
        a->~CAssoc();
        *reinterpret_cast<CAssoc**>(a) = m_pFreeList;
        m_pFreeList = a;
        if (--m_nCount == 0) {
            // Empty: release the blocks, keep the (all-empty) buckets.
            m_pFreeList = nullptr;
            if (m_pBlocks) m_pBlocks->FreeDataChain();
            m_pBlocks = nullptr;
        }
    }

    CAssoc** m_pHashTable = nullptr;
    UINT m_nHashTableSize = kDefaultHashSize;
    int m_nCount = 0;
    CAssoc* m_pFreeList = nullptr;
    KvPlex* m_pBlocks = nullptr;
    int m_nBlockSize;
};
