// KvString: wildcard matching and the phonetic code.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/str/KvString.h"

namespace {

// Reads one (possibly "\"-escaped) byte of a bracket set at j.
unsigned char SetByte(std::string_view p, size_t& j) {
    if (p[j] == '\\' && j + 1 < p.size()) ++j;
    return (unsigned char)p[j++];
}

// Matches the bracket set starting at p[at] == '[' against c. next is set
// behind the closing "]"; an unclosed set matches nothing.
bool MatchSet(std::string_view p, size_t at, unsigned char c, size_t& next) {
    size_t j = at + 1;
    bool negate = j < p.size() && (p[j] == '!' || p[j] == '^');
    if (negate) ++j;
    bool found = false;
    while (j < p.size() && p[j] != ']') {
        unsigned char lo = SetByte(p, j);
        unsigned char hi = lo;
        if (j + 1 < p.size() && p[j] == '-' && p[j + 1] != ']') {
            ++j;
            hi = SetByte(p, j);
        }
        if (lo <= c && c <= hi) found = true;
    }
    if (j >= p.size()) return false;
    next = j + 1;
    return found != negate;
}

// Matches the single-byte pattern element at p[at] against c.
bool MatchOne(std::string_view p, size_t at, unsigned char c, size_t& next) {
    switch (p[at]) {
    case '?':
        next = at + 1;
        return true;
    case '[':
        return MatchSet(p, at, c, next);
    case '\\':
        if (at + 1 < p.size()) {
            next = at + 2;
            return (unsigned char)p[at + 1] == c;
        }
        break;
    default:
        break;
    }
    next = at + 1;
    return (unsigned char)p[at] == c;
}

// Every element but "*" matches exactly one byte, so remembering only the
// last star and retrying from one byte further is complete and runs in
// O(|s| * |p|), whatever the pattern.
bool WildMatch(std::string_view s, std::string_view p) {
    size_t si = 0, pi = 0;
    size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            while (pi < p.size() && p[pi] == '*') ++pi;
            if (pi == p.size()) return true;
            starP = pi;
            starS = si;
            continue;
        }
        size_t next;
        if (pi < p.size() && MatchOne(p, pi, (unsigned char)s[si], next)) {
            pi = next;
            ++si;
        } else if (starP != std::string_view::npos) {
            pi = starP;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

char SoundexDigit(char c) {
    switch (std::toupper((unsigned char)c)) {
    case 'B': case 'F': case 'P': case 'V':
        return '1';
    case 'C': case 'G': case 'J': case 'K': case 'Q': case 'S': case 'X': case 'Z':
        return '2';
    case 'D': case 'T':
        return '3';
    case 'L':
        return '4';
    case 'M': case 'N':
        return '5';
    case 'R':
        return '6';
    default:
        return '0';
    }
}

}  // namespace

bool KvString::IsMatch(const char* pattern) const {
    if (m_str.empty() || !pattern || !*pattern) return false;
    std::string_view p(pattern);
    if (std::count(p.begin(), p.end(), '[') != std::count(p.begin(), p.end(), ']')) return false;
    if (p.size() == 1 && p[0] == '*') return true;
    return WildMatch(m_str, p);
}

KvString KvString::GetSoundexCode() const {
    if (m_str.empty() || !std::isalpha((unsigned char)m_str[0])) return KvString();
    char code[5] = {(char)std::toupper((unsigned char)m_str[0]), '0', '0', '0', '\0'};
    int len = 1;
    char previous = '0';  // the first letter's own digit does not count
    for (size_t i = 1; i < m_str.size() && len < 4; ++i) {
        char digit = SoundexDigit(m_str[i]);
        if (digit != '0' && digit != previous) code[len++] = digit;
        previous = digit;
    }
    return KvString(code);
}

bool KvString::IsLike(const char* s) const {
    KvString mine = GetSoundexCode();
    if (mine.IsEmpty()) return false;
    KvString theirs = KvString(s).GetSoundexCode();
    return !theirs.IsEmpty() && mine == theirs;
}
