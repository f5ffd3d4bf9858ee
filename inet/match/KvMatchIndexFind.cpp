// KvMatchIndex: finding the first match, and compiling deferred
// expressions when a text needs them.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "inet/match/KvMatchIndex.h"
#include "inet/match/KvMatchIndexPieces.h"

using namespace kvmatch;

namespace {

// Bytes that may end a line for the expression engine (whatever newline
// convention it was built with): "." does not match them, so a text holding
// one is left to the engine.
bool IsLineBreakByte(char c) {
    return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == '\x85';
}

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
        const char* run = RunAt(r);
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
        const char* run = RunAt(r);
        size_t length = m_runOffsets[2 * r + 1];
        const char* found = (const char*)memmem(at, (size_t)(end - at), run, length);
        if (!found) return false;
        at = found + length;
    }
    return true;
}

// The entry's expression, compiled now when it was deferred. Threads that
// find it published use it without the lock; the lock only orders the
// compiling threads, so each deferred expression is compiled once.
const TqRegexProgram* KvMatchIndex::ProgramOf(uint32_t i) const {
    std::atomic_ref<const TqRegexProgram*> slot(m_programs[i]);
    if (const TqRegexProgram* program = slot.load(std::memory_order_acquire)) return program;
    std::lock_guard<std::mutex> lock(m_compileLock);
    if (const TqRegexProgram* program = slot.load(std::memory_order_relaxed)) return program;
    std::string regex = KvWildcardToRegex(std::string(PatternAt((int)i)).c_str());
    TqRegexProgramPtr program = TqRegexCompile(regex.c_str(), m_wildcardOptions);
    if (!program) return nullptr;  // not for the lines AddWildcardLine takes
    m_owned.push_back(program);
    slot.store(program.get(), std::memory_order_release);
    return program.get();
}

bool KvMatchIndex::EngineMatches(uint32_t i, const char* text, size_t len) const {
    const TqRegexProgram* program = ProgramOf(i);
    return program && TqRegexRun(*program, text, len) == TqMatchResult::Match;
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
    return EngineMatches(i, text, len);
}

int KvMatchIndex::FindFirst(const char* text, size_t len) const {
    if (m_patternEnd.empty()) return -1;
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

int KvMatchIndex::FindFirstByEngine(const char* text, size_t len) const {
    if (!text) {
        text = "";
        len = 0;
    }
    for (uint32_t i = 0; i < (uint32_t)m_patternEnd.size(); ++i)
        if (EngineMatches(i, text, len)) return (int)i;
    return -1;
}
