// CString: the platform string class the libraries are written against.
//
// A byte string over std::string (byte semantics, no code page handling).
// Out-of-range arguments of Mid/Left/Right/Delete/Insert clamp instead of
// throwing, as callers of the classic class rely on. The buffer may hold
// embedded zero bytes (GetLength counts them); the text form stops at the
// first one like any C string.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "base/platform/WinTypes.h"

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(const char* s) : m_str(s ? s : "") {}
    CString(const char* s, int len) : m_str(s && len > 0 ? std::string(s, (size_t)len) : std::string()) {}
    CString(const wchar_t* ws);
    CString(char ch, int repeat = 1) : m_str(repeat > 0 ? (size_t)repeat : 0, ch) {}
    explicit CString(std::string s) : m_str(std::move(s)) {}
    CString(std::string_view s) : m_str(s) {}
    virtual ~CString() = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* s) { m_str.assign(s ? s : ""); return *this; }
    CString& operator=(const wchar_t* ws);
    CString& operator=(char ch) { m_str.assign(1, ch); return *this; }
    CString& operator=(const std::string& s) { m_str = s; return *this; }

    CString& operator+=(const CString& s) { m_str += s.m_str; return *this; }
    CString& operator+=(const char* s) { if (s) m_str += s; return *this; }
    CString& operator+=(char ch) { m_str += ch; return *this; }

    // Access.
    int GetLength() const { return (int)m_str.size(); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    char GetAt(int i) const { return (i >= 0 && (size_t)i < m_str.size()) ? m_str[(size_t)i] : '\0'; }
    void SetAt(int i, char ch) { if (i >= 0 && (size_t)i < m_str.size()) m_str[(size_t)i] = ch; }
    char operator[](int i) const { return GetAt(i); }
    operator const char*() const { return m_str.c_str(); }
    const char* c_str() const { return m_str.c_str(); }
    const std::string& str() const { return m_str; }
    std::string& str() { return m_str; }
    std::string_view view() const { return m_str; }

    // Comparison (byte-wise, unsigned).
    int Compare(const char* s) const;
    int CompareNoCase(const char* s) const;
    int Collate(const char* s) const { return Compare(s); }

    // Extraction; arguments are clamped.
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* set) const;
    CString SpanExcluding(const char* set) const;

    // Case and order.
    void MakeUpper();
    void MakeLower();
    void MakeReverse();

    // Editing.
    int Replace(char oldCh, char newCh);
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* s);
    int Delete(int index, int count = 1);
    void TrimLeft();
    void TrimLeft(char ch);
    void TrimLeft(const char* set);
    void TrimRight();
    void TrimRight(char ch);
    void TrimRight(const char* set);
    void Trim() { TrimRight(); TrimLeft(); }

    // Searching; -1 when not found or start is out of range.
    int Find(char ch, int start = 0) const;
    int Find(const char* s, int start = 0) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    // Formatting: any length, never truncated.
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));
    void AppendFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    // Raw buffer access: GetBuffer(n) gives room for n bytes plus a
    // terminator; ReleaseBuffer(-1) takes the length up to the first zero.
    char* GetBuffer(int minLength = 0);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);
    void FreeExtra() { m_str.shrink_to_fit(); }

protected:
    std::string m_str;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);
CString operator+(const CString& a, char b);
CString operator+(char a, const CString& b);

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator==(const char* a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator!=(const char* a, const CString& b);
bool operator<(const CString& a, const CString& b);
bool operator>(const CString& a, const CString& b);
bool operator<=(const CString& a, const CString& b);
bool operator>=(const CString& a, const CString& b);

struct CStringHash {
    size_t operator()(const CString& s) const { return std::hash<std::string>()(s.str()); }
};
