#include "base/containers/KvOrdStringArray.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/platform/FileIo.h"

namespace {

int NoCase(const CString& a, const char* b) { return strcasecmp(a.c_str(), b); }

}  // namespace

int KvOrdStringArray::FindIndexForInsert(const char* s) const {
    if (!s) s = "";
    int n = GetSize();
    if (n == 0) return 0;
    int c = NoCase(m_items[0], s);
    if (c > 0) return 0;
    if (c == 0) return -1;
    c = NoCase(m_items[(size_t)n - 1], s);
    if (c < 0) return n;
    if (c == 0) return -1;
    int lo = 0, hi = n - 1;  // s lies strictly between items lo and hi
    while (hi - lo > 1) {
        int mid = lo + (hi - lo) / 2;
        c = NoCase(m_items[(size_t)mid], s);
        if (c == 0) return -1;
        if (c > 0) hi = mid; else lo = mid;
    }
    return hi;
}

int KvOrdStringArray::FindIndex(const char* s) const {
    if (!s) s = "";
    int lo = 0, hi = GetSize();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        int c = NoCase(m_items[(size_t)mid], s);
        if (c == 0) return mid;
        if (c > 0) hi = mid; else lo = mid + 1;
    }
    return -1;
}

int KvOrdStringArray::Add(const char* s) {
    int at = FindIndexForInsert(s);
    if (at < 0) return -1;
    m_items.insert(m_items.begin() + at, CString(s));
    return at;
}

bool KvOrdStringArray::Remove(const char* s) {
    int at = FindIndex(s);
    if (at < 0) return false;
    RemoveAt(at);
    return true;
}

void KvOrdStringArray::Copy(const CStringArray& other) {
    if (&other == this) return;  // every string is already present
    for (const CString& s : other) Add(s);
}

bool KvOrdStringArray::Load(const char* path) {
    RemoveAll();
    std::string text;
    if (!KvReadWholeFile(path, text)) return false;
    std::vector<CString> lines;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
        const char* lim = lf ? lf : end;
        const char* cr = static_cast<const char*>(std::memchr(p, '\r', (size_t)(lim - p)));
        const char* eol = cr ? cr : lim;
        if (eol > p) lines.emplace_back(std::string_view(p, (size_t)(eol - p)));
        p = eol;
        if (p < end) {
            char c = *p++;
            if (p < end && *p == (c == '\r' ? '\n' : '\r')) ++p;
        }
    }
    // Sorting once and keeping the first of each run of equal lines gives
    // what adding line by line gives, without quadratic insertion.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const CString& a, const CString& b) { return NoCase(a, b.c_str()) < 0; });
    auto last = std::unique(lines.begin(), lines.end(),
                            [](const CString& a, const CString& b) { return NoCase(a, b.c_str()) == 0; });
    lines.erase(last, lines.end());
    m_items = std::move(lines);
    return true;
}

bool KvOrdStringArray::Save(const char* path) const {
    if (IsEmpty()) {
        std::string native = KvNativePath(path);
        return ::unlink(native.c_str()) == 0 || errno == ENOENT;
    }
    size_t total = 0;
    for (const CString& s : m_items) total += (size_t)s.GetLength() + 2;
    std::string out;
    out.reserve(total);
    for (const CString& s : m_items) out.append(s.str()).append("\r\n");
    return KvWriteFileAtomic(path, out.data(), out.size());
}
