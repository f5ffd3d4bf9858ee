// KvMatchList: loading, saving and preparing the list; matching through
// the index (and, for reference, item by item).
#include "inet/match/KvMatchList.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "base/platform/FileIo.h"

IMPLEMENT_DYNCREATE(KvMatchListItem, KvObject)
IMPLEMENT_DYNCREATE(KvMatchList, CObject)

namespace {

// Options of every list expression: case-insensitive, multi-line; machine
// code only for the lines that are run often (a list may hold tens of
// thousands of lines).
constexpr int kListOptions = TQ_REGEX_ICASE | TQ_REGEX_MULTILINE | TQ_REGEX_JIT_WHEN_HOT;

// The product's own entries; a function-local object so that a library
// that sets them while it is being loaded finds it made.
std::vector<CString>& KavoriItems() {
    static std::vector<CString> items;
    return items;
}

}  // namespace

// ---- KvMatchListItem --------------------------------------------------------

int KvMatchListItem::Compare(const KvObject& other) const {
    const KvMatchListItem* item = dynamic_cast<const KvMatchListItem*>(&other);
    return item ? m_strPattern.Compare(item->m_strPattern) : 0;
}

void KvMatchListItem::Copy(const KvObject& other, int) {
    const KvMatchListItem* item = dynamic_cast<const KvMatchListItem*>(&other);
    if (!item || item == this) return;
    m_strPattern = item->m_strPattern;
    m_regex.Share(item->m_regex);
    m_bCompiled = item->m_bCompiled;
}

KvObject* KvMatchListItem::Clone() const { return new (std::nothrow) KvMatchListItem(*this); }

int KvMatchListItem::Compile() {
    std::string regex = KvWildcardToRegex(m_strPattern);
    m_bCompiled = m_regex.SetExp(regex.c_str(), kListOptions);
    return m_bCompiled;
}

// ---- KvMatchList ------------------------------------------------------------

void KvMatchList::RemoveAll() {
    m_index.Clear();
    m_lstItem.RemoveAll();
}

int KvMatchList::LoadFile(const char* path) {
    RemoveAll();
    std::string content;
    if (!path || !KvReadWholeFile(path, content)) return FALSE;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        CString line(content.data() + pos, (int)(end - pos));
        pos = end + 1;
        line.Trim();
        if (line.IsEmpty()) continue;
        KvMatchListItem* item = new (std::nothrow) KvMatchListItem(line);
        if (item && !m_lstItem.AddTail(item)) delete item;
    }
    return TRUE;
}

int KvMatchList::SaveFile(const char* path) {
    if (!path) return FALSE;
    std::string native = KvNativePath(path);
    if (m_lstItem.IsEmpty()) {
        std::remove(native.c_str());
        return TRUE;
    }
    std::string content;
    for (POSITION pos = m_lstItem.GetHeadPosition(); pos;) {
        const KvMatchListItem* item = static_cast<const KvMatchListItem*>(m_lstItem.GetNext(pos));
        if (!item) continue;
        content += item->m_strPattern.str();
        content += "\r\n";
    }
    return KvWriteFileAtomic(native.c_str(), content.data(), content.size()) ? TRUE : FALSE;
}

int KvMatchList::InitTheList() {
    std::vector<KvMatchIndex::Entry> entries;
    entries.reserve((size_t)m_lstItem.GetCount());
    for (POSITION pos = m_lstItem.GetHeadPosition(); pos;) {
        KvMatchListItem* item = static_cast<KvMatchListItem*>(m_lstItem.GetNext(pos));
        if (item && item->Compile()) entries.push_back({item->m_regex.GetProgram(), item->m_strPattern.str()});
    }
    m_index.Build(std::move(entries));
    return TRUE;
}

int KvMatchList::IsMatch(const char* text, CString* matchedPattern) const {
    if (!text) text = "";
    int found = m_index.FindFirst(text, std::strlen(text));
    if (found < 0) return FALSE;
    if (matchedPattern) *matchedPattern = m_index.At(found).pattern;
    return TRUE;
}

int KvMatchList::IsMatchLinear(const char* text, CString* matchedPattern) const {
    if (!text) text = "";
    for (POSITION pos = m_lstItem.GetHeadPosition(); pos;) {
        const KvMatchListItem* item = static_cast<const KvMatchListItem*>(m_lstItem.GetNext(pos));
        if (!item || !item->m_bCompiled || !item->m_regex.IsMatch(text)) continue;
        if (matchedPattern) *matchedPattern = item->m_strPattern;
        return TRUE;
    }
    return FALSE;
}

void KvMatchList::SetKavoriItems(const std::vector<CString>& patterns) { KavoriItems() = patterns; }

const std::vector<CString>& KvMatchList::GetKavoriItems() { return KavoriItems(); }

void KvMatchList::AddKavoriItems() {
    for (const CString& pattern : KavoriItems()) {
        if (pattern.IsEmpty()) continue;
        KvMatchListItem* item = new (std::nothrow) KvMatchListItem(pattern);
        if (item && !m_lstItem.AddHead(item)) delete item;
    }
}
