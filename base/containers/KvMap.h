// String-keyed hash maps: KvMapStringToString and KvMapStringToObject.
//
// Keys compare case-sensitively; a null key counts as "". Iteration
// (GetStartPosition / GetNextAssoc) follows the hash buckets, not the
// insertion order; a POSITION stays valid until its entry is removed.
// KvMapStringToObject owns its values: RemoveKey, SetAt over another value,
// RemoveAll(true) and the destructor destroy them through DestroyObject
// (a class that overrides DestroyObject calls RemoveAll in its own
// destructor, as the base destructor only reaches the base version).
// Operations that must allocate report false when out of memory. Not
// thread-safe.
#pragma once

#include "base/containers/KvMapCore.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/platform/Object.h"

class KvMapStringToString : public CObject {
    DECLARE_DYNCREATE(KvMapStringToString)

public:
    explicit KvMapStringToString(int blockSize = 10) : m_table(blockSize) {}
    KvMapStringToString(const KvMapStringToString& other);
    KvMapStringToString& operator=(const KvMapStringToString& other);
    ~KvMapStringToString() override = default;

    int GetCount() const { return m_table.GetCount(); }
    int GetSize() const { return m_table.GetCount(); }
    bool IsEmpty() const { return m_table.GetCount() == 0; }

    bool Lookup(const char* key, CString& value) const;
    // The stored value without a copy; null when absent.
    const CString* PLookup(const char* key) const;
    // The key as stored (valid until the entry is removed).
    bool LookupKey(const char* key, const char*& storedKey) const;
    bool LookupKey(const char* key, CString& storedKey) const;
    // The value for key, created empty when missing.
    CString& operator[](const char* key);
    bool SetAt(const char* key, const CString& value);
    bool RemoveKey(const char* key);
    void RemoveAll() { m_table.Clear(); }

    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& pos, CString& key, CString& value) const;

    UINT GetHashTableSize() const { return m_table.GetHashTableSize(); }
    bool InitHashTable(UINT size, bool allocateNow = true) { return m_table.InitHashTable(size, allocateNow); }
    // Replaces the contents with the other map's entries.
    bool Copy(const KvMapStringToString& other);

    // The count, then each key and value.
    void Serialize(CArchive& ar) override;
    // Lines of "key<TAB>value" (leading white space of each field skipped;
    // lines without a key ignored). The map is emptied first; false when
    // the file cannot be read.
    bool LoadText(const char* path);
    // Writes one "key<TAB>value" line (CR LF) per entry, replacing the file
    // atomically.
    bool SaveText(const char* path) const;

private:
    using Core = KvStrHashCore<CString>;
    Core m_table;
};

class KvMapStringToObject : public CObject {
    DECLARE_DYNCREATE(KvMapStringToObject)

public:
    explicit KvMapStringToObject(int blockSize = 10) : m_table(blockSize) {}
    // Copies hold clones of the other map's values.
    KvMapStringToObject(const KvMapStringToObject& other);
    KvMapStringToObject& operator=(const KvMapStringToObject& other);
    ~KvMapStringToObject() override;

    virtual void DestroyObject(KvObject* p);

    int GetCount() const { return m_table.GetCount(); }
    int GetSize() const { return m_table.GetCount(); }
    bool IsEmpty() const { return m_table.GetCount() == 0; }

    bool Lookup(const char* key, KvObject*& value) const;
    bool LookupKey(const char* key, const char*& storedKey) const;
    bool LookupKey(const char* key, CString& storedKey) const;
    // The slot for key, created null when missing. Storing through it
    // does not destroy the previous value.
    KvObject*& operator[](const char* key);
    // Stores value under key, destroying a different previous value.
    bool SetAt(const char* key, KvObject* value);
    bool RemoveKey(const char* key);
    void RemoveAll(bool destroyValues = true);

    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& pos, CString& key, KvObject*& value) const;

    UINT GetHashTableSize() const { return m_table.GetHashTableSize(); }
    bool InitHashTable(UINT size, bool allocateNow = true) { return m_table.InitHashTable(size, allocateNow); }
    // Replaces the contents with clones of the other map's values.
    bool Copy(const KvMapStringToObject& other);

    // The count, then each key and object (by class).
    void Serialize(CArchive& ar) override;

private:
    using Core = KvStrHashCore<KvObject*>;
    Core m_table;
};
