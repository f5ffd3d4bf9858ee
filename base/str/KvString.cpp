// KvString: assignment, searching, editing, trimming and case.
#include "base/str/KvString.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

namespace {

inline char Lower(char c) { return (char)std::tolower((unsigned char)c); }
inline bool IsSpace(char c) { return std::isspace((unsigned char)c) != 0; }

bool StartOk(int start, size_t size) { return start >= 0 && (size_t)start < size; }

void AppendDecimal(std::string& s, long n) {
    char digits[24];
    auto res = std::to_chars(digits, digits + sizeof digits, n);
    s.append(digits, res.ptr);
}

}  // namespace

KvString& KvString::operator=(long n) {
    m_str.clear();
    AppendDecimal(m_str, n);
    return *this;
}

KvString& KvString::operator+=(long n) {
    AppendDecimal(m_str, n);
    return *this;
}

char& KvString::operator[](int i) {
    if (i >= 0 && (size_t)i < m_str.size()) return m_str[(size_t)i];
    static thread_local char scratch;  // writes outside the string go nowhere
    scratch = '\0';
    return scratch;
}

KvString& KvString::operator<<(int n) {
    if (n > 0) m_str.erase(0, std::min((size_t)n, m_str.size()));
    return *this;
}

int KvString::Find(int start, char ch) const { return CString::Find(ch, start); }

int KvString::Find(int start, const char* s) const {
    if (!StartOk(start, m_str.size())) return -1;
    return CString::Find(s, start);
}

int KvString::FindOneOf(int start, const char* set) const {
    if (!set || !*set) return -1;
    return FindOneOf(start, KvCharSet(set));
}

int KvString::FindOneOf(int start, const KvCharSet& set) const {
    if (!StartOk(start, m_str.size())) return -1;
    for (size_t i = (size_t)start; i < m_str.size(); ++i) {
        if (set.IsInclude((BYTE)m_str[i])) return (int)i;
    }
    return -1;
}

int KvString::FindNoCase(int start, char ch) const {
    if (!StartOk(start, m_str.size())) return -1;
    const char want = Lower(ch);
    for (size_t i = (size_t)start; i < m_str.size(); ++i) {
        if (Lower(m_str[i]) == want) return (int)i;
    }
    return -1;
}

int KvString::FindNoCase(int start, const char* s) const {
    if (!StartOk(start, m_str.size())) return -1;
    const size_t n = s ? std::strlen(s) : 0;
    if (n == 0) return start;
    if (n > m_str.size()) return -1;
    auto eq = [](char a, char b) { return Lower(a) == Lower(b); };
    auto it = std::search(m_str.begin() + start, m_str.end(), s, s + n, eq);
    return it == m_str.end() ? -1 : (int)(it - m_str.begin());
}

int KvString::GetCount(char ch) const { return (int)std::count(m_str.begin(), m_str.end(), ch); }

bool KvString::IsBeginWith(const char* s) const {
    if (m_str.empty() || !s || !*s) return false;
    return m_str.starts_with(s);
}

bool KvString::IsEndWith(const char* s) const {
    if (m_str.empty() || !s || !*s) return false;
    return m_str.ends_with(s);
}

int KvString::Delete(int pos, int count) {
    // Left(pos - 1) + Mid(pos + count - 1), clamped. A count below 1
    // deletes nothing (the formula would duplicate bytes).
    if (count <= 0) return GetLength();
    long keepHead = std::clamp<long>((long)pos - 1, 0, (long)m_str.size());
    long tailFrom = std::clamp<long>((long)pos + count - 1, 0, (long)m_str.size());
    std::string out = m_str.substr(0, (size_t)keepHead);
    out.append(m_str, (size_t)tailFrom, std::string::npos);
    m_str.swap(out);
    return GetLength();
}

int KvString::Insert(int pos, char ch) {
    const char text[2] = {ch, '\0'};
    return Insert(pos, text);
}

int KvString::Insert(int pos, const char* s) {
    if (!s || !*s) return GetLength();
    size_t at = (size_t)std::clamp<long>((long)pos + 1, 0, (long)m_str.size());
    m_str.insert(at, s);
    return GetLength();
}

void KvString::Replace(int first, int last, char ch) {
    if (m_str.empty()) return;
    long from = std::max(first, 0);
    long to = std::min<long>(last, (long)m_str.size() - 1);
    for (long i = from; i <= to; ++i) m_str[(size_t)i] = ch;
}

void KvString::Replace(int first, int last, const char* s) {
    if (m_str.empty()) return;
    long from = std::max(first, 0);
    long to = std::min<long>(last, (long)m_str.size() - 1);
    if (from > to) return;
    m_str.replace((size_t)from, (size_t)(to - from + 1), s ? s : "");
}

void KvString::Exclude(char ch) { Remove(ch); }

void KvString::Exclude(const char* s) {
    if (s && *s) Exclude(KvCharSet(s));
}

void KvString::Exclude(const KvCharSet& set) {
    std::erase_if(m_str, [&](char c) { return set.IsInclude((BYTE)c); });
}

KvString KvString::GetExclude(char ch) const {
    KvString r(*this);
    r.Exclude(ch);
    return r;
}

KvString KvString::GetExclude(const char* s) const {
    KvString r(*this);
    r.Exclude(s);
    return r;
}

KvString KvString::GetExclude(const KvCharSet& set) const {
    KvString r(*this);
    r.Exclude(set);
    return r;
}

void KvString::BarToNull() { std::replace(m_str.begin(), m_str.end(), '|', '\0'); }

void KvString::XTrim() {
    size_t out = 0;
    bool inSpace = false;
    for (char c : m_str) {
        if (IsSpace(c)) {
            if (!inSpace) m_str[out++] = ' ';
            inSpace = true;
        } else {
            m_str[out++] = c;
            inSpace = false;
        }
    }
    m_str.resize(out);
}

KvString KvString::GetUpperCase() const {
    KvString r(*this);
    r.MakeUpper();
    return r;
}

KvString KvString::GetLowerCase() const {
    KvString r(*this);
    r.MakeLower();
    return r;
}

KvString KvString::GetProperCase() const {
    KvString r(*this);
    r.MakeProperCase();
    return r;
}

void KvString::MakeProperCase() {
    bool wordStart = true;
    for (char& c : m_str) {
        unsigned char u = (unsigned char)c;
        if (std::isalpha(u)) {
            c = (char)(wordStart ? std::toupper(u) : std::tolower(u));
            wordStart = false;
        } else if (c == ' ' || c == ',' || c == '.' || c == ';') {
            wordStart = true;
        }
    }
}

bool KvString::IsLowerCase() const {
    return std::none_of(m_str.begin(), m_str.end(), [](char c) { return std::isupper((unsigned char)c); });
}

bool KvString::IsUpperCase() const {
    return std::none_of(m_str.begin(), m_str.end(), [](char c) { return std::islower((unsigned char)c); });
}
