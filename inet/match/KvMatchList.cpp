// KvMatchList: loading, saving and preparing the list; matching through
// the index (and, for reference, expression by expression).
#include "inet/match/KvMatchList.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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

// Lists at least this long give the memory of their preparation back.
constexpr int kTrimAfter = 10000;

// Preparing a long list frees megabytes of scratch memory in pieces the
// allocator keeps for itself; they go back to the system at once, so that
// a block list of a few hundred thousand lines does not keep them.
void ReturnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

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

KvMatchList::KvMatchList() : m_lstItem(10), m_index(kListOptions) {}

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
    m_index.Clear();
    size_t patternBytes = 0;
    for (POSITION pos = m_lstItem.GetHeadPosition(); pos;)
        if (const KvObject* item = m_lstItem.GetNext(pos))
            patternBytes += static_cast<const KvMatchListItem*>(item)->m_strPattern.str().size();
    m_index.Reserve((size_t)m_lstItem.GetCount(), patternBytes);
    for (POSITION pos = m_lstItem.GetHeadPosition(); pos;) {
        KvMatchListItem* item = static_cast<KvMatchListItem*>(m_lstItem.GetNext(pos));
        if (!item) continue;
        if (m_index.AddWildcardLine(item->m_strPattern.view())) {
            item->m_regex.Free();
            item->m_bCompiled = TRUE;
        } else if (item->Compile()) {
            m_index.Add(item->m_strPattern.view(), item->m_regex.GetProgram());
        }
    }
    m_index.Finish();
    if (m_lstItem.GetCount() >= kTrimAfter) ReturnFreedMemory();
    return TRUE;
}

int KvMatchList::IsMatch(const char* text, CString* matchedPattern) const {
    if (!text) text = "";
    int found = m_index.FindFirst(text, std::strlen(text));
    if (found < 0) return FALSE;
    if (matchedPattern) *matchedPattern = CString(m_index.PatternAt(found));
    return TRUE;
}

int KvMatchList::IsMatchLinear(const char* text, CString* matchedPattern) const {
    if (!text) text = "";
    int found = m_index.FindFirstByEngine(text, std::strlen(text));
    if (found < 0) return FALSE;
    if (matchedPattern) *matchedPattern = CString(m_index.PatternAt(found));
    return TRUE;
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
