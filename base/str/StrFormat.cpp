// printf-style formatting and small text shaping helpers.
#include <cstdio>
#include <cstring>

#include "base/str/StrFunc.h"

namespace {
constexpr int kMinFormatBuffer = 8192;
}

CString StrFormat(const char* format, ...) {
    CString out;
    va_list args;
    va_start(args, format);
    out.FormatV(format, args);
    va_end(args);
    return out;
}

int StrFormatV(char* buf, size_t size, const char* format, va_list args) {
    if (!buf || size == 0) return -1;
    buf[0] = '\0';
    if (!format) return 0;
    int n = std::vsnprintf(buf, size, format, args);
    if (n < 0) return -1;
    return (size_t)n < size ? n : (int)(size - 1);
}

int StrFormatV(char* buf, const char* format, va_list args) {
    return StrFormatV(buf, (size_t)kMinFormatBuffer, format, args);
}

int StrFormatLength(const char* format, va_list args) {
    if (!format) return kMinFormatBuffer;
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    return n < kMinFormatBuffer ? kMinFormatBuffer : n + 1;
}

int StrFormatLength() { return kMinFormatBuffer; }

CString CutString(const char* s, int n) {
    int len = StrLength(s);
    if (n >= len) return CString(s);
    CString out(s, n > 0 ? n : 0);
    out += "...";
    return out;
}

bool RemoveDoubleBrackets(const char* s, CString& out) {
    int len = StrLength(s);
    if (len < 4) {
        out.Empty();
        return false;
    }
    out = CString(s + 2, len - 4);
    return true;
}

void lpcstr_to_cstring(const char* s, CString& out) { out = s; }

void lpcwstr_to_cstring(const wchar_t* s, CString& out) { out = s; }
