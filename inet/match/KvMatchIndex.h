// KvMatchIndex: finds the first expression of a long list that matches a
// text without running every expression.
//
// Every expression of the list is examined for literal runs that any match
// must contain (compared without case). Each expression is filed under one
// short piece (up to four bytes) of such a run, chosen to be rare among the
// list's pieces; expressions without a usable run are filed as "always". A
// text is lower-cased once, its pieces are looked up, and the expressions
// found there (plus the "always" ones) are checked in list order: first the
// cheap test that all their runs occur in the text, then the expression
// itself. The first one that matches wins, exactly as a plain walk down the
// list would decide.
//
// Built once, then read-only: any number of threads may call FindFirst at
// the same time (scratch memory is per thread).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inet/match/TqRegex.h"

// Turns a wildcard pattern into an expression: "." becomes "\.", "?"
// becomes "\?" and "*" becomes "(.*)"; every other byte passes unchanged.
std::string KvWildcardToRegex(const char* wildcard);

// Literal runs (lower-cased) that every match of the expression contains
// when it is compiled case-insensitive and multi-line. False when the
// expression uses constructs this reader does not follow (alternation at
// the top, inline options, verbs, most escapes with letters): then nothing
// can be said and the expression must be tried on every text.
bool KvRequiredLiterals(const char* regex, std::vector<std::string>& runs);

// True when the expression is nothing but literal runs joined by "(.*)" (or
// ".*"), as every wildcard pattern without other expression characters is;
// runs receives them in order, lower-cased. Such an expression matches a
// text without line breaks exactly when the runs occur in it in order
// without overlapping (compared without case), so no expression engine is
// needed to decide it.
bool KvPlainSequence(const char* regex, std::vector<std::string>& runs);

class KvMatchIndex {
public:
    struct Entry {
        TqRegexProgramPtr program;  // compiled expression (shared)
        std::string pattern;        // what the list reports on a match
    };

    KvMatchIndex() = default;
    KvMatchIndex(const KvMatchIndex&) = delete;
    KvMatchIndex& operator=(const KvMatchIndex&) = delete;

    // Replaces the content; entries are in list order, programs non-null.
    void Build(std::vector<Entry> entries);
    void Clear();

    // Position of the first entry that matches text[0..len), or -1.
    int FindFirst(const char* text, size_t len) const;
    const Entry& At(int i) const { return m_entries[(size_t)i]; }
    int GetCount() const { return (int)m_entries.size(); }

    // Figures for the benchmark: entries tried on every text, and the
    // approximate memory held by the index itself (not the programs).
    size_t GetAlwaysCount() const { return m_always.size(); }
    size_t GetMemoryBytes() const;

private:
    struct Slot {
        uint64_t key = 0;  // 0: empty
        uint32_t first = 0;
        uint32_t count = 0;
    };
    // How an entry is decided once it is a candidate.
    enum class Kind : uint8_t {
        Plain,     // runs in order decide it (the expression runs only on texts with line breaks)
        Filtered,  // all runs must occur; then the expression decides
        Opaque,    // the expression decides
    };
    struct EntryInfo {
        uint32_t firstRun = 0;  // into m_runOffsets (pairs)
        uint16_t runCount = 0;
        Kind kind = Kind::Opaque;
        bool repeat = false;  // the same expression as an earlier entry
    };

    void AnalyseEntries(std::vector<uint64_t>& pieces, std::vector<uint32_t>& firstPiece);
    void SkipRepeats();
    void AddRuns(EntryInfo& info, const std::vector<std::string>& runs);
    void BuildTable(const std::vector<uint64_t>& keyOf);
    const Slot* Lookup(uint64_t key) const;
    bool RunsPresent(const EntryInfo& info, const std::string& lowered) const;
    bool RunsInOrder(const EntryInfo& info, const std::string& lowered) const;
    bool Decide(uint32_t i, const char* text, size_t len, const std::string& lowered, bool lineBreaks) const;
    void CollectCandidates(const std::string& lowered, size_t len, std::vector<uint32_t>& out) const;

    std::vector<Entry> m_entries;
    std::vector<EntryInfo> m_info;
    std::vector<uint32_t> m_runOffsets;  // pairs (offset, length) into m_runText
    std::string m_runText;
    std::vector<uint32_t> m_always;      // entries tried on every text, ascending
    std::vector<Slot> m_table;           // open addressing, power-of-two size
    std::vector<uint32_t> m_postings;    // entry numbers, ascending per slot
    std::vector<uint64_t> m_filter;      // one bit per hash bucket of a piece in use
    unsigned m_lengths = 0;              // bit L set: pieces of L bytes are in use
};
