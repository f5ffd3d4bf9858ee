// Copying, appending and concatenating zero-terminated strings.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "base/str/StrFunc.h"

char* StrCopy(const char* s, int n) {
    if (n == -1) n = StrLength(s);
    if (n < 1 || !s) return nullptr;
    // Never read past the source's terminator, whatever n says.
    size_t len = strnlen(s, (size_t)n);
    char* p = static_cast<char*>(std::malloc(len + 1));
    if (!p) return nullptr;
    std::memcpy(p, s, len);
    p[len] = '\0';
    return p;
}

char* StrCopy(char* s, int n) { return StrCopy(static_cast<const char*>(s), n); }

char* StrCopy(char* dst, char ch) {
    if (dst) {
        dst[0] = ch;
        dst[1] = '\0';
    }
    return dst;
}

char* StrCopy(char* dst, const char* src) {
    if (dst && src) std::memmove(dst, src, std::strlen(src) + 1);
    return dst;
}

char* StrCopy(char* dst, const char* src, int max, bool terminate) {
    if (!dst) return dst;
    size_t n = (src && max > 0) ? strnlen(src, (size_t)max) : 0;
    if (n == 0) {
        dst[0] = '\0';
        return dst;
    }
    std::memmove(dst, src, n);
    if (terminate) dst[n] = '\0';
    return dst;
}

char* StrAppend(char* dst, char ch) {
    if (dst) {
        size_t len = std::strlen(dst);
        dst[len] = ch;
        dst[len + 1] = '\0';
    }
    return dst;
}

char* StrAppend(char* dst, const char* src) {
    if (dst && src) std::memmove(dst + std::strlen(dst), src, std::strlen(src) + 1);
    return dst;
}

char* StrAppend(char* dst, const char* src, int max, bool terminate) {
    if (!dst) return dst;
    size_t len = std::strlen(dst);
    if (max < 0 || len >= (size_t)max) return dst;
    size_t room = (size_t)max - len;
    size_t n = src ? strnlen(src, room) : 0;
    std::memmove(dst + len, src ? src : "", n);
    if (terminate) dst[len + n] = '\0';
    return dst;
}

char* StrAppendN(char* dst, int count, ...) {
    va_list args;
    va_start(args, count);
    for (int i = 0; i < count; ++i) StrAppend(dst, va_arg(args, const char*));
    va_end(args);
    return dst;
}

char* StrCopyAppend(char* dst, int max, const char* s1, const char* s2, const char* s3, const char* s4) {
    if (!dst) return dst;
    dst[0] = '\0';
    for (const char* s : {s1, s2, s3, s4}) StrAppend(dst, s, max, true);
    return dst;
}

char* GetStrConcat(const char* a, const char* b) {
    size_t la = a ? std::strlen(a) : 0;
    size_t lb = b ? std::strlen(b) : 0;
    if (la + lb == 0) return nullptr;
    char* p = static_cast<char*>(std::malloc(la + lb + 1));
    if (!p) return nullptr;
    if (la) std::memcpy(p, a, la);
    if (lb) std::memcpy(p + la, b, lb);
    p[la + lb] = '\0';
    return p;
}

void StrConcat(char*& p, const char* b) {
    char* joined = GetStrConcat(p, b);
    std::free(p);
    p = joined;
}

CString StrCat(const char* a, const char* b, const char* c, const char* d) {
    CString out;
    std::string& s = out.str();
    s.reserve((size_t)(StrLength(a) + StrLength(b) + StrLength(c) + StrLength(d)));
    for (const char* part : {a, b, c, d}) {
        if (part) s += part;
    }
    return out;
}

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

char* StrMakePath(char* dst, const char* dir, const char* name) {
    if (StrIsEmpty(name)) return nullptr;
    if (!dst) return dst;
    bool absolute = IsSeparator(name[0]) || name[1] == ':';
    if (absolute || StrIsEmpty(dir)) return StrCopy(dst, name);
    // dir may be dst itself: append in place.
    if (dst != dir) StrCopy(dst, dir);
    size_t len = std::strlen(dst);
    if (!IsSeparator(dst[len - 1])) StrAppend(dst, '/');
    return StrAppend(dst, name);
}
