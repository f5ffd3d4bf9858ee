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
// Memory: block lists hold a few hundred thousand lines, nearly all of them
// literal text joined by "*". Such a line is decided by its runs alone on
// any text without line breaks, so the index keeps no compiled expression
// for it: it compiles one from the pattern the first time a text needs it.
// Patterns and runs are kept in shared arenas rather than one string each.
//
// Building: Reserve (optional), Add / AddWildcardLine per entry in list
// order, then Finish. Afterwards read-only: any number of threads may call
// FindFirst and FindFirstByEngine at the same time (scratch memory is per
// thread; expressions compiled on demand are published under a lock).
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
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
    // wildcardOptions: the TqRegex options of the expressions compiled on
    // demand for AddWildcardLine entries.
    explicit KvMatchIndex(int wildcardOptions = TQ_REGEX_ICASE | TQ_REGEX_MULTILINE)
        : m_wildcardOptions(wildcardOptions) {}
    KvMatchIndex(const KvMatchIndex&) = delete;
    KvMatchIndex& operator=(const KvMatchIndex&) = delete;
    ~KvMatchIndex();

    void Clear();
    // Room for this many entries and pattern bytes (saves regrowing).
    void Reserve(size_t entries, size_t patternBytes);
    // Appends an entry: the pattern reported on a match and its compiled
    // expression (non-null).
    void Add(std::string_view pattern, TqRegexProgramPtr program);
    // Appends a wildcard line whose expression is plain literal text joined
    // by "(.*)" and so certain to compile; it is compiled only when a text
    // needs the engine. False (nothing added) for any other line: the
    // caller compiles it and uses Add.
    bool AddWildcardLine(std::string_view pattern);
    // Files the entries; call once after the last Add.
    void Finish();

    // Position of the first entry that matches text[0..len), or -1.
    int FindFirst(const char* text, size_t len) const;
    // The same answer by running every entry's expression in turn
    // (reference and benchmark; compiles every deferred expression).
    int FindFirstByEngine(const char* text, size_t len) const;
    std::string_view PatternAt(int i) const;
    int GetCount() const { return (int)m_patternEnd.size(); }

    // Figures for the benchmark: entries tried on every text, the
    // approximate memory held by the index itself (not the compiled
    // expressions), and how many expressions are compiled.
    size_t GetAlwaysCount() const { return m_always.size(); }
    size_t GetMemoryBytes() const;
    size_t GetCompiledCount() const;

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

    // Marks a run offset as one into m_patternText (a run of a lower-case
    // wildcard line is a piece of the line itself).
    static constexpr uint32_t kRunInPattern = 1u << 31;

    EntryInfo& Append(std::string_view pattern, size_t hash, const TqRegexProgram* program);
    void Analyse(EntryInfo& info, const char* regex);
    void AddRuns(EntryInfo& info, const std::vector<std::string>& runs);
    void SplitAtStars(EntryInfo& info, size_t begin, size_t end);
    const char* RunAt(uint32_t r) const {
        uint32_t offset = m_runOffsets[2 * r];
        return offset & kRunInPattern ? m_patternText.data() + (offset & ~kRunInPattern) : m_runText.data() + offset;
    }
    std::string RegexOf(uint32_t i) const;
    void MarkRepeats();
    void EntryPieces(uint32_t i, std::vector<uint64_t>& out) const;
    std::vector<uint64_t> ChooseKeys() const;
    void BuildTable(const std::vector<uint64_t>& keyOf);
    const Slot* Lookup(uint64_t key) const;
    bool RunsPresent(const EntryInfo& info, const std::string& lowered) const;
    bool RunsInOrder(const EntryInfo& info, const std::string& lowered) const;
    const TqRegexProgram* ProgramOf(uint32_t i) const;
    bool EngineMatches(uint32_t i, const char* text, size_t len) const;
    bool Decide(uint32_t i, const char* text, size_t len, const std::string& lowered, bool lineBreaks) const;
    void CollectCandidates(const std::string& lowered, size_t len, std::vector<uint32_t>& out) const;

    int m_wildcardOptions;
    std::string m_patternText;           // every pattern, one after the other
    std::vector<uint32_t> m_patternEnd;  // entry i: [end(i - 1), end(i)) of m_patternText
    // Entry i's compiled expression; null until compiled on demand. Read
    // and written through atomic references once the index is finished.
    mutable std::vector<const TqRegexProgram*> m_programs;
    mutable std::vector<TqRegexProgramPtr> m_owned;  // keeps the programs alive
    mutable std::mutex m_compileLock;                // guards m_owned after Finish
    // While building: to find repeated expressions; equal expressions have
    // equal values (the hash of the expression, or of a deferred line).
    std::vector<uint64_t> m_sourceHash;

    std::vector<EntryInfo> m_info;
    std::vector<uint32_t> m_runOffsets;  // pairs (offset, length): see RunAt
    std::string m_runText;
    std::vector<uint32_t> m_always;      // entries tried on every text, ascending
    std::vector<Slot> m_table;           // open addressing, power-of-two size
    std::vector<uint32_t> m_postings;    // entry numbers, ascending per slot
    std::vector<uint64_t> m_filter;      // one bit per hash bucket of a piece in use
    unsigned m_lengths = 0;              // bit L set: pieces of L bytes are in use
};
