// TqRegex: one compiled regular expression (PCRE2) and Perl-style
// search-and-replace.
//
// The compiled form is a TqRegexProgram, immutable once built and shared by
// reference count: any number of threads may match one program at once
// (each thread keeps its own match data). A TqRegex object itself is used by
// one thread at a time.
//
// Every match runs under fixed match, depth and heap limits, so that no
// expression (for example a list line such as "(a+)+b") can hold a request
// thread for long. An expression that hits a limit counts as not matching;
// the first time a program hits a limit a line goes to the log hook.
#pragma once

#include <cstddef>
#include <memory>

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/str/CsString.h"

class CsStrMap;
class KvGenBuffer;

// Options of SetExp and the one-shot matchers.
enum : int {
    TQ_REGEX_ICASE = 1,       // case-insensitive
    TQ_REGEX_MULTILINE = 2,   // "^" and "$" also match at line ends
    // The program starts in the interpreter and is compiled to machine code
    // once it has been run often. Large lists use it: machine code costs
    // kilobytes per expression, and most list lines are rarely run.
    TQ_REGEX_JIT_WHEN_HOT = 0x1000,
};

// Flags of Match: the start (end) of the text is not the start (end) of a line.
enum : int {
    TQ_REGEX_NOTBOL = 4,
    TQ_REGEX_NOTEOL = 8,
};

// Most entries Match fills: the whole match and nine groups.
constexpr int TQ_REGEX_MAX_GROUPS = 10;

// Receives diagnostic lines (a limit hit, a failed compile of a job). The
// default writes the line to stderr. Pass null to restore the default.
typedef void (*TqRegexLogHook)(const char* line);
void TqRegexSetLogHook(TqRegexLogHook hook);

// The compiled, shareable form of one expression.
class TqRegexProgram;
using TqRegexProgramPtr = std::shared_ptr<const TqRegexProgram>;

// Compiles a program; null when the expression does not compile.
TqRegexProgramPtr TqRegexCompile(const char* pattern, int options);

// Result of one match attempt on a program.
enum class TqMatchResult { NoMatch, Match, LimitHit };

// Matches text[0..len) anywhere; safe from any number of threads at once.
TqMatchResult TqRegexRun(const TqRegexProgram& program, const char* text, size_t len);

// The expression's source text.
const char* TqRegexSource(const TqRegexProgram& program);

class TqRegex {
public:
    TqRegex() = default;
    ~TqRegex() = default;
    TqRegex(const TqRegex&) = delete;
    TqRegex& operator=(const TqRegex&) = delete;
    TqRegex(TqRegex&&) noexcept = default;
    TqRegex& operator=(TqRegex&&) noexcept = default;

    // Compiles pattern with options (TQ_REGEX_*; other bits ignored),
    // replacing any previous expression. TRUE on success; on failure the
    // object holds no expression.
    int SetExp(const char* pattern, int options);
    void Free() { m_program.reset(); }
    int IsValid() const { return m_program != nullptr; }
    int GetGroupCount() const;
    const TqRegexProgramPtr& GetProgram() const { return m_program; }
    // Holds the same compiled expression as other (programs are immutable).
    void Share(const TqRegex& other) { m_program = other.m_program; }

    // TRUE when the expression matches somewhere in text; TRUE as well
    // without an expression or for a null text.
    int IsMatch(const char* text) const;
    // SetExp, then IsMatch; FALSE when the pattern does not compile.
    int IsMatch(const char* pattern, const char* text, int options);

    // On a match groups[0] receives the whole match and groups[1..] the
    // captured groups, up to count entries (at most TQ_REGEX_MAX_GROUPS);
    // entries beyond the groups present are emptied. flags: TQ_REGEX_NOTBOL,
    // TQ_REGEX_NOTEOL. TRUE on a match and without an expression or text.
    int Match(const char* text, int count, CsString* groups, int flags) const;
    int Match(const char* pattern, const char* text, int count, CsString* groups, int options);

    // out = the whole match; TRUE on a match (and without expression or text).
    int GetMatch(const char* text, CString& out) const;
    int GetMatch(const char* pattern, const char* text, CString& out, int options);

    // Replaces in place every match of pattern by replacement. The pattern
    // is compiled dot-all, case-insensitive and multi-line; the replacement
    // understands $0..$n, $&, $+, $`, $' and the escapes \t \n \r \f \a \e \0.
    // TRUE when the job ran (whether or not anything matched); FALSE, with
    // the target unchanged, when the pattern or replacement is invalid or a
    // match hit a limit. A null pattern, an empty string: TRUE, no change.
    static int FindReplace(KvGenBuffer* buffer, const char* pattern, const char* replacement);
    static int FindReplace(CsString& target, const char* pattern, const char* replacement);
    static int FindReplace(CString& target, const char* pattern, const char* replacement);
    // Applies each entry of the map (pattern -> replacement) in list order;
    // stops at the first failure and returns its result.
    static int FindReplace(KvGenBuffer* buffer, CsStrMap* map);
    static int FindReplace(CsString& target, CsStrMap* map);
    static int FindReplace(CString& target, CsStrMap* map);

private:
    TqRegexProgramPtr m_program;
};

// The substitution engine behind FindReplace, on plain bytes (the text may
// hold zero bytes). Returns TRUE and fills out when the job ran; FALSE when
// it could not be compiled or a match hit a limit.
int TqRegexSubstitute(const char* text, size_t len, const char* pattern, const char* replacement,
                      std::string& out);
