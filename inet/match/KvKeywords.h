// KvKeywords: a small ordered set of distinct lower-case keywords, built
// from comma-separated text ("Foo, bar,foo" holds "foo" and "bar").
#pragma once

#include <string>
#include <unordered_set>

#include "base/containers/CsList.h"
#include "base/platform/CString.h"

class KvKeywords {
public:
    KvKeywords() = default;
    explicit KvKeywords(const char* text) { AddList(text); }
    KvKeywords(const KvKeywords& other) = default;
    KvKeywords& operator=(const KvKeywords& other) = default;
    // Union: the other's keywords that are new here are appended in order.
    KvKeywords& operator+=(const KvKeywords& other);

    // Trims and lower-cases keyword and appends it unless it is empty or
    // already present.
    void Add(const char* keyword);
    // Adds every comma-separated piece of text; empty pieces are skipped.
    void AddList(const char* text);
    // Empties the set, then AddList.
    void SetList(const char* text);
    void RemoveAll() {
        m_lstKeyword.RemoveAll();
        m_seen.clear();
    }

    // The keywords joined by ", ".
    CString AsString() const;
    int GetCount() const { return m_lstKeyword.Size(); }
    bool IsEmpty() const { return m_lstKeyword.IsEmpty(); }
    bool Contains(const char* keyword) const;
    const CsStrList& GetList() const { return m_lstKeyword; }

private:
    CsStrList m_lstKeyword;  // lower-case, distinct, in insertion order
    // The same keywords, so that adding one stays constant-time: page texts
    // may hold very many.
    std::unordered_set<std::string> m_seen;
};
