// URL-style escaping ("+" for space, "%XX" for other bytes) and its reverse.
#include <cstring>
#include <string>

#include "base/str/StrFunc.h"

namespace {

// Escapes len bytes of src into dst (size bytes with the terminator, size
// > 0). An escape needs three bytes; one that does not fit ends the output,
// so nothing is ever written past size.
size_t EscapeBytes(const char* src, size_t len, char* dst, size_t size) {
    const size_t limit = size - 1;
    size_t n = 0;
    for (size_t i = 0; i < len && n < limit; ++i) {
        unsigned char c = (unsigned char)src[i];
        if (c == ' ') {
            dst[n++] = '+';
        } else if (c >= 0x21 && c <= 0x7F) {
            dst[n++] = (char)c;
        } else {
            if (limit - n < 3) break;
            dst[n++] = '%';
            dst[n++] = HEX_CHAR[c >> 4];
            dst[n++] = HEX_CHAR[c & 0x0F];
        }
    }
    dst[n] = '\0';
    return n;
}

// Escapes into a std::string with room for the worst case (3 bytes each).
std::string EscapeToString(const char* src, size_t len) {
    std::string out(3 * len + 1, '\0');
    out.resize(EscapeBytes(src, len, out.data(), out.size()));
    return out;
}

int HexDigitValue(unsigned char c) { return c <= 0x40 ? c - 0x30 : (c & ~0x20) - 0x41 + 10; }

// Decodes in place over len bytes; returns the new length.
size_t UnEscapeBytes(char* s, size_t len) {
    size_t out = 0;
    for (size_t i = 0; i < len;) {
        if (s[i] == '+') {
            s[out++] = ' ';
            ++i;
        } else if (s[i] == '%' && len - i > 2) {
            s[out++] = Esc2Char(s + i + 1);
            i += 3;
        } else {
            s[out++] = s[i++];
        }
    }
    return out;
}

}  // namespace

int StrEscape(const char* src, char* dst, int size) {
    if (!dst || size <= 0) return 0;
    return (int)EscapeBytes(src ? src : "", src ? std::strlen(src) : 0, dst, (size_t)size);
}

bool StrEscape(CString* s) {
    if (!s || s->IsEmpty()) return false;
    std::string escaped = EscapeToString(s->c_str(), (size_t)s->GetLength());
    s->str().swap(escaped);
    return true;
}

bool StrEscape(CsString* s) {
    if (!s || s->IsEmpty()) return false;
    std::string escaped = EscapeToString(s->GetStr(), s->GetLength());
    return s->Set(escaped.c_str(), escaped.size());
}

char Esc2Char(const char* p) {
    if (!p || !p[0]) return '\0';
    int value = HexDigitValue((unsigned char)p[0]) * 16 + HexDigitValue((unsigned char)p[1]);
    return (char)(value & 0xFF);
}

void StrUnEscape(char* s) {
    if (!s) return;
    s[UnEscapeBytes(s, std::strlen(s))] = '\0';
}

bool StrUnEscape(CString* s) {
    if (!s || s->IsEmpty()) return false;
    std::string& text = s->str();
    text.resize(UnEscapeBytes(text.data(), text.size()));
    return true;
}

bool StrUnEscape(CsString* s) {
    if (!s || s->IsEmpty()) return false;
    StrUnEscape(s->GetPtr());
    return true;
}
