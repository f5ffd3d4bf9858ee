#include "base/platform/CString.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool IsSpace(char c) { return std::isspace((unsigned char)c) != 0; }

size_t ClampIndex(int i, size_t size) {
    if (i < 0) return 0;
    return std::min((size_t)i, size);
}

}  // namespace

CString::CString(const wchar_t* ws) { *this = ws; }

CString& CString::operator=(const wchar_t* ws) {
    m_str.clear();
    // Keeps the low byte of every character: the libraries are single-byte.
    for (; ws && *ws; ++ws) m_str += (char)(*ws & 0xFF);
    return *this;
}

int CString::Compare(const char* s) const {
    int r = std::strcmp(m_str.c_str(), s ? s : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* s) const {
    int r = strcasecmp(m_str.c_str(), s ? s : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    size_t from = ClampIndex(first, m_str.size());
    if (count <= 0) return CString();
    return CString(m_str.substr(from, (size_t)count));
}

CString CString::Left(int count) const {
    return CString(m_str.substr(0, ClampIndex(count, m_str.size())));
}

CString CString::Right(int count) const {
    size_t n = ClampIndex(count, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

CString CString::SpanIncluding(const char* set) const {
    size_t n = m_str.find_first_not_of(set ? set : "");
    return Left(n == std::string::npos ? GetLength() : (int)n);
}

CString CString::SpanExcluding(const char* set) const {
    size_t n = m_str.find_first_of(set ? set : "");
    return Left(n == std::string::npos ? GetLength() : (int)n);
}

void CString::MakeUpper() {
    for (char& c : m_str) c = (char)std::toupper((unsigned char)c);
}

void CString::MakeLower() {
    for (char& c : m_str) c = (char)std::tolower((unsigned char)c);
}

void CString::MakeReverse() { std::reverse(m_str.begin(), m_str.end()); }

int CString::Replace(char oldCh, char newCh) {
    int n = 0;
    for (char& c : m_str) {
        if (c == oldCh) { c = newCh; ++n; }
    }
    return n;
}

int CString::Replace(const char* oldText, const char* newText) {
    size_t oldLen = oldText ? std::strlen(oldText) : 0;
    if (oldLen == 0) return 0;
    std::string_view repl = newText ? newText : "";
    std::string out;
    int n = 0;
    size_t pos = 0;
    for (size_t hit; (hit = m_str.find(oldText, pos, oldLen)) != std::string::npos; pos = hit + oldLen) {
        out.append(m_str, pos, hit - pos);
        out.append(repl);
        ++n;
    }
    if (n == 0) return 0;
    out.append(m_str, pos, std::string::npos);
    m_str.swap(out);
    return n;
}

int CString::Remove(char ch) {
    size_t before = m_str.size();
    m_str.erase(std::remove(m_str.begin(), m_str.end(), ch), m_str.end());
    return (int)(before - m_str.size());
}

int CString::Insert(int index, char ch) {
    m_str.insert(ClampIndex(index, m_str.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* s) {
    if (s) m_str.insert(ClampIndex(index, m_str.size()), s);
    return GetLength();
}

int CString::Delete(int index, int count) {
    size_t from = ClampIndex(index, m_str.size());
    if (count > 0) m_str.erase(from, (size_t)count);
    return GetLength();
}

void CString::TrimLeft() {
    size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i])) ++i;
    m_str.erase(0, i);
}

void CString::TrimLeft(char ch) {
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == ch) ++i;
    m_str.erase(0, i);
}

void CString::TrimLeft(const char* set) {
    size_t i = m_str.find_first_not_of(set ? set : "");
    m_str.erase(0, i == std::string::npos ? m_str.size() : i);
}

void CString::TrimRight() {
    size_t n = m_str.size();
    while (n > 0 && IsSpace(m_str[n - 1])) --n;
    m_str.resize(n);
}

void CString::TrimRight(char ch) {
    size_t n = m_str.size();
    while (n > 0 && m_str[n - 1] == ch) --n;
    m_str.resize(n);
}

void CString::TrimRight(const char* set) {
    size_t i = m_str.find_last_not_of(set ? set : "");
    m_str.resize(i == std::string::npos ? 0 : i + 1);
}

int CString::Find(char ch, int start) const {
    if (start < 0 || (size_t)start >= m_str.size()) return -1;
    size_t i = m_str.find(ch, (size_t)start);
    return i == std::string::npos ? -1 : (int)i;
}

int CString::Find(const char* s, int start) const {
    if (start < 0 || (size_t)start > m_str.size()) return -1;
    size_t i = m_str.find(s ? s : "", (size_t)start);
    return i == std::string::npos ? -1 : (int)i;
}

int CString::ReverseFind(char ch) const {
    size_t i = m_str.rfind(ch);
    return i == std::string::npos ? -1 : (int)i;
}

int CString::FindOneOf(const char* set) const {
    if (!set || !*set) return -1;
    size_t i = m_str.find_first_of(set);
    return i == std::string::npos ? -1 : (int)i;
}

void CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    FormatV(fmt, args);
    va_end(args);
}

void CString::FormatV(const char* fmt, va_list args) {
    // The arguments may point into this string ("s.Format("%s!", s)"):
    // the text is built aside and only then replaces the old one.
    std::string out;
    if (fmt) {
        va_list copy;
        va_copy(copy, args);
        char small[512];
        int n = std::vsnprintf(small, sizeof small, fmt, copy);
        va_end(copy);
        if (n >= 0 && (size_t)n < sizeof small) {
            out.assign(small, (size_t)n);
        } else if (n >= 0) {
            out.resize((size_t)n);
            std::vsnprintf(out.data(), (size_t)n + 1, fmt, args);
        }
    }
    m_str.swap(out);
}

void CString::AppendFormat(const char* fmt, ...) {
    CString more;
    va_list args;
    va_start(args, fmt);
    more.FormatV(fmt, args);
    va_end(args);
    m_str += more.m_str;
}

char* CString::GetBuffer(int minLength) {
    if (minLength > 0 && (size_t)minLength > m_str.size()) m_str.resize((size_t)minLength);
    return m_str.data();
}

char* CString::GetBufferSetLength(int length) {
    m_str.resize(length > 0 ? (size_t)length : 0);
    return m_str.data();
}

void CString::ReleaseBuffer(int newLength) {
    if (newLength < 0) {
        m_str.resize(std::strlen(m_str.c_str()));
    } else {
        m_str.resize(std::min((size_t)newLength, m_str.size()));
    }
}

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, const char* b) { return CString(a.str() + (b ? b : "")); }
CString operator+(const char* a, const CString& b) { return CString(std::string(a ? a : "") + b.str()); }
CString operator+(const CString& a, char b) { return CString(a.str() + b); }
CString operator+(char a, const CString& b) { return CString(std::string(1, a) + b.str()); }

bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const CString& b) { return !(a == b); }
bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
