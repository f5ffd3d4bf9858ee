// KvMatchIndex: building the piece table and finding the first match.
#include "inet/match/KvMatchIndex.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace {

constexpr size_t kMaxPiece = 4;      // bytes of the longest piece
constexpr size_t kRunsChecked = 3;   // longest runs tested before the expression
constexpr unsigned kFilterBits = 18; // 32 KiB: stays in cache while a text is scanned

// Pieces that almost every URL contains: an expression filed under one of
// them would be a candidate for every text, so they are chosen last.
const char* const kCommonPieces[] = {
    "http", "ttp:", "tp:/", "p://", "://",  "//",   "ttps", "tps:", "ps:/", "s://", "://w", "//ww",
    "/www", "www.", "www",  "ww.",  ".com", "com/", ".co",  "com",  ".net", "net/", ".org", "org/",
    "html", ".htm", "htm",  "tml",  "/",    ".",    "ht",   "tp",   "ww",   "w.",   ".c",   "co",
    ".gif", ".jpg", ".png", ".php", ".js",  ".css", "?id=", "&",    "=",    "?",    "-",    "_",
};
constexpr uint32_t kCommonPenalty = 1u << 20;

// Bytes that may end a line for the expression engine (whatever newline
// convention it was built with): "." does not match them, so a text holding
// one is left to the engine.
bool IsLineBreakByte(char c) {
    return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\x85';
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + ('a' - 'A')) : c; }

// A piece of `len` bytes as a table key; the length keeps pieces of
// different sizes apart and makes every key non-zero.
uint64_t PieceKey(const unsigned char* p, size_t len) {
    uint32_t bytes = 0;
    for (size_t k = 0; k < len; ++k) bytes |= (uint32_t)p[k] << (8 * k);
    return (uint64_t)len << 32 | bytes;
}

uint64_t Mix(uint64_t key) { return key * 0x9E3779B97F4A7C15ull; }

bool IsCommonPiece(uint64_t key) {
    static const std::vector<uint64_t> common = [] {
        std::vector<uint64_t> keys;
        for (const char* s : kCommonPieces) keys.push_back(PieceKey((const unsigned char*)s, std::strlen(s)));
        return keys;
    }();
    return std::find(common.begin(), common.end(), key) != common.end();
}

// Appends the pieces of the longest usable size found in the runs, each once.
void AppendPieces(const std::vector<std::string>& runs, std::vector<uint64_t>& out) {
    size_t longest = 0;
    for (const std::string& r : runs) longest = std::max(longest, r.size());
    size_t len = std::min(longest, kMaxPiece);
    size_t first = out.size();
    for (const std::string& r : runs)
        for (size_t p = 0; len && p + len <= r.size(); ++p)
            out.push_back(PieceKey((const unsigned char*)r.data() + p, len));
    std::sort(out.begin() + (long)first, out.end());
    out.erase(std::unique(out.begin() + (long)first, out.end()), out.end());
}

// Counts how many entries could be filed under each piece (open addressing).
class PieceCounter {
public:
    explicit PieceCounter(size_t expected) {
        size_t size = 1024;
        while (size < expected + expected / 3) size *= 2;
        m_slots.assign(size, {0, 0});
    }
    // Counts one more use of key; returns its slot.
    uint32_t Add(uint64_t key) {
        size_t mask = m_slots.size() - 1;
        size_t at = (size_t)(Mix(key) >> 32) & mask;
        while (m_slots[at].first && m_slots[at].first != key) at = (at + 1) & mask;
        m_slots[at].first = key;
        ++m_slots[at].second;
        return (uint32_t)at;
    }
    uint32_t CountAt(uint32_t slot) const { return m_slots[slot].second; }

private:
    std::vector<std::pair<uint64_t, uint32_t>> m_slots;
};

// Per-thread scratch of FindFirst.
struct FindScratch {
    std::string lowered;
    std::vector<uint32_t> candidates;
    std::vector<const void*> slots;
};

FindScratch& Scratch() {
    thread_local FindScratch scratch;
    return scratch;
}

}  // namespace

void KvMatchIndex::Clear() {
    m_entries.clear();
    m_info.clear();
    m_runOffsets.clear();
    m_runText.clear();
    m_always.clear();
    m_table.clear();
    m_postings.clear();
    m_filter.clear();
    m_lengths = 0;
}

void KvMatchIndex::Build(std::vector<Entry> entries) {
    Clear();
    m_entries = std::move(entries);
    const size_t n = m_entries.size();

    std::vector<uint64_t> pieces;
    std::vector<uint32_t> firstPiece;
    SkipRepeats();
    AnalyseEntries(pieces, firstPiece);

    PieceCounter uses(pieces.size());
    std::vector<uint32_t> slotOf(pieces.size());
    for (size_t k = 0; k < pieces.size(); ++k) slotOf[k] = uses.Add(pieces[k]);

    // File each entry under its rarest piece.
    std::vector<uint64_t> keyOf(n, 0);
    for (size_t i = 0; i < n; ++i) {
        uint64_t bestCost = UINT64_MAX;
        for (uint32_t k = firstPiece[i]; k < firstPiece[i + 1]; ++k) {
            uint64_t cost = uses.CountAt(slotOf[k]) + (IsCommonPiece(pieces[k]) ? kCommonPenalty : 0);
            if (cost < bestCost) {
                bestCost = cost;
                keyOf[i] = pieces[k];
            }
        }
        if (!keyOf[i] && !m_info[i].repeat) m_always.push_back((uint32_t)i);
    }
    BuildTable(keyOf);
}

// Reads every expression: its kind, the runs kept for the quick test, and
// the pieces it could be filed under (firstPiece has n + 1 bounds).
void KvMatchIndex::AnalyseEntries(std::vector<uint64_t>& pieces, std::vector<uint32_t>& firstPiece) {
    firstPiece.reserve(m_entries.size() + 1);
    std::vector<std::string> runs;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const char* regex = TqRegexSource(*m_entries[i].program);
        EntryInfo& info = m_info[i];
        firstPiece.push_back((uint32_t)pieces.size());
        if (info.repeat) continue;
        if (KvPlainSequence(regex, runs)) {
            info.kind = Kind::Plain;
        } else if (KvRequiredLiterals(regex, runs)) {
            info.kind = Kind::Filtered;
        } else {
            info.kind = Kind::Opaque;
            continue;
        }
        AppendPieces(runs, pieces);
        AddRuns(info, runs);
    }
    firstPiece.push_back((uint32_t)pieces.size());
}

// An expression that repeats an earlier line can never be the first match
// (the earlier one answers the same), so it is filed nowhere.
void KvMatchIndex::SkipRepeats() {
    m_info.resize(m_entries.size());
    std::unordered_set<std::string_view> seen;
    seen.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (!seen.insert(TqRegexSource(*m_entries[i].program)).second) m_info[i].repeat = true;
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

const KvMatchIndex::Slot* KvMatchIndex::Lookup(uint64_t key) const {
    uint64_t h = Mix(key);
    uint64_t bit = h >> (64 - kFilterBits);
    if (!(m_filter[bit / 64] >> (bit % 64) & 1)) return nullptr;
    size_t mask = m_table.size() - 1;
    for (size_t at = (size_t)(h >> 32) & mask; m_table[at].key; at = (at + 1) & mask)
        if (m_table[at].key == key) return &m_table[at];
    return nullptr;
}

void KvMatchIndex::CollectCandidates(const std::string& lowered, size_t len, std::vector<uint32_t>& out) const {
    // A piece that occurs several times in the text contributes its entries once.
    std::vector<const void*>& slots = Scratch().slots;
    slots.clear();
    const unsigned char* text = (const unsigned char*)lowered.data();
    for (size_t piece = 1; piece <= kMaxPiece; ++piece) {
        if (!(m_lengths & (1u << piece)) || piece > len) continue;
        for (size_t p = 0; p + piece <= len; ++p)
            if (const Slot* slot = Lookup(PieceKey(text + p, piece))) slots.push_back(slot);
    }
    std::sort(slots.begin(), slots.end());
    slots.erase(std::unique(slots.begin(), slots.end()), slots.end());
    for (const void* p : slots) {
        const Slot* slot = static_cast<const Slot*>(p);
        out.insert(out.end(), m_postings.begin() + slot->first, m_postings.begin() + slot->first + slot->count);
    }
}

bool KvMatchIndex::RunsPresent(const EntryInfo& info, const std::string& lowered) const {
    for (uint32_t r = info.firstRun; r < info.firstRun + info.runCount; ++r) {
        const char* run = m_runText.data() + m_runOffsets[2 * r];
        if (!memmem(lowered.data(), lowered.size(), run, m_runOffsets[2 * r + 1])) return false;
    }
    return true;
}

// Each run found at the earliest place behind the previous one: if any
// placement in order exists, this one does.
bool KvMatchIndex::RunsInOrder(const EntryInfo& info, const std::string& lowered) const {
    const char* at = lowered.data();
    const char* end = lowered.data() + lowered.size();
    for (uint32_t r = info.firstRun; r < info.firstRun + info.runCount; ++r) {
        const char* run = m_runText.data() + m_runOffsets[2 * r];
        size_t length = m_runOffsets[2 * r + 1];
        const char* found = (const char*)memmem(at, (size_t)(end - at), run, length);
        if (!found) return false;
        at = found + length;
    }
    return true;
}

bool KvMatchIndex::Decide(uint32_t i, const char* text, size_t len, const std::string& lowered,
                          bool lineBreaks) const {
    const EntryInfo& info = m_info[i];
    switch (info.kind) {
    case Kind::Plain:
        if (!RunsInOrder(info, lowered)) return false;
        if (!lineBreaks) return true;  // "(.*)" spans anything but a line break
        break;
    case Kind::Filtered:
        if (!RunsPresent(info, lowered)) return false;
        break;
    case Kind::Opaque:
        break;
    }
    return TqRegexRun(*m_entries[i].program, text, len) == TqMatchResult::Match;
}

int KvMatchIndex::FindFirst(const char* text, size_t len) const {
    if (m_entries.empty()) return -1;
    if (!text) {
        text = "";
        len = 0;
    }
    FindScratch& s = Scratch();
    s.lowered.resize(len);
    bool lineBreaks = false;
    for (size_t k = 0; k < len; ++k) {
        s.lowered[k] = AsciiLower(text[k]);
        lineBreaks |= IsLineBreakByte(text[k]);
    }

    std::vector<uint32_t>& candidates = s.candidates;
    candidates.clear();
    if (!m_table.empty()) CollectCandidates(s.lowered, len, candidates);
    candidates.insert(candidates.end(), m_always.begin(), m_always.end());
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    for (uint32_t i : candidates)
        if (Decide(i, text, len, s.lowered, lineBreaks)) return (int)i;
    return -1;
}

size_t KvMatchIndex::GetMemoryBytes() const {
    size_t bytes = m_entries.capacity() * sizeof(Entry) + m_info.capacity() * sizeof(EntryInfo) +
                   m_runOffsets.capacity() * 4 + m_runText.capacity() + m_always.capacity() * 4 +
                   m_table.capacity() * sizeof(Slot) + m_postings.capacity() * 4 + m_filter.capacity() * 8;
    for (const Entry& e : m_entries) bytes += e.pattern.capacity() + 1;
    return bytes;
}
