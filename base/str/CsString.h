// CsString: a minimal owned zero-terminated string.
//
// Exactly one pointer to a malloc'ed block; null stands for the empty
// string. Everything is inline. Copies are deep. Allocation failure leaves
// a null pointer (an empty string), never throws.
#pragma once

#include <cstdlib>
#include <cstring>

class CsString {
public:
    CsString() = default;
    CsString(const char* s) { Set(s); }
    CsString(const char* s, size_t n) { Set(s, n); }
    CsString(const CsString& other) { Set(other.m_psz); }
    CsString(CsString&& other) noexcept : m_psz(other.m_psz) { other.m_psz = nullptr; }
    ~CsString() { std::free(m_psz); }

    CsString& operator=(const CsString& other) {
        if (this != &other) Set(other.m_psz);
        return *this;
    }
    CsString& operator=(CsString&& other) noexcept {
        if (this != &other) {
            std::free(m_psz);
            m_psz = other.m_psz;
            other.m_psz = nullptr;
        }
        return *this;
    }
    CsString& operator=(const char* s) {
        Set(s);
        return *this;
    }

    // The text; null for the empty string.
    char* GetPtr() const { return m_psz; }
    // The text, never null.
    const char* GetStr() const { return m_psz ? m_psz : ""; }
    operator const char*() const { return GetStr(); }
    size_t GetLength() const { return m_psz ? std::strlen(m_psz) : 0; }
    bool IsEmpty() const { return !m_psz || !*m_psz; }

    // Makes room for n characters: nothing happens when the current text
    // is at least n long; otherwise a block of n+1 bytes receives the old
    // text. False (and a null pointer) when the allocation fails.
    bool Alloc(size_t n) {
        size_t len = GetLength();
        if (m_psz && len >= n) return true;
        char* p = static_cast<char*>(std::malloc(n + 1));
        if (!p) {
            std::free(m_psz);
            m_psz = nullptr;
            return false;
        }
        if (m_psz) std::memcpy(p, m_psz, len + 1); else p[0] = '\0';
        std::free(m_psz);
        m_psz = p;
        return true;
    }

    // Copies n characters of s in and terminates (n = -1: the whole text).
    bool Set(const char* s, size_t n = (size_t)-1) {
        if (!s) {
            Empty();
            return true;
        }
        if (n == (size_t)-1) n = std::strlen(s);
        char* p = static_cast<char*>(std::malloc(n + 1));
        if (!p) {
            Empty();
            return false;
        }
        std::memcpy(p, s, n);
        p[n] = '\0';
        std::free(m_psz);
        m_psz = p;
        return true;
    }

    void Empty() {
        std::free(m_psz);
        m_psz = nullptr;
    }

    // Takes over a malloc'ed block (or releases it to the caller).
    void Attach(char* p) {
        std::free(m_psz);
        m_psz = p;
    }
    char* Detach() {
        char* p = m_psz;
        m_psz = nullptr;
        return p;
    }

private:
    char* m_psz = nullptr;
};
