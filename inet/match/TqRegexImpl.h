// Inside of TqRegex: the compiled program and the per-thread match state.
// Only TqRegex*.cpp include this header (it pulls in PCRE2).
#pragma once

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <atomic>
#include <string>

#include "inet/match/TqRegex.h"

// Compile option of the substitution jobs: "." also matches line ends.
constexpr int kTqRegexDotAll = 0x2000;

class TqRegexProgram {
public:
    // Takes ownership of code (already compiled, not yet machine-compiled).
    TqRegexProgram(pcre2_code* code, const char* source, bool jitNow);
    ~TqRegexProgram();
    TqRegexProgram(const TqRegexProgram&) = delete;
    TqRegexProgram& operator=(const TqRegexProgram&) = delete;

    // The code to run now: the machine-compiled copy once there is one.
    // Counts the use and builds the copy when the program becomes hot.
    const pcre2_code* CodeForRun() const;
    int GroupCount() const { return m_groups; }
    const std::string& Source() const { return m_source; }

    // Writes one log line the first time a run of this program hits a limit.
    void ReportLimit(int rc) const;

private:
    void MakeHot() const;

    pcre2_code* m_code;                             // interpreter form, never changed
    mutable std::atomic<pcre2_code*> m_jit{nullptr};  // machine-compiled copy (may be m_code)
    mutable std::atomic<unsigned> m_runs{0};
    mutable std::atomic<bool> m_limitLogged{false};
    std::string m_source;
    int m_groups = 0;
};

// The context every match runs under: match, depth and heap limits and a
// per-thread machine stack. Shared read-only by all threads.
pcre2_match_context* TqMatchContext();

// Match data of the calling thread, with room for TQ_REGEX_MAX_GROUPS pairs.
pcre2_match_data* TqThreadMatchData();

// Runs code on text from start; the PCRE2 result code.
int TqRunCode(const TqRegexProgram& program, const char* text, size_t len, size_t start,
              uint32_t options, pcre2_match_data* data);

// True for the result codes of a run that failed (a limit was hit, memory
// ran out) as opposed to a plain "no match".
bool TqIsRunFailure(int rc);

// Sends a line to the log hook.
void TqRegexLog(const char* line);
