#include "inet/match/KvKeywords.h"

#include "base/str/KvString.h"

KvKeywords& KvKeywords::operator+=(const KvKeywords& other) {
    if (&other == this) return *this;
    other.m_lstKeyword.ForEach([this](CsStrListItem* item) { Add(item->GetStr()); });
    return *this;
}

void KvKeywords::Add(const char* keyword) {
    KvString word(keyword);
    word.Trim();
    if (word.IsEmpty()) return;
    word.MakeLower();
    if (m_seen.insert(word.str()).second) m_lstKeyword.AddTail(word);
}

// Every piece counts, also after an empty one: "a,,b" and "a, ,b" keep b.
void KvKeywords::AddList(const char* text) {
    KvString list(text);
    int pos = 0;
    while (pos < list.GetLength()) Add(list.GetToken(pos, ','));
}

void KvKeywords::SetList(const char* text) {
    RemoveAll();
    AddList(text);
}

bool KvKeywords::Contains(const char* keyword) const {
    KvString word(keyword);
    word.Trim();
    word.MakeLower();
    return !word.IsEmpty() && m_seen.count(word.str()) != 0;
}

CString KvKeywords::AsString() const {
    CString out;
    m_lstKeyword.ForEach([&out](CsStrListItem* item) {
        if (!out.IsEmpty()) out += ", ";
        out += item->GetStr();
    });
    return out;
}
