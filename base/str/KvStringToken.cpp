// KvString: tokens.
#include <cctype>

#include "base/str/KvString.h"

namespace {

// The delimiter of the previous call on this thread, used when a caller
// passes none (0 or null): one character and one set, kept apart.
thread_local char t_lastDelimiter = '\0';
thread_local KvCharSet t_lastDelimiterSet;

template <class IsDelimiter>
KvString TokenAt(const std::string& s, int& pos, IsDelimiter isDelimiter) {
    if (pos < 0) pos = 0;
    const size_t size = s.size();
    if ((size_t)pos >= size) return KvString();
    size_t from = (size_t)pos;
    while (from < size && std::isspace((unsigned char)s[from])) ++from;
    size_t to = from;
    while (to < size && !isDelimiter(s[to])) ++to;
    pos = (int)(to < size ? to + 1 : size);
    return KvString(std::string_view(s).substr(from, to - from));
}

char ResolveDelimiter(char delimiter) {
    if (delimiter == '\0') return t_lastDelimiter;
    t_lastDelimiter = delimiter;
    return delimiter;
}

const KvCharSet& ResolveDelimiters(const char* delimiters) {
    if (delimiters) t_lastDelimiterSet = delimiters;
    return t_lastDelimiterSet;
}

}  // namespace

KvString KvString::GetToken(int& pos, char delimiter) const {
    const char d = ResolveDelimiter(delimiter);
    return TokenAt(m_str, pos, [d](char c) { return c == d; });
}

KvString KvString::GetToken(int& pos, const char* delimiters) const {
    const KvCharSet& set = ResolveDelimiters(delimiters);
    return TokenAt(m_str, pos, [&set](char c) { return set.IsInclude((BYTE)c); });
}

KvString KvString::GetToken(int& pos, const KvCharSet& delimiters) const {
    t_lastDelimiterSet = delimiters;
    return TokenAt(m_str, pos, [&delimiters](char c) { return delimiters.IsInclude((BYTE)c); });
}

int KvString::GetTokenCount(char delimiter) const {
    if (m_str.empty()) return 0;
    const char d = ResolveDelimiter(delimiter);
    // One token more than delimiters, where a token's leading white space
    // is skipped before the next delimiter is looked for.
    int count = 0;
    size_t pos = 0;
    const size_t size = m_str.size();
    while (true) {
        ++count;
        while (pos < size && std::isspace((unsigned char)m_str[pos])) ++pos;
        size_t hit = m_str.find(d, pos);
        if (hit == std::string::npos) break;
        pos = hit + 1;
    }
    return count;
}

KvString KvString::GetList(int n, char delimiter) const {
    KvString token;
    int pos = 0;
    for (int i = 0; i < n; ++i) {
        // Past the end every further token is empty: a large n costs nothing.
        if (i > 0 && pos >= GetLength()) return KvString();
        token = GetToken(pos, delimiter);
    }
    return token;
}

KvString KvString::GetList(int n, const char* delimiters) const {
    KvString token;
    int pos = 0;
    for (int i = 0; i < n; ++i) {
        if (i > 0 && pos >= GetLength()) return KvString();
        token = GetToken(pos, delimiters);
    }
    return token;
}
