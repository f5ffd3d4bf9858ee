// KvMatchList: a list of wildcard patterns loaded from a text file (white
// list, black list, no-cache list, pop-up filter) and tested against URLs.
//
// File format: one pattern per line; lines are trimmed and empty ones
// skipped; no comments. A pattern becomes an expression by turning "." into
// "\.", "?" into "\?" and "*" into "(.*)"; every other character keeps its
// expression meaning. Matching is case-insensitive, multi-line and not
// anchored.
//
// Lifecycle: LoadFile (items uncompiled), InitTheList (compiles and builds
// the index), then IsMatch any number of times from any number of threads.
// Changes to the list after InitTheList (AddKavoriItems, edits through
// GetTheList) take effect at the next InitTheList; reloading while other
// threads match is not supported.
#pragma once

#include <vector>

#include "base/containers/KvObject.h"
#include "base/containers/KvObjectList.h"
#include "base/platform/CString.h"
#include "inet/match/KvMatchIndex.h"
#include "inet/match/TqRegex.h"

class KvMatchListItem : public KvObject {
    DECLARE_DYNCREATE(KvMatchListItem)

public:
    KvMatchListItem() = default;
    explicit KvMatchListItem(const char* pattern) : m_strPattern(pattern) {}
    KvMatchListItem(const KvMatchListItem& other) : KvObject() { Copy(other, 0); }

    int Compare(const KvObject& other) const override;
    // Copies the pattern and shares the compiled form.
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override;

    // Converts the pattern and compiles it; sets and returns m_bCompiled.
    int Compile();

    CString m_strPattern;  // the wildcard pattern as written in the file
    // The compiled form. InitTheList leaves it empty for lines of plain text
    // joined by "*" (nearly every line of a block list): the list decides
    // them without it and compiles them itself when a text needs it.
    TqRegex m_regex;
    int m_bCompiled = 0;   // the line is usable (its expression compiles); 0 until InitTheList
};

class KvMatchList : public CObject {
    DECLARE_DYNCREATE(KvMatchList)

public:
    KvMatchList();
    ~KvMatchList() override = default;
    KvMatchList(const KvMatchList&) = delete;
    KvMatchList& operator=(const KvMatchList&) = delete;

    // Empties the list and appends one uncompiled item per non-empty line.
    // FALSE (and an empty list) when the file cannot be read.
    int LoadFile(const char* path);
    // Replaces the file with every pattern followed by CR LF; an empty list
    // deletes the file. FALSE when the file cannot be written.
    int SaveFile(const char* path);
    // Compiles every item (plain lines on demand) and prepares the index. TRUE.
    int InitTheList();
    // TRUE when an item compiled by the last InitTheList matches text (a
    // null text counts as empty); matchedPattern receives the first such
    // item's pattern, in list order.
    int IsMatch(const char* text, CString* matchedPattern = nullptr) const;
    // The same answer by running the expression of every item compiled by
    // the last InitTheList in turn (reference and benchmark).
    int IsMatchLinear(const char* text, CString* matchedPattern = nullptr) const;
    void RemoveAll();
    KvObjectList& GetTheList() { return m_lstItem; }
    const KvObjectList& GetTheList() const { return m_lstItem; }
    // Puts the product's own entries at the front (uncompiled), each before
    // the one inserted earlier. The proxy gives its portal's entries with
    // SetKavoriItems (proxy/web/KvPortalHosts.h); none until then.
    void AddKavoriItems();
    // The patterns AddKavoriItems inserts, in insertion order. Start-up
    // only: lists being prepared on other threads read them unlocked.
    static void SetKavoriItems(const std::vector<CString>& patterns);
    static const std::vector<CString>& GetKavoriItems();

    // Figures for diagnostics and the benchmark.
    const KvMatchIndex& GetIndex() const { return m_index; }

protected:
    KvObjectList m_lstItem;  // owns its KvMatchListItem objects, in file order
    KvMatchIndex m_index;    // the compiled items of the last InitTheList
};
