// KvMd5: the MD5 digest (RFC 1321) as 32 lower-case hexadecimal digits.
//
// Sites keep only the digest of a member's password: the digest of the
// typed password is compared with the stored one. Every stored digest is
// made by MD5String, so the letter case never differs.
//
// Thread-safe: no shared state.
#pragma once

#include <cstddef>

#include "base/platform/CString.h"

// Digest of the bytes of a zero-terminated text (null counts as empty).
CString MD5String(const char* text);

// Digest of `length` bytes.
CString MD5Bytes(const void* data, size_t length);

// The library's version text.
extern "C" const char* KvMd5Version();
