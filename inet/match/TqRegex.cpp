// TqRegex: compiled programs, the shared match context, per-thread match
// data, and the matching members.
#include "inet/match/TqRegexImpl.h"

#include <cstdio>
#include <cstring>

namespace {

// Limits of one match. A match limit of this size ends a runaway
// backtracking expression within a few milliseconds while leaving ample
// room for any list line run on a URL of normal length.
constexpr uint32_t kMatchLimit = 500000;
constexpr uint32_t kDepthLimit = 20000;    // backtracking frames (interpreter)
constexpr uint32_t kHeapLimitKiB = 8192;   // backtracking memory (interpreter)
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 512 * 1024;
// Runs after which a program started with TQ_REGEX_JIT_WHEN_HOT is compiled
// to machine code.
constexpr unsigned kHotRuns = 16;

std::atomic<TqRegexLogHook> g_logHook{nullptr};

// Match data and machine stack of one thread, freed when the thread ends.
struct ThreadScratch {
    pcre2_match_data* data = nullptr;
    pcre2_jit_stack* jitStack = nullptr;
    bool jitStackTried = false;
    ~ThreadScratch() {
        if (data) pcre2_match_data_free(data);
        if (jitStack) pcre2_jit_stack_free(jitStack);
    }
};

ThreadScratch& Scratch() {
    thread_local ThreadScratch scratch;
    return scratch;
}

// Called by PCRE2 for every machine-code match: the calling thread's stack.
// Null makes PCRE2 use its small default stack on the machine stack.
pcre2_jit_stack* ThreadJitStack(void*) {
    ThreadScratch& s = Scratch();
    if (!s.jitStackTried) {
        s.jitStackTried = true;
        s.jitStack = pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr);
    }
    return s.jitStack;
}

pcre2_match_context* CreateMatchContext() {
    pcre2_match_context* ctx = pcre2_match_context_create(nullptr);
    if (!ctx) return nullptr;
    pcre2_set_match_limit(ctx, kMatchLimit);
    pcre2_set_depth_limit(ctx, kDepthLimit);
    pcre2_set_heap_limit(ctx, kHeapLimitKiB);
    pcre2_jit_stack_assign(ctx, ThreadJitStack, nullptr);
    return ctx;
}

uint32_t CompileOptions(int options) {
    uint32_t flags = 0;
    if (options & TQ_REGEX_ICASE) flags |= PCRE2_CASELESS;
    if (options & TQ_REGEX_MULTILINE) flags |= PCRE2_MULTILINE;
    if (options & kTqRegexDotAll) flags |= PCRE2_DOTALL;
    return flags;
}

uint32_t MatchOptions(int flags) {
    uint32_t options = 0;
    if (flags & TQ_REGEX_NOTBOL) options |= PCRE2_NOTBOL;
    if (flags & TQ_REGEX_NOTEOL) options |= PCRE2_NOTEOL;
    return options;
}

}  // namespace

// ---- logging ---------------------------------------------------------------

void TqRegexSetLogHook(TqRegexLogHook hook) { g_logHook.store(hook); }

void TqRegexLog(const char* line) {
    TqRegexLogHook hook = g_logHook.load();
    if (hook)
        hook(line);
    else
        std::fprintf(stderr, "%s\n", line);
}

// ---- programs --------------------------------------------------------------

TqRegexProgram::TqRegexProgram(pcre2_code* code, const char* source, bool jitNow)
    : m_code(code), m_source(source) {
    uint32_t groups = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &groups);
    m_groups = (int)groups;
    if (jitNow) {
        // Not yet shared: compiling in place is safe. A failed machine
        // compile leaves the interpreter, which PCRE2 then uses.
        pcre2_jit_compile(m_code, PCRE2_JIT_COMPLETE);
        m_jit.store(m_code, std::memory_order_release);
    }
}

TqRegexProgram::~TqRegexProgram() {
    pcre2_code* jit = m_jit.load(std::memory_order_acquire);
    if (jit && jit != m_code) pcre2_code_free(jit);
    pcre2_code_free(m_code);
}

const pcre2_code* TqRegexProgram::CodeForRun() const {
    if (pcre2_code* jit = m_jit.load(std::memory_order_acquire)) return jit;
    if (m_runs.fetch_add(1, std::memory_order_relaxed) + 1 == kHotRuns) {
        MakeHot();
        if (pcre2_code* jit = m_jit.load(std::memory_order_acquire)) return jit;
    }
    return m_code;
}

// Other threads keep running m_code (which is never modified) while one
// thread compiles a private copy; the copy is published when complete.
void TqRegexProgram::MakeHot() const {
    pcre2_code* copy = pcre2_code_copy(m_code);
    if (copy && pcre2_jit_compile(copy, PCRE2_JIT_COMPLETE) == 0) {
        m_jit.store(copy, std::memory_order_release);
        return;
    }
    if (copy) pcre2_code_free(copy);
    m_jit.store(m_code, std::memory_order_release);  // stay interpreted, stop counting
}

void TqRegexProgram::ReportLimit(int rc) const {
    if (m_limitLogged.exchange(true)) return;
    PCRE2_UCHAR reason[120];
    if (pcre2_get_error_message(rc, reason, sizeof(reason)) < 0) std::strcpy((char*)reason, "error");
    CString line;
    line.Format("regex: expression \"%.200s\" stopped (%s); it counts as not matching", m_source.c_str(),
                (const char*)reason);
    TqRegexLog(line);
}

TqRegexProgramPtr TqRegexCompile(const char* pattern, int options) {
    if (!pattern) return nullptr;
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile((PCRE2_SPTR)pattern, PCRE2_ZERO_TERMINATED, CompileOptions(options),
                                     &error, &offset, nullptr);
    if (!code) return nullptr;
    bool jitNow = (options & TQ_REGEX_JIT_WHEN_HOT) == 0;
    return std::make_shared<const TqRegexProgram>(code, pattern, jitNow);
}

const char* TqRegexSource(const TqRegexProgram& program) { return program.Source().c_str(); }

// ---- running ---------------------------------------------------------------

pcre2_match_context* TqMatchContext() {
    static pcre2_match_context* const ctx = CreateMatchContext();
    return ctx;
}

pcre2_match_data* TqThreadMatchData() {
    ThreadScratch& s = Scratch();
    if (!s.data) s.data = pcre2_match_data_create(TQ_REGEX_MAX_GROUPS, nullptr);
    return s.data;
}

bool TqIsRunFailure(int rc) { return rc < 0 && rc != PCRE2_ERROR_NOMATCH && rc != PCRE2_ERROR_PARTIAL; }

int TqRunCode(const TqRegexProgram& program, const char* text, size_t len, size_t start, uint32_t options,
              pcre2_match_data* data) {
    if (!data) return PCRE2_ERROR_NOMEMORY;
    int rc = pcre2_match(program.CodeForRun(), (PCRE2_SPTR)text, len, start, options, data, TqMatchContext());
    if (TqIsRunFailure(rc)) program.ReportLimit(rc);
    return rc;
}

TqMatchResult TqRegexRun(const TqRegexProgram& program, const char* text, size_t len) {
    int rc = TqRunCode(program, text ? text : "", text ? len : 0, 0, 0, TqThreadMatchData());
    if (rc >= 0) return TqMatchResult::Match;
    return TqIsRunFailure(rc) ? TqMatchResult::LimitHit : TqMatchResult::NoMatch;
}

// ---- TqRegex ---------------------------------------------------------------

int TqRegex::SetExp(const char* pattern, int options) {
    // Only case, line mode and the (meaning-free) machine-code choice count.
    m_program = TqRegexCompile(pattern, options & (TQ_REGEX_ICASE | TQ_REGEX_MULTILINE | TQ_REGEX_JIT_WHEN_HOT));
    return m_program ? TRUE : FALSE;
}

int TqRegex::GetGroupCount() const { return m_program ? m_program->GroupCount() : 0; }

int TqRegex::IsMatch(const char* text) const {
    if (!m_program || !text) return TRUE;
    return TqRegexRun(*m_program, text, std::strlen(text)) == TqMatchResult::Match ? TRUE : FALSE;
}

int TqRegex::IsMatch(const char* pattern, const char* text, int options) {
    if (!SetExp(pattern, options)) return FALSE;
    return IsMatch(text);
}

int TqRegex::Match(const char* text, int count, CsString* groups, int flags) const {
    if (count > TQ_REGEX_MAX_GROUPS) count = TQ_REGEX_MAX_GROUPS;
    if (!groups || count < 0) count = 0;
    int pairs = 0;
    const PCRE2_SIZE* ov = nullptr;
    int result = TRUE;
    if (m_program && text) {
        pcre2_match_data* data = TqThreadMatchData();
        int rc = TqRunCode(*m_program, text, std::strlen(text), 0, MatchOptions(flags), data);
        if (rc < 0) {
            result = FALSE;
        } else {
            // rc == 0: more groups than the match data holds; all of it is set.
            pairs = rc == 0 ? (int)pcre2_get_ovector_count(data) : rc;
            ov = pcre2_get_ovector_pointer(data);
        }
    }
    for (int i = 0; i < count; ++i) {
        if (i < pairs && ov[2 * i] != PCRE2_UNSET && ov[2 * i + 1] >= ov[2 * i])
            groups[i].Set(text + ov[2 * i], ov[2 * i + 1] - ov[2 * i]);
        else
            groups[i].Empty();
    }
    return result;
}

int TqRegex::Match(const char* pattern, const char* text, int count, CsString* groups, int options) {
    if (!SetExp(pattern, options)) return FALSE;
    return Match(text, count, groups, 0);
}

int TqRegex::GetMatch(const char* text, CString& out) const {
    CsString whole;
    int result = Match(text, 1, &whole, 0);
    out = whole.GetStr();
    return result;
}

int TqRegex::GetMatch(const char* pattern, const char* text, CString& out, int options) {
    if (!SetExp(pattern, options)) {
        out.Empty();
        return FALSE;
    }
    return GetMatch(text, out);
}
