// KvIniFile: the configuration-file reader and writer; KvIniSection: one
// "[name]" section with its entries in file order.
//
// Format: "[name]" starts a section, "key=value" adds an entry (both
// trimmed of blanks), a line whose first non-blank byte is ";" is a
// comment kept verbatim in the current section. Section names and keys compare without letter
// case; the first match wins (duplicates are kept as read). Values are
// kept as written: no quotes, no escapes. Lines end in CR, LF, CR LF or
// LF CR when read and in CR LF when written.
//
// Not thread-safe: the owner guards a shared object.
#pragma once

#include <cstddef>

#include "base/containers/CsList.h"
#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "base/str/CsString.h"

class KvIniSection {
public:
    explicit KvIniSection(const char* name) : m_strName(name) {}
    KvIniSection(const KvIniSection&) = delete;
    KvIniSection& operator=(const KvIniSection&) = delete;

    const char* GetName() const { return m_strName.GetStr(); }

    // Replaces the value of the first entry with this key or appends an
    // entry. False for an empty key, a key holding "=", "[" or a line
    // break or starting with ";", or a value holding "[" or a line break
    // (the file could not hold them).
    bool SetValue(const char* key, const char* text);
    bool SetValue(const char* key, int value);  // "%d"
    // The value of the first entry with this key (never a comment), or null.
    const char* GetValue(const char* key) const;
    // atoi of the value; 0 when missing or empty.
    int GetIntValue(const char* key) const;
    // Appends a comment line (written back verbatim); false for a line break.
    bool AddComment(const char* text);

    // Entries in file order; a comment has an empty key and its line as value.
    const CsStrMap& GetEntries() const { return m_entries; }
    KvIniSection* GetNext() const { return m_pNext; }

private:
    friend class KvIniFile;
    CsStrMapItem* FindEntry(const char* key) const;

    CsString m_strName;
    CsStrMap m_entries;
    KvIniSection* m_pNext = nullptr;
};

class KvIniFile : public CObject {
    DECLARE_DYNCREATE(KvIniFile)
public:
    KvIniFile() = default;
    KvIniFile(const KvIniFile&) = delete;
    KvIniFile& operator=(const KvIniFile&) = delete;
    ~KvIniFile() override { Reset(); }

    // Replaces the contents with the file's. False (and empty) when the
    // file cannot be read or is larger than KV_INI_MAX_SIZE.
    bool Load(const char* path);
    // The same from text in memory (any bytes).
    void LoadFromText(const char* data, size_t size);
    // Writes every section; an object without sections writes nothing and
    // returns true. The file is replaced whole (temporary file + rename).
    bool Save(const char* path) const;
    // The text Save writes.
    CString SaveToText() const;

    // Removes all sections.
    void Reset();
    // Appends a section; with reuse an existing one of that name is
    // returned instead. Null for an empty or blank name or one holding "]"
    // or a line break.
    KvIniSection* AddSection(const char* name, bool reuse = true);
    // The first section of that name, ignoring case; null when none.
    KvIniSection* FindSection(const char* name) const;
    // Removes the first section of that name; false when none.
    bool RemoveSection(const char* name);
    KvIniSection* GetFirstSection() const { return m_pHead; }

    // Finds or appends the section, then sets the entry. False for a null
    // section name and for what KvIniSection::SetValue refuses.
    bool SetValue(const char* section, const char* key, const char* text);
    bool SetValue(const char* section, const char* key, int value);
    // Null when the section or key is missing.
    const char* GetValue(const char* section, const char* key) const;
    int GetIntValue(const char* section, const char* key) const;

    static constexpr size_t KV_INI_MAX_SIZE = 64u << 20;

private:
    KvIniSection* m_pHead = nullptr;
    KvIniSection* m_pTail = nullptr;
};
