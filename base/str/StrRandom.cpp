// Uniform-ish random numbers and random digit texts (not for secrets:
// session ids, tokens and passwords use a cryptographic source).
#include <cstdlib>

#include "base/str/StrFunc.h"

namespace {

constexpr long long kRandMax = 0x7FFF;

// round(a * b / c) with halves rounded away from zero, as MulDiv does.
long long MulDivRounded(long long a, long long b, long long c) {
    long long num = a * b;
    long long q = num / c, r = num % c;
    if (2 * (r < 0 ? -r : r) >= c) q += (num < 0) ? -1 : 1;
    return q;
}

}  // namespace

int Random(int lo, int hi) {
    // 15 bits whatever RAND_MAX is, so the arithmetic stays within [lo, hi].
    long long r = std::rand() & kRandMax;
    return (int)(lo + MulDivRounded((long long)hi - lo, r, kRandMax));
}

CString GetStrRandom(int n) {
    CString out;
    if (n <= 0) return out;
    std::string& s = out.str();
    s.resize((size_t)n);
    for (char& c : s) c = (char)('0' + Random(0, 9));
    return out;
}

CString GetStrRandomHexa(int n) {
    CString out;
    if (n <= 0) return out;
    std::string& s = out.str();
    s.resize((size_t)n);
    for (char& c : s) c = HEX_CHAR[Random(0, 15)];
    return out;
}
