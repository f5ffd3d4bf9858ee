// Pieces of text as keys of the match index: shared by building and
// finding (internal to inet/match).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvmatch {

constexpr size_t kMaxPiece = 4;       // bytes of the longest piece
constexpr unsigned kFilterBits = 18;  // 32 KiB: stays in cache while a text is scanned

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + ('a' - 'A')) : c; }

// A piece of `len` bytes as a table key; the length keeps pieces of
// different sizes apart and makes every key non-zero.
inline uint64_t PieceKey(const unsigned char* p, size_t len) {
    uint32_t bytes = 0;
    for (size_t k = 0; k < len; ++k) bytes |= (uint32_t)p[k] << (8 * k);
    return (uint64_t)len << 32 | bytes;
}

inline uint64_t Mix(uint64_t key) { return key * 0x9E3779B97F4A7C15ull; }

}  // namespace kvmatch
