#include "inet/web/KvCookie.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "base/str/StrFunc.h"

IMPLEMENT_DYNCREATE(KvCookie, KvObject)

void KvCookie::Copy(const KvObject& other, int flag) {
    KvObject::Copy(other, flag);
    if (const KvCookie* cookie = dynamic_cast<const KvCookie*>(&other)) {
        if (cookie != this) m_mapValue.CopyFrom(cookie->m_mapValue);
    }
}

void KvCookie::SetCookie(const char* text) {
    m_mapValue.RemoveAll();
    KvMapAddPairs(m_mapValue, text, ';');
}

CString KvCookie::GetCookie() const {
    CString out;
    std::string& s = out.str();
    m_mapValue.ForEach([&s](CsStrMapItem* item) {
        s += item->GetKey();
        s += '=';
        s += item->GetValue();
        s += ';';
    });
    return out;
}

const char* KvCookie::GetValue(const char* name, const char* defaultValue) const {
    return KvMapGetValue(m_mapValue, name, defaultValue);
}

int KvCookie::GetIntValue(const char* name, int defaultValue) const {
    return KvMapGetIntValue(m_mapValue, name, defaultValue);
}

BOOL KvCookie::SetValue(const char* name, const char* value) {
    return KvMapSetValue(m_mapValue, name, value);
}

const char* KvMapGetValue(const CsStrMap& map, const char* name, const char* defaultValue) {
    const char* value = map.ILookup(name ? name : "");
    return value ? value : defaultValue;
}

int KvMapGetIntValue(const CsStrMap& map, const char* name, int defaultValue) {
    const char* value = map.ILookup(name ? name : "");
    return value ? KvTextToInt(value) : defaultValue;
}

BOOL KvMapSetValue(CsStrMap& map, const char* name, const char* value) {
    if (CsStrMapItem* item = map.IFind(name ? name : "")) {
        return item->m_value.Set(value ? value : "") ? TRUE : FALSE;
    }
    return map.AddTail(name, value) ? TRUE : FALSE;
}

int KvTextToInt(const char* text) {
    if (!text) return 0;
    while (std::isspace((unsigned char)*text)) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    long long n = 0;
    for (; std::isdigit((unsigned char)*text); ++text) {
        n = n * 10 + (*text - '0');
        if (n > (long long)INT_MAX + 1) n = (long long)INT_MAX + 1;  // stays clamped
    }
    if (negative) return (int)-n;
    return n > INT_MAX ? INT_MAX : (int)n;
}

void KvMapAddPairs(CsStrMap& map, const char* text, char separator) {
    if (!text) return;
    CString key, value;
    const char* p = text;
    while (true) {
        const char* end = std::strchr(p, separator);
        size_t len = end ? (size_t)(end - p) : std::strlen(p);
        CString piece(std::string_view(p, len));
        BreakKeyValue(piece, key, value, '=');
        if (!key.IsEmpty()) map.AddTail(key, value);
        if (!end) break;
        p = end + 1;
    }
}
