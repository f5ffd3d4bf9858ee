#include "ext/KvMd5/KvMd5.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

void ToHex(const unsigned char* bytes, size_t n, char* out) {
    static const char kHex[] = "0123456789abcdef";
    for (size_t i = 0; i < n; i++) {
        out[2 * i] = kHex[bytes[i] >> 4];
        out[2 * i + 1] = kHex[bytes[i] & 0x0F];
    }
    out[2 * n] = '\0';
}

// When the digest cannot be computed (a crypto policy that forbids MD5),
// answer 32 random digits: a login then fails instead of every failed
// digest comparing equal to every other.
CString Unmatchable() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        std::random_device rd;
        for (unsigned char& b : bytes) b = (unsigned char)rd();
    }
    char hex[33];
    ToHex(bytes, sizeof bytes, hex);
    std::fprintf(stderr, "KvMd5: MD5 digest unavailable\n");
    return CString(hex);
}

}  // namespace

CString MD5Bytes(const void* data, size_t length) {
    static const unsigned char kEmpty = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(data ? data : &kEmpty, data ? length : 0, digest, &size, EVP_md5(), nullptr) != 1 || size != 16) {
        return Unmatchable();
    }
    char hex[33];
    ToHex(digest, 16, hex);
    return CString(hex);
}

CString MD5String(const char* text) { return MD5Bytes(text, text ? std::strlen(text) : 0); }

extern "C" const char* KvMd5Version() { return "1.0.1"; }
