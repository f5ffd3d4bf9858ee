// KvMatchIndex: building the piece table and finding the first match.
#include "KvMatchIndex.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

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
};
constexpr uint32_t kCommonPenalty = 1u << 20;

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

// The pieces of the longest usable size found in the runs, without repeats.
std::vector<uint64_t> PiecesOf(const std::vector<std::string>& runs) {
    size_t longest = 0;
    for (const std::string& r : runs) longest = std::max(longest, r.size());
    size_t len = std::min(longest, kMaxPiece);
    std::vector<uint64_t> keys;
    for (const std::string& r : runs)
        for (size_t p = 0; len && p + len <= r.size(); ++p)
            keys.push_back(PieceKey((const unsigned char*)r.data() + p, len));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

// Per-thread scratch of FindFirst.
struct FindScratch {
    std::string lowered;
    std::vector<uint32_t> candidates;
};

FindScratch& Scratch() {
    thread_local FindScratch scratch;
    return scratch;
}

}  // namespace

void KvMatchIndex::Clear() {
    m_entries.clear();
    m_runs.clear();
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

    std::vector<std::vector<std::string>> runsOf(n);
    std::vector<bool> indexable(n);
    BuildRuns(runsOf, indexable);

    // How many expressions could be filed under each piece.
    std::vector<std::vector<uint64_t>> piecesOf(n);
    std::unordered_map<uint64_t, uint32_t> uses;
    uses.reserve(n * 8);
    for (size_t i = 0; i < n; ++i) {
        if (!indexable[i]) continue;
        piecesOf[i] = PiecesOf(runsOf[i]);
        for (uint64_t key : piecesOf[i]) ++uses[key];
    }

    // File each expression under its rarest piece.
    std::vector<uint64_t> keyOf(n, 0);
    for (size_t i = 0; i < n; ++i) {
        uint64_t best = 0;
        uint64_t bestCost = UINT64_MAX;
        for (uint64_t key : piecesOf[i]) {
            uint64_t cost = uses[key] + (IsCommonPiece(key) ? kCommonPenalty : 0);
            if (cost < bestCost) {
                bestCost = cost;
                best = key;
            }
        }
        keyOf[i] = best;
        if (!best) m_always.push_back((uint32_t)i);
    }
    BuildTable(keyOf);
}

// Keeps the longest runs of each expression for the quick test.
void KvMatchIndex::BuildRuns(std::vector<std::vector<std::string>>& runsOf, std::vector<bool>& indexable) {
    m_runs.resize(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        std::vector<std::string>& runs = runsOf[i];
        indexable[i] = KvRequiredLiterals(TqRegexSource(*m_entries[i].program), runs);
        std::stable_sort(runs.begin(), runs.end(),
                         [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        m_runs[i].first = (uint32_t)m_runOffsets.size() / 2;
        for (size_t r = 0; r < runs.size() && r < kRunsChecked; ++r) {
            m_runOffsets.push_back((uint32_t)m_runText.size());
            m_runOffsets.push_back((uint32_t)runs[r].size());
            m_runText += runs[r];
            ++m_runs[i].count;
        }
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
    const unsigned char* text = (const unsigned char*)lowered.data();
    for (size_t piece = 1; piece <= kMaxPiece; ++piece) {
        if (!(m_lengths & (1u << piece)) || piece > len) continue;
        for (size_t p = 0; p + piece <= len; ++p) {
            const Slot* slot = Lookup(PieceKey(text + p, piece));
            if (slot) out.insert(out.end(), m_postings.begin() + slot->first, m_postings.begin() + slot->first + slot->count);
        }
    }
}

bool KvMatchIndex::RunsPresent(int i, const std::string& lowered) const {
    const EntryRuns& runs = m_runs[(size_t)i];
    for (uint32_t r = 0; r < runs.count; ++r) {
        uint32_t offset = m_runOffsets[2 * (runs.first + r)];
        uint32_t length = m_runOffsets[2 * (runs.first + r) + 1];
        if (!memmem(lowered.data(), lowered.size(), m_runText.data() + offset, length)) return false;
    }
    return true;
}

int KvMatchIndex::FindFirst(const char* text, size_t len) const {
    if (m_entries.empty()) return -1;
    if (!text) {
        text = "";
        len = 0;
    }
    FindScratch& s = Scratch();
    s.lowered.resize(len);
    for (size_t k = 0; k < len; ++k) s.lowered[k] = AsciiLower(text[k]);

    std::vector<uint32_t>& candidates = s.candidates;
    candidates.clear();
    if (!m_table.empty()) CollectCandidates(s.lowered, len, candidates);
    candidates.insert(candidates.end(), m_always.begin(), m_always.end());
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    for (uint32_t i : candidates) {
        if (!RunsPresent((int)i, s.lowered)) continue;
        if (TqRegexRun(*m_entries[i].program, text, len) == TqMatchResult::Match) return (int)i;
    }
    return -1;
}

size_t KvMatchIndex::GetMemoryBytes() const {
    size_t bytes = m_entries.capacity() * sizeof(Entry) + m_runs.capacity() * sizeof(EntryRuns) +
                   m_runOffsets.capacity() * 4 + m_runText.capacity() + m_always.capacity() * 4 +
                   m_table.capacity() * sizeof(Slot) + m_postings.capacity() * 4 + m_filter.capacity() * 8;
    for (const Entry& e : m_entries) bytes += e.pattern.capacity() + 1;
    return bytes;
}
