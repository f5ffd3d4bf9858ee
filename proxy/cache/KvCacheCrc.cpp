#include "proxy/cache/KvCacheCrc.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__)

#define KV_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

KV_FOLD_TARGET inline __m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// acc times the two halves of k, added to next.
KV_FOLD_TARGET inline __m128i Fold(__m128i acc, __m128i k, __m128i next) {
    const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
    const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

// Folds 64-byte blocks four lanes at a time, then down to 128 and 32 bits
// (Barrett reduction). The constants are powers of x modulo the reflected
// polynomial 0x1DB710641. `crc` comes and goes inverted; length is a
// multiple of 16 and at least 64.
KV_FOLD_TARGET uint32_t FoldCrc(const unsigned char* buf, size_t length, uint32_t crc) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const uint64_t poly[2] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(Load(buf), _mm_cvtsi32_si128((int)crc));
    __m128i x2 = Load(buf + 16), x3 = Load(buf + 32), x4 = Load(buf + 48);
    buf += 64;
    length -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    for (; length >= 64; buf += 64, length -= 64) {
        x1 = Fold(x1, k, Load(buf));
        x2 = Fold(x2, k, Load(buf + 16));
        x3 = Fold(x3, k, Load(buf + 32));
        x4 = Fold(x4, k, Load(buf + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    for (; length >= 16; buf += 16, length -= 16) x1 = Fold(x1, k, Load(buf));
    // 128 bits to 64.
    const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2r = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x2r = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2r);
    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, mask32), k, 0x00);
    return (uint32_t)_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1);
}

bool HasFold() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

}  // namespace

uint32_t KvCacheCrc32(uint32_t crc, const void* data, size_t length) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
    if (length >= 64 && HasFold()) {
        const size_t folded = length & ~(size_t)15;
        crc = ~FoldCrc(p, folded, ~crc);
        p += folded;
        length -= folded;
    }
#endif
    return (uint32_t)crc32_z(crc, p, length);
}
