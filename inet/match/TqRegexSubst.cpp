// The substitution engine behind TqRegex::FindReplace: a job is the
// compiled pattern plus the replacement cut into pieces; running it walks
// every match (global) and assembles the result.
#include "inet/match/TqRegexImpl.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"

namespace {

// A result larger than this (and than four times the input) is refused, so
// that a replacement such as "$`$'" on a large buffer cannot exhaust memory.
constexpr size_t kMaxResult = 64u * 1024 * 1024;

struct Piece {
    enum Kind { Text, Group, LastGroup, Before, After } kind;
    std::string text;  // Text
    int group = 0;     // Group
};

char EscapedChar(char c) {
    switch (c) {
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'a': return '\a';
    case 'e': return '\x1b';
    case '0': return '\0';
    default: return c;
    }
}

void AddText(std::vector<Piece>& pieces, char c) {
    if (pieces.empty() || pieces.back().kind != Piece::Text) pieces.push_back({Piece::Text, {}, 0});
    pieces.back().text += c;
}

// Cuts the replacement into pieces; false when it names a group the
// expression does not have.
bool ParseReplacement(const char* r, int groupCount, std::vector<Piece>& pieces) {
    size_t i = 0;
    while (r[i]) {
        char c = r[i];
        if (c == '\\') {
            if (!r[i + 1]) {  // a final backslash stands for itself
                AddText(pieces, c);
                ++i;
            } else {
                AddText(pieces, EscapedChar(r[i + 1]));
                i += 2;
            }
            continue;
        }
        char next = c == '$' ? r[i + 1] : '\0';
        if (std::isdigit((unsigned char)next)) {
            long n = 0;
            for (++i; std::isdigit((unsigned char)r[i]); ++i)
                if (n <= groupCount) n = n * 10 + (r[i] - '0');
            if (n > groupCount) return false;
            pieces.push_back({Piece::Group, {}, (int)n});
        } else if (next == '&') {
            pieces.push_back({Piece::Group, {}, 0});
            i += 2;
        } else if (next == '+' || next == '`' || next == '\'') {
            Piece::Kind kind = next == '+' ? Piece::LastGroup : next == '`' ? Piece::Before : Piece::After;
            pieces.push_back({kind, {}, 0});
            i += 2;
        } else {
            AddText(pieces, c);
            ++i;
        }
    }
    return true;
}

void AppendSpan(std::string& out, const char* text, const PCRE2_SIZE* ov, int pair, int pairs) {
    if (pair < pairs && ov[2 * pair] != PCRE2_UNSET && ov[2 * pair + 1] > ov[2 * pair])
        out.append(text + ov[2 * pair], ov[2 * pair + 1] - ov[2 * pair]);
}

// Appends the replacement for the match in data (rc pairs set).
void AppendReplacement(std::string& out, const std::vector<Piece>& pieces, const char* text, size_t len,
                       pcre2_match_data* data, int rc) {
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
    for (const Piece& p : pieces) {
        switch (p.kind) {
        case Piece::Text: out += p.text; break;
        case Piece::Group: AppendSpan(out, text, ov, p.group, rc); break;
        case Piece::LastGroup: AppendSpan(out, text, ov, rc - 1, rc); break;
        case Piece::Before: out.append(text, ov[0] <= len ? ov[0] : len); break;
        case Piece::After:
            if (ov[1] < len) out.append(text + ov[1], len - ov[1]);
            break;
        }
    }
}

// Runs the job over the whole text. False when a match failed (limit) or
// the result grew beyond bounds.
bool RunJob(const TqRegexProgram& program, const std::vector<Piece>& pieces, const char* text, size_t len,
            std::string& out) {
    pcre2_match_data* data = pcre2_match_data_create((uint32_t)program.GroupCount() + 1, nullptr);
    if (!data) return false;
    const size_t maxResult = len > kMaxResult / 4 ? len * 4 : kMaxResult;
    out.clear();
    out.reserve(len);
    size_t pos = 0, copied = 0;
    uint32_t options = 0;
    bool ok = true;
    while (pos <= len) {
        int rc = TqRunCode(program, text, len, pos, options, data);
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (options == 0 || pos >= len) break;
            ++pos;  // an empty match was here: the next one starts one byte on
            options = 0;
            continue;
        }
        if (rc < 0) {
            ok = false;
            break;
        }
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        size_t start = ov[0] < copied ? copied : ov[0];  // \K may move the start back
        size_t end = ov[1] < start ? start : ov[1];
        out.append(text + copied, start - copied);
        AppendReplacement(out, pieces, text, len, data, rc);
        copied = end;
        if (out.size() > maxResult) {
            ok = false;
            break;
        }
        // After an empty match, look for a non-empty one at the same place
        // before moving on (the way Perl walks global matches).
        options = ov[1] == ov[0] ? (PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED) : 0;
        pos = end;
    }
    pcre2_match_data_free(data);
    if (ok) out.append(text + copied, len - copied);
    return ok;
}

}  // namespace

int TqRegexSubstitute(const char* text, size_t len, const char* pattern, const char* replacement,
                      std::string& out) {
    if (!pattern) return FALSE;
    TqRegexProgramPtr program =
        TqRegexCompile(pattern, TQ_REGEX_ICASE | TQ_REGEX_MULTILINE | kTqRegexDotAll | TQ_REGEX_JIT_WHEN_HOT);
    if (!program) return FALSE;
    std::vector<Piece> pieces;
    if (!ParseReplacement(replacement ? replacement : "", program->GroupCount(), pieces)) return FALSE;
    return RunJob(*program, pieces, text ? text : "", text ? len : 0, out) ? TRUE : FALSE;
}

// ---- the FindReplace family ------------------------------------------------

int TqRegex::FindReplace(CsString& target, const char* pattern, const char* replacement) {
    if (!pattern || target.IsEmpty()) return TRUE;
    std::string out;
    if (!TqRegexSubstitute(target.GetStr(), target.GetLength(), pattern, replacement, out)) return FALSE;
    // The result may hold a zero byte (from "\0"); the string ends there.
    target.Set(out.c_str());
    return TRUE;
}

int TqRegex::FindReplace(CString& target, const char* pattern, const char* replacement) {
    if (!pattern || target.IsEmpty()) return TRUE;
    std::string out;
    if (!TqRegexSubstitute(target.str().data(), target.str().size(), pattern, replacement, out)) return FALSE;
    target.str().swap(out);
    return TRUE;
}

int TqRegex::FindReplace(KvGenBuffer* buffer, const char* pattern, const char* replacement) {
    if (!buffer) return FALSE;
    if (!pattern) return TRUE;
    std::string out;
    if (!TqRegexSubstitute(buffer->GetData(), buffer->GetCount(), pattern, replacement, out)) return FALSE;
    KvGenBuffer result(4096);
    if (!out.empty() && !result.Write(out.data(), out.size())) return FALSE;
    buffer->Attach(result);
    buffer->SetGrowBytes(4096);
    return TRUE;
}

namespace {

// Applies each pair of the map in order; the first failure ends the walk.
template <class Target>
int ApplyMap(Target& target, CsStrMap* map) {
    int result = TRUE;
    if (!map) return result;
    for (CsStrMapItem* item = map->Head(); item && result == TRUE; item = item->Next())
        result = TqRegex::FindReplace(target, item->GetKey(), item->GetValue());
    return result;
}

}  // namespace

int TqRegex::FindReplace(KvGenBuffer* buffer, CsStrMap* map) {
    if (!buffer) return FALSE;
    return ApplyMap(buffer, map);
}

int TqRegex::FindReplace(CsString& target, CsStrMap* map) { return ApplyMap(target, map); }

int TqRegex::FindReplace(CString& target, CsStrMap* map) { return ApplyMap(target, map); }
