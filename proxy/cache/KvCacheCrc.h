// KvCacheCrc: the CRC-32 kept beside every stored form (the polynomial and
// bit order of zlib's crc32, so its values match those already stored),
// computed with carry-less multiplication where the processor has it. A
// large hit checks its whole stored form before its first byte goes out,
// so this sum is on the path of every such hit.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over the bytes, as zlib's crc32_z does.
uint32_t KvCacheCrc32(uint32_t crc, const void* data, size_t length);
