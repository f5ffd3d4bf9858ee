// Hex packing, the reversible text scrambling built on it, and colours.
#include <cstring>
#include <string>

#include "base/str/StrFunc.h"

namespace {

// Upper-case hex digit value; other bytes give whatever the rule yields.
inline int UpperHexValue(unsigned char c) { return c < 0x3A ? c - 0x30 : c - 0x41 + 10; }

// Any byte 0x80..0xFF or 0x01..0x7F maps to a different byte; the offset
// only has to be the same for both directions.
constexpr unsigned char kScrambleOffset = 0x2B;

void UnpackBytes(const unsigned char* src, char* dst, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        dst[2 * i] = HEX_CHAR[src[i] >> 4];
        dst[2 * i + 1] = HEX_CHAR[src[i] & 0x0F];
    }
}

size_t PackBytes(const char* src, unsigned char* dst, size_t digits) {
    size_t n = digits / 2;
    for (size_t i = 0; i < n; ++i) {
        int v = UpperHexValue((unsigned char)src[2 * i]) * 16 + UpperHexValue((unsigned char)src[2 * i + 1]);
        dst[i] = (unsigned char)(v & 0xFF);
    }
    return n;
}

// Hex text of len raw bytes (which may hold zero bytes) into s.
bool StoreHexOf(CsString& s, const unsigned char* bytes, size_t len) {
    std::string hex(2 * len, '\0');
    UnpackBytes(bytes, hex.data(), len);
    return s.Set(hex.c_str(), hex.size());
}

}  // namespace

void StrUnpack(const void* src, char* dst, int n) {
    if (!src || !dst || n <= 0) return;
    UnpackBytes(static_cast<const unsigned char*>(src), dst, (size_t)n);
}

bool StrUnpack(CsString& s) {
    if (s.IsEmpty()) return true;
    return StoreHexOf(s, reinterpret_cast<const unsigned char*>(s.GetPtr()), s.GetLength());
}

void StrPack(const char* src, void* dst, int n) {
    if (!src || !dst || n <= 1) return;
    PackBytes(src, static_cast<unsigned char*>(dst), strnlen(src, (size_t)n));
}

bool StrPack(CsString& s) {
    if (s.IsEmpty()) return true;
    // Packing in place never overtakes the reading position.
    char* p = s.GetPtr();
    size_t n = PackBytes(p, reinterpret_cast<unsigned char*>(p), s.GetLength());
    p[n] = '\0';
    return true;
}

bool StrEncrypt(CsString& s) {
    if (s.IsEmpty()) return true;
    // The shifted bytes may include zero, so the length is kept apart.
    std::string bytes(s.GetStr(), s.GetLength());
    for (char& c : bytes) c = (char)(unsigned char)((unsigned char)c - kScrambleOffset);
    return StoreHexOf(s, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool StrDecrypt(CsString& s) {
    if (s.IsEmpty()) return true;
    size_t digits = s.GetLength();
    std::string bytes(digits / 2, '\0');
    PackBytes(s.GetStr(), reinterpret_cast<unsigned char*>(bytes.data()), digits);
    for (char& c : bytes) c = (char)(unsigned char)((unsigned char)c + kScrambleOffset);
    return s.Set(bytes.c_str(), bytes.size());
}

CString RGB2Text(COLORREF colour) {
    char text[8] = {'#'};
    for (int i = 0; i < 3; ++i) {
        unsigned v = (colour >> (8 * i)) & 0xFF;
        text[1 + 2 * i] = HEX_CHAR[v >> 4];
        text[2 + 2 * i] = HEX_CHAR[v & 0x0F];
    }
    return CString(text, 7);
}

COLORREF Text2RGB(const char* text) {
    // Characters 1..6 hold RRGGBB; character 0 ("#") is not looked at. A
    // shorter text stops at its end (missing digits count 0), and lower-case
    // digits are read as hex digits so "#ffcc00" means what it says.
    int digits[6] = {};
    if (text && *text) {
        for (int i = 0; i < 6 && text[i + 1]; ++i) {
            unsigned char c = (unsigned char)text[i + 1];
            if (c >= 'a' && c <= 'f') c = (unsigned char)(c - 0x20);
            digits[i] = UpperHexValue(c) & 0x0F;
        }
    }
    COLORREF colour = 0;
    for (int i = 0; i < 3; ++i) colour |= (COLORREF)(digits[2 * i] * 16 + digits[2 * i + 1]) << (8 * i);
    return colour;
}
