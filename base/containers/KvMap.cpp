#include "base/containers/KvMap.h"

#include <cctype>
#include <cstring>
#include <string>

#include "base/platform/Archive.h"
#include "base/platform/FileIo.h"

IMPLEMENT_DYNCREATE(KvMapStringToString, CObject)
IMPLEMENT_DYNCREATE(KvMapStringToObject, CObject)

namespace {

template <class Assoc>
POSITION ToPos(Assoc* a) { return reinterpret_cast<POSITION>(a); }

template <class Assoc>
Assoc* FromPos(POSITION p) { return reinterpret_cast<Assoc*>(p); }

const char* SkipSpace(const char* s, const char* end) {
    while (s < end && std::isspace((unsigned char)*s)) ++s;
    return s;
}

const char* FindTab(const char* s, const char* end) {
    if (s >= end) return end;
    const void* t = std::memchr(s, '\t', (size_t)(end - s));
    return t ? static_cast<const char*>(t) : end;
}

// The end of the line starting at s: the first CR or LF, or the end.
const char* LineEnd(const char* s, const char* end) {
    if (s >= end) return end;
    const char* lf = static_cast<const char*>(std::memchr(s, '\n', (size_t)(end - s)));
    const char* lim = lf ? lf : end;
    const char* cr = static_cast<const char*>(std::memchr(s, '\r', (size_t)(lim - s)));
    return cr ? cr : lim;
}

}  // namespace

// ---------------------------------------------------------------------------
// KvMapStringToString

KvMapStringToString::KvMapStringToString(const KvMapStringToString& other) : CObject(), m_table(10) {
    Copy(other);
}

KvMapStringToString& KvMapStringToString::operator=(const KvMapStringToString& other) {
    Copy(other);
    return *this;
}

bool KvMapStringToString::Lookup(const char* key, CString& value) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    value = a->value;
    return true;
}

const CString* KvMapStringToString::PLookup(const char* key) const {
    const Core::CAssoc* a = m_table.Find(key);
    return a ? &a->value : nullptr;
}

bool KvMapStringToString::LookupKey(const char* key, const char*& storedKey) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    storedKey = a->key.c_str();
    return true;
}

bool KvMapStringToString::LookupKey(const char* key, CString& storedKey) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    storedKey = a->key;
    return true;
}

CString& KvMapStringToString::operator[](const char* key) {
    if (Core::CAssoc* a = m_table.FindOrAdd(key)) return a->value;
    // Out of memory: a per-thread scratch value keeps the caller's
    // assignment harmless; nothing is stored.
    static thread_local CString scratch;
    scratch.Empty();
    return scratch;
}

bool KvMapStringToString::SetAt(const char* key, const CString& value) {
    Core::CAssoc* a = m_table.FindOrAdd(key);
    if (!a) return false;
    a->value = value;
    return true;
}

bool KvMapStringToString::RemoveKey(const char* key) { return m_table.Remove(key, nullptr); }

POSITION KvMapStringToString::GetStartPosition() const { return ToPos(m_table.First()); }

void KvMapStringToString::GetNextAssoc(POSITION& pos, CString& key, CString& value) const {
    const Core::CAssoc* a = FromPos<const Core::CAssoc>(pos);
    if (!a) return;
    key = a->key;
    value = a->value;
    pos = ToPos(m_table.Next(a));
}

bool KvMapStringToString::Copy(const KvMapStringToString& other) {
    if (&other == this) return true;
    RemoveAll();
    for (const Core::CAssoc* a = other.m_table.First(); a; a = other.m_table.Next(a)) {
        if (!SetAt(a->key, a->value)) return false;
    }
    return true;
}

void KvMapStringToString::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << (uint32_t)GetCount();
        for (const Core::CAssoc* a = m_table.First(); a; a = m_table.Next(a)) ar << a->key << a->value;
        return;
    }
    uint32_t count = 0;
    ar >> count;
    CString key, value;
    for (uint32_t i = 0; i < count && !ar.IsFailed(); ++i) {
        ar >> key >> value;
        if (ar.IsFailed() || !SetAt(key, value)) break;
    }
}

bool KvMapStringToString::LoadText(const char* path) {
    RemoveAll();
    std::string text;
    if (!KvReadWholeFile(path, text)) return false;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* eol = LineEnd(p, end);
        // Key: first field up to a tab; value: the next one. Leading white
        // space of each field is skipped (the tab counts as white space).
        const char* k = SkipSpace(p, eol);
        const char* kEnd = FindTab(k, eol);
        if (kEnd > k) {
            const char* v = SkipSpace(kEnd < eol ? kEnd + 1 : eol, eol);
            const char* vEnd = FindTab(v, eol);
            SetAt(CString(std::string(k, (size_t)(kEnd - k))).c_str(),
                  CString(std::string(v, (size_t)(vEnd - v))));
        }
        p = eol;
        if (p < end) {
            char c = *p++;
            if (p < end && *p == (c == '\r' ? '\n' : '\r')) ++p;
        }
    }
    return true;
}

bool KvMapStringToString::SaveText(const char* path) const {
    std::string out;
    for (const Core::CAssoc* a = m_table.First(); a; a = m_table.Next(a)) {
        out.append(a->key.str()).append(1, '\t').append(a->value.str()).append("\r\n");
    }
    return KvWriteFileAtomic(path, out.data(), out.size());
}

// ---------------------------------------------------------------------------
// KvMapStringToObject

KvMapStringToObject::KvMapStringToObject(const KvMapStringToObject& other) : CObject(), m_table(10) {
    Copy(other);
}

KvMapStringToObject& KvMapStringToObject::operator=(const KvMapStringToObject& other) {
    Copy(other);
    return *this;
}

KvMapStringToObject::~KvMapStringToObject() { RemoveAll(true); }

void KvMapStringToObject::DestroyObject(KvObject* p) { delete p; }

bool KvMapStringToObject::Lookup(const char* key, KvObject*& value) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    value = a->value;
    return true;
}

bool KvMapStringToObject::LookupKey(const char* key, const char*& storedKey) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    storedKey = a->key.c_str();
    return true;
}

bool KvMapStringToObject::LookupKey(const char* key, CString& storedKey) const {
    const Core::CAssoc* a = m_table.Find(key);
    if (!a) return false;
    storedKey = a->key;
    return true;
}

KvObject*& KvMapStringToObject::operator[](const char* key) {
    if (Core::CAssoc* a = m_table.FindOrAdd(key)) return a->value;
    static thread_local KvObject* scratch;
    scratch = nullptr;
    return scratch;
}

bool KvMapStringToObject::SetAt(const char* key, KvObject* value) {
    Core::CAssoc* a = m_table.FindOrAdd(key);
    if (!a) return false;
    KvObject* old = a->value;
    a->value = value;
    if (old && old != value) DestroyObject(old);
    return true;
}

bool KvMapStringToObject::RemoveKey(const char* key) {
    KvObject* value = nullptr;
    if (!m_table.Remove(key, &value)) return false;
    if (value) DestroyObject(value);
    return true;
}

void KvMapStringToObject::RemoveAll(bool destroyValues) {
    if (destroyValues) {
        for (Core::CAssoc* a = m_table.First(); a; a = m_table.Next(a)) {
            KvObject* value = a->value;
            a->value = nullptr;
            if (value) DestroyObject(value);
        }
    }
    m_table.Clear();
}

POSITION KvMapStringToObject::GetStartPosition() const { return ToPos(m_table.First()); }

void KvMapStringToObject::GetNextAssoc(POSITION& pos, CString& key, KvObject*& value) const {
    const Core::CAssoc* a = FromPos<const Core::CAssoc>(pos);
    if (!a) return;
    key = a->key;
    value = a->value;
    pos = ToPos(m_table.Next(a));
}

bool KvMapStringToObject::Copy(const KvMapStringToObject& other) {
    if (&other == this) return true;
    RemoveAll(true);
    for (const Core::CAssoc* a = other.m_table.First(); a; a = other.m_table.Next(a)) {
        KvObject* clone = a->value ? a->value->Clone() : nullptr;
        if (a->value && !clone) return false;
        if (!SetAt(a->key, clone)) {
            delete clone;
            return false;
        }
    }
    return true;
}

void KvMapStringToObject::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << (uint32_t)GetCount();
        for (const Core::CAssoc* a = m_table.First(); a; a = m_table.Next(a)) {
            ar << a->key;
            ar.WriteObject(a->value);
        }
        return;
    }
    uint32_t count = 0;
    ar >> count;
    CString key;
    for (uint32_t i = 0; i < count && !ar.IsFailed(); ++i) {
        ar >> key;
        CObject* obj = ar.ReadObject(RUNTIME_CLASS(KvObject));
        KvObject* value = dynamic_cast<KvObject*>(obj);
        if (ar.IsFailed() || !SetAt(key, value)) {
            delete obj;
            break;
        }
    }
}
