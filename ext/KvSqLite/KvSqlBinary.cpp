#include "ext/KvSqLite/KvSqlBinary.h"

#include <climits>
#include <cstring>

namespace {
constexpr unsigned char kEscape = 0x01;

const unsigned char kNothing[1] = {0};

const unsigned char* Data(const std::vector<unsigned char>& v) { return v.empty() ? kNothing : v.data(); }
int Length(const std::vector<unsigned char>& v) { return v.empty() ? 0 : (int)v.size() - 1; }
}  // namespace

void KvSqlBinary::Clear() {
    m_bin.clear();
    m_enc.clear();
    m_bHaveBin = m_bHaveEnc = true;
}

BOOL KvSqlBinary::SetBinary(const unsigned char* bytes, int length) {
    Clear();
    if (length < 0 || (!bytes && length > 0)) return FALSE;
    m_bin.assign(bytes, bytes + length);
    m_bin.push_back(0);
    m_bHaveEnc = false;
    return TRUE;
}

BOOL KvSqlBinary::SetEncoded(const unsigned char* stored, int length) {
    Clear();
    if (!stored) return length <= 0;
    if (length < 0) length = (int)std::strlen(reinterpret_cast<const char*>(stored));
    m_enc.assign(stored, stored + length);
    m_enc.push_back(0);
    m_bHaveBin = false;
    Decode();
    if (!m_bHaveBin) {
        Clear();
        return FALSE;
    }
    return TRUE;
}

void KvSqlBinary::Encode() {
    size_t n = (size_t)Length(m_bin);
    const unsigned char* src = Data(m_bin);
    size_t escapes = 0;
    for (size_t i = 0; i < n; i++) escapes += src[i] <= kEscape;
    if (n + escapes >= (size_t)INT_MAX) {
        // Too large for an int length: nothing sensible can be stored.
        m_enc.clear();
        m_bHaveEnc = true;
        return;
    }
    m_enc.resize(n + escapes + 1);
    unsigned char* out = m_enc.data();
    for (size_t i = 0; i < n; i++) {
        unsigned char c = src[i];
        if (c <= kEscape) {
            *out++ = kEscape;
            *out++ = (unsigned char)(c + 1);
        } else {
            *out++ = c;
        }
    }
    *out = 0;
    m_bHaveEnc = true;
}

void KvSqlBinary::Decode() {
    size_t n = (size_t)Length(m_enc);
    const unsigned char* src = Data(m_enc);
    m_bin.resize(n + 1);
    unsigned char* out = m_bin.data();
    for (size_t i = 0; i < n; i++) {
        unsigned char c = src[i];
        if (c == 0) return;  // a stored form never holds a zero byte
        if (c == kEscape) {
            if (++i >= n || (src[i] != 0x01 && src[i] != 0x02)) return;
            c = (unsigned char)(src[i] - 1);
        }
        *out++ = c;
    }
    *out = 0;
    m_bin.resize((size_t)(out - m_bin.data()) + 1);
    m_bHaveBin = true;
}

const unsigned char* KvSqlBinary::GetEncoded() {
    if (!m_bHaveEnc) Encode();
    return Data(m_enc);
}

int KvSqlBinary::GetEncodedLength() {
    if (!m_bHaveEnc) Encode();
    return Length(m_enc);
}

const unsigned char* KvSqlBinary::GetBinary() {
    if (!m_bHaveBin) Decode();
    return Data(m_bin);
}

int KvSqlBinary::GetBinaryLength() {
    if (!m_bHaveBin) Decode();
    return Length(m_bin);
}
