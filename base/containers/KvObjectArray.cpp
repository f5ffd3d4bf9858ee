#include "base/containers/KvObjectArray.h"

#include "base/app/KvLogCaught.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

IMPLEMENT_DYNCREATE(KvObjectArray, KvObject)

namespace {

// Order used by Sort: null slots first, then by Compare.
int SortOrder(const KvObject* a, const KvObject* b) {
    if (!a || !b) return (a ? 1 : 0) - (b ? 1 : 0);
    return a->Compare(*b);
}

// Order used by the searches: a null slot counts as a match.
int MatchOrder(const KvObject& p, const KvObject* slot) { return slot ? p.Compare(*slot) : 0; }

}  // namespace

KvObjectArray::~KvObjectArray() { SetSize(0); }

void KvObjectArray::DeleteElement(KvObject* p) {
    try {
        delete p;
    } catch (...) {
        // A record whose destructor throws must not take the array down.
        KvLogCaught("deleting an array element");
    }
}

bool KvObjectArray::Reserve(int n) {
    if (n <= m_nMaxSize) return true;
    // The automatic step grows with the array (an eighth of it, at least
    // 4), so filling a large array element by element stays linear.
    long long step = m_nGrowBy > 0 ? m_nGrowBy : (m_nSize / 8 < 4 ? 4 : m_nSize / 8);
    long long want = (long long)m_nMaxSize + step;
    if (want < n) want = n;
    if (want > INT_MAX) want = n;
    KvObject** p = static_cast<KvObject**>(std::realloc(m_pData, (size_t)want * sizeof(KvObject*)));
    if (!p) return false;
    m_pData = p;
    m_nMaxSize = (int)want;
    return true;
}

bool KvObjectArray::SetSize(int n, int growBy) {
    if (growBy != -1) m_nGrowBy = growBy > 0 ? growBy : 0;
    if (n < 0) return false;
    if (n == 0) {
        for (int i = 0; i < m_nSize; ++i) DeleteElement(m_pData[i]);
        std::free(m_pData);
        m_pData = nullptr;
        m_nSize = m_nMaxSize = 0;
        return true;
    }
    if (n <= m_nSize) {
        for (int i = n; i < m_nSize; ++i) DeleteElement(m_pData[i]);
        m_nSize = n;
        return true;
    }
    if (!Reserve(n)) return false;
    std::memset(m_pData + m_nSize, 0, (size_t)(n - m_nSize) * sizeof(KvObject*));
    m_nSize = n;
    return true;
}

void KvObjectArray::SetAt(int i, KvObject* p) {
    if (i < 0 || i >= m_nSize) return;
    if (m_pData[i] != p) DeleteElement(m_pData[i]);  // storing the same object again keeps it
    m_pData[i] = p;
}

bool KvObjectArray::SetAtGrow(int i, KvObject* p) {
    if (i < 0 || i == INT_MAX) return false;
    if (i >= m_nSize && !SetSize(i + 1)) return false;
    SetAt(i, p);
    return true;
}

int KvObjectArray::Add(KvObject* p) {
    int i = m_nSize;
    return SetAtGrow(i, p) ? i : -1;
}

bool KvObjectArray::InsertAt(int i, KvObject* p, int count) {
    if (i < 0 || count <= 0 || (count > 1 && p)) return false;
    int old = m_nSize;
    if (i >= old) {
        if ((long long)i + count > INT_MAX || !SetSize(i + count)) return false;
    } else {
        if ((long long)old + count > INT_MAX || !SetSize(old + count)) return false;
        std::memmove(m_pData + i + count, m_pData + i, (size_t)(old - i) * sizeof(KvObject*));
    }
    for (int k = 0; k < count; ++k) m_pData[i + k] = p;
    return true;
}

bool KvObjectArray::InsertAt(int i, const KvObjectArray& other) {
    if (&other == this || i < 0) return false;
    if (other.m_nSize == 0) return true;
    if (!InsertAt(i, nullptr, other.m_nSize)) return false;
    std::memcpy(m_pData + i, other.m_pData, (size_t)other.m_nSize * sizeof(KvObject*));
    return true;
}

void KvObjectArray::RemoveAt(int i, int count) {
    if (i < 0 || i >= m_nSize || count <= 0) return;
    if (count > m_nSize - i) count = m_nSize - i;
    for (int k = i; k < i + count; ++k) DeleteElement(m_pData[k]);
    std::memmove(m_pData + i, m_pData + i + count, (size_t)(m_nSize - i - count) * sizeof(KvObject*));
    m_nSize -= count;
}

void KvObjectArray::ForgetAll() {
    std::free(m_pData);
    m_pData = nullptr;
    m_nSize = m_nMaxSize = 0;
}

bool KvObjectArray::Append(const KvObjectArray& other) {
    if (&other == this) return false;  // one object twice in one owner
    if ((long long)m_nSize + other.m_nSize > INT_MAX || !Reserve(m_nSize + other.m_nSize)) return false;
    if (other.m_nSize) std::memcpy(m_pData + m_nSize, other.m_pData, (size_t)other.m_nSize * sizeof(KvObject*));
    m_nSize += other.m_nSize;
    return true;
}

bool KvObjectArray::Copy(const KvObjectArray& other) {
    if (&other == this) return true;
    if (!Reserve(other.m_nSize)) return false;
    for (int i = 0; i < m_nSize; ++i) DeleteElement(m_pData[i]);
    if (other.m_nSize) std::memcpy(m_pData, other.m_pData, (size_t)other.m_nSize * sizeof(KvObject*));
    m_nSize = other.m_nSize;
    return true;
}

void KvObjectArray::FreeExtra() {
    if (m_nSize == m_nMaxSize) return;
    if (m_nSize == 0) {
        ForgetAll();
        return;
    }
    KvObject** p = static_cast<KvObject**>(std::realloc(m_pData, (size_t)m_nSize * sizeof(KvObject*)));
    if (!p) return;  // keeping the larger block is harmless
    m_pData = p;
    m_nMaxSize = m_nSize;
}

void KvObjectArray::Destroy(int i) {
    if (i < 0 || i >= m_nSize) return;
    KvObject* p = m_pData[i];
    m_pData[i] = nullptr;
    DeleteElement(p);
}

void KvObjectArray::DestroyAll() {
    for (int i = 0; i < m_nSize; ++i) Destroy(i);
}

KvObject* KvObjectArray::Detach(int i) {
    if (i < 0 || i >= m_nSize) return nullptr;
    KvObject* p = m_pData[i];
    m_pData[i] = nullptr;
    return p;
}

// ---------------------------------------------------------------------------
// Sorting and searching.

void KvObjectArray::Sort() {
    // Quicksort: the smaller side recurses, the larger one iterates, so
    // the stack stays logarithmic.
    struct Sorter {
        KvObject** a;
        void Run(int lo, int hi) {  // inclusive bounds
            while (lo < hi) {
                // The median of first, middle and last becomes the first
                // element and the pivot, so sorted input stays n log n.
                int mid = lo + (hi - lo) / 2;
                if (SortOrder(a[mid], a[lo]) < 0) std::swap(a[mid], a[lo]);
                if (SortOrder(a[hi], a[lo]) < 0) std::swap(a[hi], a[lo]);
                if (SortOrder(a[hi], a[mid]) < 0) std::swap(a[hi], a[mid]);
                std::swap(a[lo], a[mid]);
                KvObject* pivot = a[lo];
                int i = lo, j = hi + 1;
                for (;;) {
                    while (++i <= hi && SortOrder(a[i], pivot) < 0) {}
                    while (--j > lo && SortOrder(a[j], pivot) > 0) {}
                    if (i >= j) break;
                    std::swap(a[i], a[j]);
                }
                std::swap(a[lo], a[j]);
                if (j - lo < hi - j) {
                    Run(lo, j - 1);
                    lo = j + 1;
                } else {
                    Run(j + 1, hi);
                    hi = j - 1;
                }
            }
        }
    };
    if (m_nSize > 1) Sorter{m_pData}.Run(0, m_nSize - 1);
}

int KvObjectArray::InsertPoint(const KvObject& p, bool& found) const {
    found = false;
    int c = MatchOrder(p, m_pData[0]);
    if (c <= 0) {
        found = c == 0;
        return 0;  // in front of the first element (also when equal)
    }
    int last = m_nSize - 1;
    c = MatchOrder(p, m_pData[last]);
    if (c >= 0) {
        found = c == 0;
        return m_nSize;  // behind the last element (also when equal)
    }
    int lo = 0, hi = last;  // p lies strictly between a[lo] and a[hi]
    while (hi - lo > 1) {
        int mid = lo + (hi - lo) / 2;
        c = MatchOrder(p, m_pData[mid]);
        if (c == 0) {
            found = true;
            return mid;
        }
        if (c < 0) hi = mid; else lo = mid;
    }
    return hi;
}

int KvObjectArray::InsertSort(KvObject* p, bool allowDuplicate) {
    if (!p) return 0;
    if (m_nSize == 0) return InsertAt(0, p) ? 1 : 0;
    bool found;
    int at = InsertPoint(*p, found);
    if (found && !allowDuplicate) return 0;
    return InsertAt(at, p) ? 1 : 0;
}

int KvObjectArray::SearchForInsert(const KvObject* p, bool& found) const {
    found = false;
    if (m_nSize == 0 || !p) return -1;
    return InsertPoint(*p, found);
}

int KvObjectArray::Search(const KvObject& obj, int lo, int hi) const {
    if (hi == -1 || hi > m_nSize) hi = m_nSize;
    if (lo < 0) lo = 0;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = MatchOrder(obj, m_pData[mid]);
        if (c == 0) return mid;
        if (c < 0) hi = mid; else lo = mid + 1;
    }
    return -1;
}

int KvObjectArray::Find(const KvObject& obj, int from, int to) const {
    if (to == -1 || to >= m_nSize) to = m_nSize - 1;
    if (from < 0) from = 0;
    for (int i = from; i <= to; ++i) {
        if (MatchOrder(obj, m_pData[i]) == 0) return i;
    }
    return -1;
}
