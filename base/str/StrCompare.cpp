// Case conversion, trimming, comparison, case-insensitive search, hashing.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <strings.h>

#include "base/str/StrFunc.h"

namespace {

inline unsigned char Lower(char c) { return (unsigned char)std::tolower((unsigned char)c); }
inline bool IsSpace(char c) { return std::isspace((unsigned char)c) != 0; }

}  // namespace

char* StrUpperCase(char* s) {
    for (char* p = s; p && *p; ++p) *p = (char)std::toupper((unsigned char)*p);
    return s;
}

char* StrLowerCase(char* s) {
    for (char* p = s; p && *p; ++p) *p = (char)std::tolower((unsigned char)*p);
    return s;
}

void Str2Upper(char* s) {
    for (char* p = s; p && *p; ++p) *p = (char)(*p - 32);
}

void Str2Lower(char* s) {
    for (char* p = s; p && *p; ++p) *p = (char)(*p + 32);
}

char* StrTrimLeft(char* s) {
    if (StrIsEmpty(s)) return nullptr;
    char* p = s;
    while (IsSpace(*p)) ++p;
    if (p != s) std::memmove(s, p, std::strlen(p) + 1);
    return s;
}

char* StrTrimRight(char* s) {
    if (StrIsEmpty(s)) return nullptr;
    size_t n = std::strlen(s);
    while (n > 0 && IsSpace(s[n - 1])) --n;
    s[n] = '\0';
    return s;
}

char* StrTrim(char* s) {
    if (!StrTrimRight(s)) return nullptr;
    StrTrimLeft(s);
    return s;
}

void StrTrim(CString& s) { s.Trim(); }

int StrCompare(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    int r = std::strcmp(a, b);  // compares as unsigned char
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int StrCompare(const char* a, const char* b, int n) {
    if (n <= 0) return 0;
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    int r = std::strncmp(a, b, (size_t)n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int StrICompare(const char* a, const char* b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return strcasecmp(a, b);
}

int StrICompare(const char* a, const char* b, int n) {
    if (n <= 0) return 0;
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    return strncasecmp(a, b, (size_t)n);
}

bool StrIsEndWith(const char* s, const char* suffix) {
    if (StrIsEmpty(s) || StrIsEmpty(suffix)) return false;
    size_t ls = std::strlen(s), lx = std::strlen(suffix);
    return lx <= ls && std::memcmp(s + ls - lx, suffix, lx) == 0;
}

const char* StrIFindZ(const char* s, const char* sub) {
    if (StrIsEmpty(s) || StrIsEmpty(sub)) return nullptr;
    const unsigned char first = Lower(sub[0]);
    const size_t rest = std::strlen(sub + 1);
    for (const char* p = s; *p; ++p) {
        if (Lower(*p) == first && strncasecmp(p + 1, sub + 1, rest) == 0) return p;
    }
    return nullptr;
}

char* StrIFindZ(char* s, const char* sub) {
    return const_cast<char*>(StrIFindZ(static_cast<const char*>(s), sub));
}

const char* StrIFindZ(const char* s, char ch) {
    if (StrIsEmpty(s) || ch == '\0') return nullptr;
    const unsigned char want = Lower(ch);
    for (const char* p = s; *p; ++p) {
        if (Lower(*p) == want) return p;
    }
    return nullptr;
}

char* StrIFindZ(char* s, char ch) { return const_cast<char*>(StrIFindZ(static_cast<const char*>(s), ch)); }

unsigned StrHashValue(const char* s) {
    uint32_t h = 0;
    // Bytes count as signed 8-bit values: stored hashes depend on it.
    for (const char* p = s; p && *p; ++p) h = h * 5u + (uint32_t)(int32_t)(int8_t)*p;
    return h;
}
