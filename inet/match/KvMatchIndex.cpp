// KvMatchIndex: taking the entries in and building the piece table.
#include "inet/match/KvMatchIndex.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "inet/match/KvMatchIndexPieces.h"

using namespace kvmatch;

namespace {

constexpr size_t kRunsChecked = 3;  // longest runs tested before the expression

// Longest wildcard line whose expression is compiled on demand: far below
// the sizes at which the engine refuses an expression (compiled length,
// number of groups).
constexpr size_t kLongestDeferredLine = 1024;

// Bytes a deferred wildcard line may hold: printable ASCII without the
// expression characters that the wildcard conversion leaves in place (so
// the expression is literal text joined by "(.*)").
bool IsPlainWildcardByte(char c) {
    return c >= 0x20 && c <= 0x7E && !std::strchr("\\^$[]|(){}+", c);
}

// Pieces that almost every URL contains: an expression filed under one of
// them would be a candidate for every text, so they are chosen last.
const char* const kCommonPieces[] = {
    "http", "ttp:", "tp:/", "p://", "://",  "//",   "ttps", "tps:", "ps:/", "s://", "://w", "//ww",
    "/www", "www.", "www",  "ww.",  ".com", "com/", ".co",  "com",  ".net", "net/", ".org", "org/",
    "html", ".htm", "htm",  "tml",  "/",    ".",    "ht",   "tp",   "ww",   "w.",   ".c",   "co",
    ".gif", ".jpg", ".png", ".php", ".js",  ".css", "?id=", "&",    "=",    "?",    "-",    "_",
};
constexpr uint32_t kCommonPenalty = 1u << 20;

bool IsCommonPiece(uint64_t key) {
    static const std::vector<uint64_t> common = [] {
        std::vector<uint64_t> keys;
        for (const char* s : kCommonPieces) keys.push_back(PieceKey((const unsigned char*)s, std::strlen(s)));
        std::sort(keys.begin(), keys.end());
        return keys;
    }();
    return std::binary_search(common.begin(), common.end(), key);
}

// Counts how many entries could be filed under each piece; grows with the
// number of distinct pieces (open addressing, at most half full).
class PieceCounter {
public:
    PieceCounter() { Resize(4096); }
    void Add(uint64_t key) {
        if ((m_used + 1) * 2 > m_keys.size()) Resize(m_keys.size() * 2);
        size_t at = Find(key);
        if (!m_keys[at]) {
            m_keys[at] = key;
            ++m_used;
        }
        ++m_counts[at];
    }
    // Asks the memory for the slots of keys ahead of their use: an entry's
    // pieces are independent look-ups in a table larger than the caches.
    void Prefetch(const std::vector<uint64_t>& keys) const {
        size_t mask = m_keys.size() - 1;
        for (uint64_t key : keys) __builtin_prefetch(&m_keys[(size_t)(Mix(key) >> 32) & mask]);
    }
    uint32_t Count(uint64_t key) const {
        size_t at = Find(key);
        return m_keys[at] ? m_counts[at] : 0;
    }

private:
    size_t Find(uint64_t key) const {
        size_t mask = m_keys.size() - 1;
        size_t at = (size_t)(Mix(key) >> 32) & mask;
        while (m_keys[at] && m_keys[at] != key) at = (at + 1) & mask;
        return at;
    }
    void Resize(size_t size) {
        std::vector<uint64_t> keys(size, 0);
        std::vector<uint32_t> counts(size, 0);
        keys.swap(m_keys);
        counts.swap(m_counts);
        for (size_t k = 0; k < keys.size(); ++k) {
            if (!keys[k]) continue;
            size_t at = Find(keys[k]);
            m_keys[at] = keys[k];
            m_counts[at] = counts[k];
        }
    }

    std::vector<uint64_t> m_keys;  // 0: empty
    std::vector<uint32_t> m_counts;
    size_t m_used = 0;
};

// Gives a container's memory back (clear() keeps it).
template <typename T>
void Release(T& container) {
    T().swap(container);
}

}  // namespace

KvMatchIndex::~KvMatchIndex() = default;

void KvMatchIndex::Clear() {
    Release(m_patternText);
    Release(m_patternEnd);
    Release(m_programs);
    Release(m_owned);
    Release(m_sourceHash);
    Release(m_info);
    Release(m_runOffsets);
    Release(m_runText);
    Release(m_always);
    Release(m_table);
    Release(m_postings);
    Release(m_filter);
    m_lengths = 0;
}

void KvMatchIndex::Reserve(size_t entries, size_t patternBytes) {
    m_patternText.reserve(patternBytes);
    m_patternEnd.reserve(entries);
    m_programs.reserve(entries);
    m_sourceHash.reserve(entries);
    m_info.reserve(entries);
    m_runOffsets.reserve(2 * entries);
}

void KvMatchIndex::Add(std::string_view pattern, TqRegexProgramPtr program) {
    if (!program) return;
    std::string regex = TqRegexSource(*program);
    m_owned.push_back(std::move(program));
    Analyse(Append(pattern, std::hash<std::string>()(regex), m_owned.back().get()), regex.c_str());
}

bool KvMatchIndex::AddWildcardLine(std::string_view pattern) {
    if (pattern.size() > kLongestDeferredLine) return false;
    if (!std::all_of(pattern.begin(), pattern.end(), IsPlainWildcardByte)) return false;
    if (m_patternText.size() + pattern.size() >= kRunInPattern) return false;
    size_t begin = m_patternText.size();
    EntryInfo& info = Append(pattern, std::hash<std::string_view>()(pattern), nullptr);
    if (std::any_of(pattern.begin(), pattern.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
        Analyse(info, KvWildcardToRegex(std::string(pattern).c_str()).c_str());
    else
        SplitAtStars(info, begin, m_patternText.size());
    return true;
}

KvMatchIndex::EntryInfo& KvMatchIndex::Append(std::string_view pattern, size_t hash, const TqRegexProgram* program) {
    m_patternText.append(pattern);
    m_patternEnd.push_back((uint32_t)m_patternText.size());
    m_programs.push_back(program);
    m_sourceHash.push_back(hash);
    return m_info.emplace_back();
}

// The runs of a lower-case line of text joined by "*" are its pieces
// between the stars, read in place (what KvPlainSequence would give).
void KvMatchIndex::SplitAtStars(EntryInfo& info, size_t begin, size_t end) {
    info.kind = Kind::Plain;
    info.firstRun = (uint32_t)m_runOffsets.size() / 2;
    for (size_t at = begin; at < end;) {
        size_t star = m_patternText.find('*', at);
        if (star == std::string::npos || star > end) star = end;
        if (star > at) {
            m_runOffsets.push_back((uint32_t)at | kRunInPattern);
            m_runOffsets.push_back((uint32_t)(star - at));
            ++info.runCount;
        }
        at = star + 1;
    }
}

// How the entry is decided and the runs kept for the quick test.
void KvMatchIndex::Analyse(EntryInfo& info, const char* regex) {
    std::vector<std::string> runs;
    if (KvPlainSequence(regex, runs)) {
        info.kind = Kind::Plain;
    } else if (KvRequiredLiterals(regex, runs)) {
        info.kind = Kind::Filtered;
    } else {
        info.kind = Kind::Opaque;
        return;
    }
    AddRuns(info, runs);
}

// A plain entry keeps all its runs, in order; a filtered one its longest few.
void KvMatchIndex::AddRuns(EntryInfo& info, const std::vector<std::string>& runs) {
    std::vector<const std::string*> kept;
    for (const std::string& r : runs) kept.push_back(&r);
    if (info.kind == Kind::Filtered) {
        std::stable_sort(kept.begin(), kept.end(),
                         [](const std::string* a, const std::string* b) { return a->size() > b->size(); });
        if (kept.size() > kRunsChecked) kept.resize(kRunsChecked);
    }
    if (kept.size() > UINT16_MAX) {  // absurdly long line: let the expression decide
        info.kind = Kind::Opaque;
        kept.clear();
    }
    info.firstRun = (uint32_t)m_runOffsets.size() / 2;
    info.runCount = (uint16_t)kept.size();
    for (const std::string* r : kept) {
        m_runOffsets.push_back((uint32_t)m_runText.size());
        m_runOffsets.push_back((uint32_t)r->size());
        m_runText += *r;
    }
}

std::string KvMatchIndex::RegexOf(uint32_t i) const {
    if (m_programs[i]) return TqRegexSource(*m_programs[i]);
    return KvWildcardToRegex(std::string(PatternAt((int)i)).c_str());
}

void KvMatchIndex::Finish() {
    MarkRepeats();
    Release(m_sourceHash);
    std::vector<uint64_t> keyOf = ChooseKeys();
    for (size_t i = 0; i < keyOf.size(); ++i)
        if (!keyOf[i] && !m_info[i].repeat) m_always.push_back((uint32_t)i);
    BuildTable(keyOf);
    m_runText.shrink_to_fit();
    m_runOffsets.shrink_to_fit();
}

// An expression that repeats an earlier line can never be the first match
// (the earlier one answers the same), so it is filed nowhere.
void KvMatchIndex::MarkRepeats() {
    std::vector<std::pair<uint64_t, uint32_t>> byHash;
    byHash.reserve(m_sourceHash.size());
    for (size_t i = 0; i < m_sourceHash.size(); ++i) byHash.emplace_back(m_sourceHash[i], (uint32_t)i);
    std::sort(byHash.begin(), byHash.end());  // by hash, then list order
    std::vector<std::string> distinct;           // expressions of the group seen so far
    for (size_t k = 0; k < byHash.size(); ++k) {
        if (k == 0 || byHash[k].first != byHash[k - 1].first) distinct.clear();
        bool last = k + 1 == byHash.size() || byHash[k + 1].first != byHash[k].first;
        if (distinct.empty() && last) continue;  // a hash of its own: no string needed
        std::string regex = RegexOf(byHash[k].second);
        if (std::find(distinct.begin(), distinct.end(), regex) != distinct.end())
            m_info[byHash[k].second].repeat = true;
        else
            distinct.push_back(std::move(regex));
    }
}

// The pieces entry i could be filed under: those of the longest usable
// size found in its runs, each once.
void KvMatchIndex::EntryPieces(uint32_t i, std::vector<uint64_t>& out) const {
    out.clear();
    const EntryInfo& info = m_info[i];
    if (info.repeat) return;
    size_t longest = 0;
    for (uint32_t r = info.firstRun; r < info.firstRun + info.runCount; ++r)
        longest = std::max<size_t>(longest, m_runOffsets[2 * r + 1]);
    size_t len = std::min(longest, kMaxPiece);
    for (uint32_t r = info.firstRun; len && r < info.firstRun + info.runCount; ++r) {
        const unsigned char* run = (const unsigned char*)RunAt(r);
        for (size_t p = 0; p + len <= m_runOffsets[2 * r + 1]; ++p) out.push_back(PieceKey(run + p, len));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
}

// Each entry's rarest piece (0: none, the entry is tried on every text).
std::vector<uint64_t> KvMatchIndex::ChooseKeys() const {
    const uint32_t n = (uint32_t)m_info.size();
    PieceCounter uses;
    std::vector<uint64_t> pieces;
    for (uint32_t i = 0; i < n; ++i) {
        EntryPieces(i, pieces);
        for (uint64_t key : pieces) uses.Add(key);
    }
    std::vector<uint64_t> keyOf(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        EntryPieces(i, pieces);
        uint64_t bestCost = UINT64_MAX;
        for (uint64_t key : pieces) {
            uint64_t cost = uses.Count(key) + (IsCommonPiece(key) ? kCommonPenalty : 0);
            if (cost < bestCost) {
                bestCost = cost;
                keyOf[i] = key;
            }
        }
    }
    return keyOf;
}

void KvMatchIndex::BuildTable(const std::vector<uint64_t>& keyOf) {
    std::vector<std::pair<uint64_t, uint32_t>> filed;
    for (size_t i = 0; i < keyOf.size(); ++i)
        if (keyOf[i]) filed.emplace_back(keyOf[i], (uint32_t)i);
    std::sort(filed.begin(), filed.end());  // by piece, then list order

    size_t distinct = 0;
    for (size_t k = 0; k < filed.size(); ++k)
        if (k == 0 || filed[k].first != filed[k - 1].first) ++distinct;
    size_t size = 16;
    while (size < distinct * 2) size *= 2;
    m_table.assign(size, Slot());
    m_filter.assign(((size_t)1 << kFilterBits) / 64, 0);
    m_postings.reserve(filed.size());

    for (size_t k = 0; k < filed.size(); ++k) {
        uint64_t key = filed[k].first;
        m_postings.push_back(filed[k].second);
        if (k + 1 < filed.size() && filed[k + 1].first == key) continue;
        // Last expression under this piece: store the slot.
        uint32_t count = 1;
        while (count <= k && filed[k - count].first == key) ++count;
        uint64_t h = Mix(key);
        size_t mask = size - 1;
        size_t at = (size_t)(h >> 32) & mask;
        while (m_table[at].key) at = (at + 1) & mask;
        m_table[at] = Slot{key, (uint32_t)(m_postings.size() - count), count};
        uint64_t bit = h >> (64 - kFilterBits);
        m_filter[bit / 64] |= 1ull << (bit % 64);
        m_lengths |= 1u << (key >> 32);
    }
}

std::string_view KvMatchIndex::PatternAt(int i) const {
    size_t begin = i > 0 ? m_patternEnd[(size_t)i - 1] : 0;
    return std::string_view(m_patternText).substr(begin, m_patternEnd[(size_t)i] - begin);
}

size_t KvMatchIndex::GetMemoryBytes() const {
    std::lock_guard<std::mutex> lock(m_compileLock);
    return m_patternText.capacity() + m_patternEnd.capacity() * 4 + m_programs.capacity() * sizeof(void*) +
           m_owned.capacity() * sizeof(TqRegexProgramPtr) + m_info.capacity() * sizeof(EntryInfo) +
           m_runOffsets.capacity() * 4 + m_runText.capacity() + m_always.capacity() * 4 +
           m_table.capacity() * sizeof(Slot) + m_postings.capacity() * 4 + m_filter.capacity() * 8;
}

size_t KvMatchIndex::GetCompiledCount() const {
    std::lock_guard<std::mutex> lock(m_compileLock);
    return m_owned.size();
}
