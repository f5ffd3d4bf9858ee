// KvString: find-and-replace.
#include <cstring>

#include "base/str/KvString.h"

namespace {

// Replaces every occurrence of needle, left to right; the search resumes
// behind the inserted text, so the replacement is never searched again.
// One pass into a new buffer: linear whatever the lengths.
int ReplaceAll(std::string& s, std::string_view needle, std::string_view repl) {
    if (needle.empty()) return 0;
    size_t hit = s.find(needle);
    if (hit == std::string::npos) return 0;
    std::string out;
    out.reserve(s.size());
    int count = 0;
    size_t pos = 0;
    for (; hit != std::string::npos; hit = s.find(needle, pos)) {
        out.append(s, pos, hit - pos);
        out.append(repl);
        pos = hit + needle.size();
        ++count;
    }
    out.append(s, pos, std::string::npos);
    s.swap(out);
    return count;
}

}  // namespace

int KvString::FindReplace(const char* from, const char* to) {
    if (!from || !*from) return 0;
    return ReplaceAll(m_str, from, to ? to : "");
}

int KvString::FindReplace(char from, const char* to) {
    return ReplaceAll(m_str, std::string_view(&from, 1), to ? to : "");
}

int KvString::FindReplace(char from, char to) { return CString::Replace(from, to); }

int KvString::FindReplaceExt(const char* begin, const char* end, const char* to) {
    if (m_str.empty() || !begin || !*begin || !end || !*end) return 0;
    const std::string_view b(begin), e(end), repl(to ? to : "");
    // One pass into a new buffer: replacing in place would move the rest
    // of the text once per span, quadratic on a text full of markers.
    std::string out;
    int count = 0;
    size_t pos = 0;  // the first byte not yet copied (never part of a span)
    for (size_t at; (at = m_str.find(b, pos)) != std::string::npos;) {
        size_t close = m_str.find(e, at + 1);
        // No end marker behind this begin means none behind any later
        // begin either: the scan (which would resume at at + 1) is over.
        if (close == std::string::npos) break;
        if (count == 0) out.reserve(m_str.size());
        out.append(m_str, pos, at - pos);
        out.append(repl);
        // The search resumes behind the inserted text: in the original,
        // just behind the end marker.
        pos = close + e.size();
        ++count;
    }
    if (count == 0) return 0;
    out.append(m_str, pos, std::string::npos);
    m_str.swap(out);
    return count;
}
