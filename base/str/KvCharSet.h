// KvCharSet: a set of byte values (256 bits).
//
// Bit (b & 7) of byte b / 8 is set when byte value b is a member. The named
// global sets below are constant-initialised, so they may be used from any
// static initialiser. A set is a plain value: copy it freely; it is not
// shared between threads unless the caller guards it.
#pragma once

#include <cstring>

#include "base/platform/Object.h"
#include "base/platform/WinTypes.h"

class KvCharSet : public CObject {
    DECLARE_SERIAL(KvCharSet)

public:
    constexpr KvCharSet() : m_bits{} {}
    constexpr explicit KvCharSet(char ch) : m_bits{} { Include((BYTE)ch); }
    constexpr explicit KvCharSet(const char* s) : m_bits{} { IncludeText(s); }
    constexpr KvCharSet(const KvCharSet& other) : CObject(), m_bits{} { Assign(other); }

    constexpr void Include(BYTE b) { m_bits[b >> 3] |= (BYTE)(1u << (b & 7)); }
    constexpr void Exclude(BYTE b) { m_bits[b >> 3] &= (BYTE)~(1u << (b & 7)); }
    constexpr bool IsInclude(BYTE b) const { return (m_bits[b >> 3] >> (b & 7)) & 1u; }
    void AllOn() { std::memset(m_bits, 0xFF, sizeof m_bits); }
    void AllOff() { std::memset(m_bits, 0, sizeof m_bits); }

    constexpr KvCharSet& operator=(const KvCharSet& other) { Assign(other); return *this; }
    KvCharSet& operator=(char ch) { AllOff(); Include((BYTE)ch); return *this; }
    KvCharSet& operator=(const char* s) { AllOff(); IncludeText(s); return *this; }

    constexpr KvCharSet& operator|=(const KvCharSet& other) {
        for (int i = 0; i < 32; ++i) m_bits[i] |= other.m_bits[i];
        return *this;
    }
    KvCharSet& operator|=(const char* s) { IncludeText(s); return *this; }
    KvCharSet& operator&=(const KvCharSet& other) {
        for (int i = 0; i < 32; ++i) m_bits[i] &= other.m_bits[i];
        return *this;
    }
    KvCharSet& operator&=(const char* s) { return *this &= KvCharSet(s); }
    KvCharSet& operator-=(const KvCharSet& other) {
        for (int i = 0; i < 32; ++i) m_bits[i] &= (BYTE)~other.m_bits[i];
        return *this;
    }
    KvCharSet& operator-=(const char* s) { return *this -= KvCharSet(s); }

    constexpr KvCharSet operator|(const KvCharSet& other) const { KvCharSet r(*this); r |= other; return r; }
    constexpr KvCharSet operator|(const char* s) const { KvCharSet r(*this); r.IncludeText(s); return r; }
    constexpr KvCharSet operator+(const KvCharSet& other) const { return *this | other; }
    constexpr KvCharSet operator+(const char* s) const { return *this | s; }
    KvCharSet operator-(const KvCharSet& other) const { KvCharSet r(*this); r -= other; return r; }
    KvCharSet operator-(const char* s) const { KvCharSet r(*this); r -= s; return r; }
    KvCharSet operator~() const {
        KvCharSet r;
        for (int i = 0; i < 32; ++i) r.m_bits[i] = (BYTE)~m_bits[i];
        return r;
    }
    bool operator==(const KvCharSet& other) const { return std::memcmp(m_bits, other.m_bits, sizeof m_bits) == 0; }
    bool operator!=(const KvCharSet& other) const { return !(*this == other); }

    // Writes or reads the 32 bytes.
    void Serialize(CArchive& ar) override;

private:
    constexpr void Assign(const KvCharSet& other) {
        for (int i = 0; i < 32; ++i) m_bits[i] = other.m_bits[i];
    }
    constexpr void IncludeText(const char* s) {
        for (; s && *s; ++s) Include((BYTE)*s);
    }

    BYTE m_bits[32];
};

// Named sets (built at compile time).
extern const KvCharSet CSUpperCase;
extern const KvCharSet CSLowerCase;
extern const KvCharSet CSLetters;
extern const KvCharSet CSNumbers;
extern const KvCharSet CSFloats;
extern const KvCharSet CSAlphaNum;
extern const KvCharSet CSWords;
extern const KvCharSet CSPunct;
extern const KvCharSet CSPrintable;
extern const KvCharSet FilterBool;
extern const KvCharSet FilterDate;
extern const KvCharSet FilterDateTime;
extern const KvCharSet FilterTime;
extern const KvCharSet FilterNumbers;
extern const KvCharSet FilterFloats;
extern const KvCharSet FilterText;
