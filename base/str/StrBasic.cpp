// Length, emptiness and allocation of zero-terminated strings.
#include <cstdlib>
#include <cstring>

#include "base/str/StrFunc.h"

int StrLength(const char* s) { return s ? (int)std::strlen(s) : 0; }

bool StrIsEmpty(const char* s) { return !s || !*s; }

bool StrIsNull(const char* s) { return s == nullptr; }

bool IsValidString(const char* s, int /*max*/) { return s != nullptr; }

bool StrIsValid(const char* s, int len) { return IsValidString(s, len < 0 ? StrLength(s) : len); }

void StrEmpty(char* s) {
    if (s) *s = '\0';
}

char* StrFill(char* buf, char ch, int n) {
    if (!buf) return nullptr;
    if (n < 0) n = 0;
    std::memset(buf, ch, (size_t)n);
    buf[n] = '\0';
    return buf;
}

bool StrAlloc(char*& out, int n) {
    out = StrAlloc(n);
    return out != nullptr;
}

char* StrAlloc(int n) {
    if (n < 0) return nullptr;
    char* p = static_cast<char*>(std::malloc((size_t)n + 1));
    if (p) {
        p[0] = '\0';
        p[n] = '\0';
    }
    return p;
}

void StrDestroy(char*& p) {
    std::free(p);
    p = nullptr;
}

void StrAssign(char*& p, const char* s) {
    char* copy = StrCopy(s, -1);  // copy first: s may point into p
    std::free(p);
    p = copy;
}
