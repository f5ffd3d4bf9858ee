// KvIniFile and KvIniSection: reading, writing and looking up entries.
#include "base/file/KvIniFile.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "base/platform/FileIo.h"

IMPLEMENT_DYNCREATE(KvIniFile, CObject)

namespace {

bool HasLineBreak(const char* s) { return s && std::strpbrk(s, "\r\n"); }

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\v\f";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return std::string_view();
    size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

// A line whose first non-blank byte is ";" is a comment.
bool IsCommentLine(std::string_view line) {
    std::string_view t = Trim(line);
    return !t.empty() && t[0] == ';';
}

bool SameName(const char* a, const char* b) { return strcasecmp(a ? a : "", b ? b : "") == 0; }

}  // namespace

// ---- KvIniSection ------------------------------------------------------------

CsStrMapItem* KvIniSection::FindEntry(const char* key) const {
    if (!key || !*key) return nullptr;
    return m_entries.FindFirst([key](CsStrMapItem* item) { return !item->m_key.IsEmpty() && SameName(item->GetKey(), key); });
}

bool KvIniSection::SetValue(const char* key, const char* text) {
    // A line holding "[" never reads back as an entry, nor one whose first
    // non-blank byte is ";" (a comment), so such keys and values are refused.
    if (!key || !*key || std::strpbrk(key, "=[\r\n") || IsCommentLine(key)) return false;
    if (HasLineBreak(text) || (text && std::strchr(text, '['))) return false;
    if (CsStrMapItem* item = FindEntry(key)) return item->m_value.Set(text ? text : "");
    return m_entries.AddTail(key, text ? text : "");
}

bool KvIniSection::SetValue(const char* key, int value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", value);
    return SetValue(key, digits);
}

const char* KvIniSection::GetValue(const char* key) const {
    CsStrMapItem* item = FindEntry(key);
    return item ? item->GetValue() : nullptr;
}

int KvIniSection::GetIntValue(const char* key) const {
    const char* value = GetValue(key);
    return value ? std::atoi(value) : 0;
}

bool KvIniSection::AddComment(const char* text) {
    if (HasLineBreak(text)) return false;
    return m_entries.AddTail("", text ? text : "");
}

// ---- KvIniFile: sections ---------------------------------------------------------

void KvIniFile::Reset() {
    while (m_pHead) {
        KvIniSection* next = m_pHead->m_pNext;
        delete m_pHead;
        m_pHead = next;
    }
    m_pTail = nullptr;
}

KvIniSection* KvIniFile::AddSection(const char* name, bool reuse) {
    // A name of blanks only would be read back as no section at all.
    if (!name || Trim(name).empty() || std::strpbrk(name, "]\r\n")) return nullptr;
    if (reuse) {
        if (KvIniSection* existing = FindSection(name)) return existing;
    }
    KvIniSection* section = new (std::nothrow) KvIniSection(name);
    if (!section || std::strcmp(section->GetName(), name) != 0) {
        delete section;
        return nullptr;
    }
    if (m_pTail)
        m_pTail->m_pNext = section;
    else
        m_pHead = section;
    m_pTail = section;
    return section;
}

KvIniSection* KvIniFile::FindSection(const char* name) const {
    if (!name) return nullptr;
    for (KvIniSection* s = m_pHead; s; s = s->m_pNext) {
        if (SameName(s->GetName(), name)) return s;
    }
    return nullptr;
}

bool KvIniFile::RemoveSection(const char* name) {
    KvIniSection* previous = nullptr;
    for (KvIniSection* s = m_pHead; s; previous = s, s = s->m_pNext) {
        if (!SameName(s->GetName(), name)) continue;
        (previous ? previous->m_pNext : m_pHead) = s->m_pNext;
        if (m_pTail == s) m_pTail = previous;
        delete s;
        return true;
    }
    return false;
}

// ---- KvIniFile: values -------------------------------------------------------------

bool KvIniFile::SetValue(const char* section, const char* key, const char* text) {
    if (!section) return false;
    KvIniSection* s = AddSection(section, true);
    return s && s->SetValue(key, text);
}

bool KvIniFile::SetValue(const char* section, const char* key, int value) {
    if (!section) return false;
    KvIniSection* s = AddSection(section, true);
    return s && s->SetValue(key, value);
}

const char* KvIniFile::GetValue(const char* section, const char* key) const {
    KvIniSection* s = FindSection(section);
    return s ? s->GetValue(key) : nullptr;
}

int KvIniFile::GetIntValue(const char* section, const char* key) const {
    KvIniSection* s = FindSection(section);
    return s ? s->GetIntValue(key) : 0;
}

// ---- reading -----------------------------------------------------------------------

bool KvIniFile::Load(const char* path) {
    Reset();
    if (!path || !*path) return false;
    long long size = KvFileSize(path);
    if (size > (long long)KV_INI_MAX_SIZE) return false;
    std::string data;
    if (!KvReadWholeFile(path, data) || data.size() > KV_INI_MAX_SIZE) return false;
    LoadFromText(data.data(), data.size());
    return true;
}

void KvIniFile::LoadFromText(const char* data, size_t size) {
    Reset();
    std::string line;
    KvIniSection* current = nullptr;
    size_t i = 0;
    while (i < size) {
        // One line: up to the next CR or LF. Empty lines (and so the second
        // byte of a CR LF or LF CR pair) are skipped below.
        line.clear();
        for (; i < size && data[i] != '\r' && data[i] != '\n'; ++i) {
            if (data[i] != '\0') line += data[i];  // a zero byte would cut the text
        }
        ++i;
        if (line.empty()) continue;

        if (IsCommentLine(line)) {
            if (current) current->m_entries.AddTail("", line.c_str());
            continue;
        }
        size_t open = line.find('[');
        if (open != std::string::npos) {
            size_t close = line.find(']', open + 1);
            if (close == std::string::npos) continue;
            std::string name(Trim(std::string_view(line).substr(open + 1, close - open - 1)));
            if (name.empty()) continue;
            KvIniSection* section = AddSection(name.c_str(), false);
            if (!section) return;  // out of memory: keep what was read
            current = section;
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos || !current) continue;
        std::string key(Trim(std::string_view(line).substr(0, eq)));
        std::string value(Trim(std::string_view(line).substr(eq + 1)));
        // An entry without a key could not be found and would be written
        // back as a bare line (a comment or even a section): drop it.
        if (key.empty()) continue;
        current->m_entries.AddTail(key.c_str(), value.c_str());
    }
}

// ---- writing -----------------------------------------------------------------------

CString KvIniFile::SaveToText() const {
    std::string text;
    for (KvIniSection* s = m_pHead; s; s = s->m_pNext) {
        text += '[';
        text += s->GetName();
        text += "]\r\n";
        for (CsStrMapItem* e = s->m_entries.Head(); e; e = e->Next()) {
            if (!e->m_key.IsEmpty()) {
                text += e->GetKey();
                text += '=';
            }
            text += e->GetValue();
            text += "\r\n";
        }
        text += "\r\n";
    }
    return CString(std::move(text));
}

bool KvIniFile::Save(const char* path) const {
    if (!m_pHead) return true;
    if (!path || !*path) return false;
    CString text = SaveToText();
    return KvWriteFileAtomic(path, text.c_str(), (size_t)text.GetLength());
}
