// Wildcard patterns to expressions, and the literal runs an expression
// requires (the raw material of KvMatchIndex).
#include <cstring>
#include <string>
#include <vector>

#include "inet/match/KvMatchIndex.h"

namespace {

constexpr size_t kNone = (size_t)-1;

// Escapes with a letter that match one position (or none) and take no
// argument; any other letter escape (\x, \c, \p, \N{...}, \g, \k, \Q, back
// references...) makes the expression unreadable here.
const char kPlainLetterEscapes[] = "dDwWsShHvVbBAzZGntrfeaRXK";

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? (char)(c + ('a' - 'A')) : c; }

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A POSIX class name such as "[:alpha:]" starting at p[j] == '['; returns
// the index behind it, or kNone when PCRE2 would read the '[' as a plain
// member of the class (the same test PCRE2 applies).
size_t SkipPosixName(const char* p, size_t j) {
    char term = p[j + 1];
    if (term != ':' && term != '.' && term != '=') return kNone;
    for (size_t k = j + 2; p[k]; ++k) {
        if (p[k] == '\\' && (p[k + 1] == ']' || p[k + 1] == '\\'))
            ++k;
        else if ((p[k] == '[' && p[k + 1] == term) || p[k] == ']')
            return kNone;
        else if (p[k] == term && p[k + 1] == ']')
            return k + 2;
    }
    return kNone;
}

// A character class starting at p[i] == '['; the index behind its ']'.
size_t SkipClass(const char* p, size_t i) {
    size_t j = i + 1;
    if (p[j] == '^') ++j;
    if (p[j] == ']') ++j;  // a leading ']' is a member
    while (p[j]) {
        if (p[j] == '\\') {
            if (!p[j + 1]) return kNone;
            j += 2;
        } else if (p[j] == '[') {
            size_t end = SkipPosixName(p, j);
            j = end == kNone ? j + 1 : end;
        } else if (p[j] == ']') {
            return j + 1;
        } else {
            ++j;
        }
    }
    return kNone;
}

// A group starting at p[i] == '('; the index behind its ')'.
size_t SkipGroup(const char* p, size_t i) {
    int depth = 0;
    size_t j = i;
    while (p[j]) {
        char c = p[j];
        if (c == '\\') {
            if (!p[j + 1]) return kNone;
            j += 2;
            continue;
        }
        if (c == '[') {
            j = SkipClass(p, j);
            if (j == kNone) return kNone;
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return j + 1;
        ++j;
    }
    return kNone;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A repeat count "{n}", "{n,}", "{n,m}" or "{,m}" (blanks allowed inside)
// starting at p[i] == '{'; the index behind it, or kNone when the brace does
// not open one.
size_t SkipCount(const char* p, size_t i) {
    size_t j = i + 1;
    bool digits = false, comma = false;
    for (;; ++j) {
        char c = p[j];
        if (IsDigit(c)) {
            digits = true;
        } else if (c == ',' && !comma) {
            comma = true;
        } else if (c == ' ' || c == '\t') {
            continue;
        } else if (c == '}' && digits) {
            return j + 1;
        } else {
            return kNone;
        }
    }
}

// The lazy or possessive mark that may follow a quantifier.
size_t SkipQuantifierMark(const char* p, size_t i) { return (p[i] == '?' || p[i] == '+') ? i + 1 : i; }

// Collects the runs of literal bytes of the top-level sequence.
class RunReader {
public:
    explicit RunReader(std::vector<std::string>& runs) : m_runs(runs) {}

    bool Read(const char* p) {
        size_t i = 0;
        while (p[i]) {
            i = Step(p, i);
            if (i == kNone) return false;
        }
        Flush();
        return true;
    }

private:
    void Flush() {
        if (!m_cur.empty()) m_runs.push_back(m_cur);
        m_cur.clear();
        m_lastLiteral = false;
    }
    void Literal(char c) {
        m_cur += AsciiLower(c);
        m_lastLiteral = true;
    }

    // Reads the item at p[i]; the index behind it, or kNone.
    size_t Step(const char* p, size_t i) {
        char c = p[i];
        switch (c) {
        case '\\':
            if (!p[i + 1]) return kNone;
            if (!IsAlnum(p[i + 1])) {
                Literal(p[i + 1]);
            } else {
                if (!std::strchr(kPlainLetterEscapes, p[i + 1])) return kNone;
                Flush();
            }
            return i + 2;
        case '(':
        case '[': {
            size_t end = c == '(' ? SkipGroup(p, i) : SkipClass(p, i);
            Flush();
            return end;
        }
        case ')':
        case '|':
            return kNone;
        case '.':
        case '^':
        case '$':
            Flush();
            return i + 1;
        case '?':
        case '*':
        case '{': {
            // The item before may be absent: it leaves the run. A brace
            // that does not open a count is a plain byte; it only ends the
            // run here, and what follows it is read normally.
            if (m_lastLiteral) m_cur.pop_back();
            Flush();
            size_t end = c == '{' ? SkipCount(p, i) : i + 1;
            if (end == kNone) return i + 1;
            return SkipQuantifierMark(p, end);
        }
        case '+':
            Flush();  // the item stays required, but what follows need not be adjacent
            return SkipQuantifierMark(p, i + 1);
        default:
            Literal(c);
            return i + 1;
        }
    }

    std::vector<std::string>& m_runs;
    std::string m_cur;
    bool m_lastLiteral = false;
};

}  // namespace

std::string KvWildcardToRegex(const char* wildcard) {
    std::string out;
    if (!wildcard) return out;
    for (const char* p = wildcard; *p; ++p) {
        switch (*p) {
        case '.': out += "\\."; break;
        case '?': out += "\\?"; break;
        case '*': out += "(.*)"; break;
        default: out += *p; break;
        }
    }
    return out;
}

bool KvPlainSequence(const char* regex, std::vector<std::string>& runs) {
    runs.clear();
    if (!regex) return false;
    std::string cur;
    for (size_t i = 0; regex[i];) {
        char c = regex[i];
        if (c == '\\' && regex[i + 1] && !IsAlnum(regex[i + 1])) {
            cur += AsciiLower(regex[i + 1]);
            i += 2;
        } else if (std::strncmp(regex + i, "(.*)", 4) == 0 || std::strncmp(regex + i, ".*", 2) == 0) {
            if (!cur.empty()) runs.push_back(cur);
            cur.clear();
            i += regex[i] == '(' ? 4 : 2;
            if (regex[i] == '?' || regex[i] == '+') return false;  // lazy or possessive: not plain
        } else if (std::strchr("\\^$.[|()?*+{", c)) {
            return false;
        } else {
            cur += AsciiLower(c);
            ++i;
        }
    }
    if (!cur.empty()) runs.push_back(cur);
    return true;
}

bool KvRequiredLiterals(const char* regex, std::vector<std::string>& runs) {
    runs.clear();
    if (!regex) return false;
    // Inline options, comments, verbs and quoting change how everything
    // after them reads.
    if (std::strstr(regex, "(?") || std::strstr(regex, "(*") || std::strstr(regex, "\\Q")) return false;
    RunReader reader(runs);
    if (reader.Read(regex)) return true;
    runs.clear();
    return false;
}
