#include "proxy/web/KvWebTemplate.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "proxy/web/KvParseImp.h"

IMPLEMENT_DYNCREATE(KvWebTemplate, CObject)

namespace {

void WriteToStderr(const char* line) { std::fprintf(stderr, "%s\n", line); }

std::atomic<KvTemplateLogHook> g_logHook{&WriteToStderr};

void LogTemplateError(const char* line) { g_logHook.load()(line); }

// Replaces every `from` by the one byte `to`, jumping from "&" to "&".
void ReplaceAll(std::string& text, std::string_view from, char to) {
    size_t i = text.find(from);
    if (i == std::string::npos) return;
    size_t out = i;
    while (i < text.size()) {
        if (text.compare(i, from.size(), from) == 0) {
            text[out++] = to;
            i += from.size();
            continue;
        }
        size_t next = text.find(from[0], i + 1);
        if (next == std::string::npos) next = text.size();
        std::memmove(&text[out], &text[i], next - i);
        out += next - i;
        i = next;
    }
    text.resize(out);
}

// Appends `src` reversed to `dst`.
void AppendReversed(std::string& dst, const char* src, size_t n) {
    size_t old = dst.size();
    dst.resize(old + n);
    std::reverse_copy(src, src + n, dst.data() + old);
}

// Splits a parameter text at blanks into name=value pairs; a value loses
// one enclosing quote at each end. An empty token ends the list.
void SplitParams(CsStrMap& params, const char* text) {
    params.RemoveAll(true);
    std::string_view rest(text ? text : "");
    size_t pos = 0;
    while (pos < rest.size()) {
        // One token: leading white space skipped, up to the next blank.
        while (pos < rest.size() && std::isspace((unsigned char)rest[pos])) ++pos;
        size_t end = rest.find(' ', pos);
        if (end == std::string_view::npos) end = rest.size();
        std::string_view token = rest.substr(pos, end - pos);
        pos = end + 1;
        if (token.empty()) break;

        size_t eq = token.find('=');
        if (eq == std::string_view::npos) continue;
        std::string name(token.substr(0, eq));
        std::string_view value = token.substr(eq + 1);
        if (!value.empty() && (value.front() == '"' || value.front() == '\'')) value.remove_prefix(1);
        if (!value.empty() && (value.back() == '"' || value.back() == '\'')) value.remove_suffix(1);
        params.AddTail(name.c_str(), std::string(value).c_str());
    }
}

// The scan of one Parse. The finished output grows at the end of `m_done`;
// the text still to scan is kept reversed in `m_rest`, so that putting an
// inserted value in front of it, and taking scanned bytes off it, cost only
// the bytes moved. Each byte is scanned a bounded number of times, and a
// replacement never moves the rest of the page.
class Expander {
public:
    Expander(KvParseImp& imp, std::string_view text) : m_imp(imp) {
        AppendReversed(m_rest, text.data(), text.size());
        m_done.reserve(text.size());
    }

    // Runs the scan; true when at least one placeholder was replaced.
    bool Run();
    std::string& Result() { return m_done; }

private:
    // Moves the next n bytes of the rest to the output.
    void Keep(size_t n) {
        AppendReversed(m_done, m_rest.data() + m_rest.size() - n, n);
        m_rest.resize(m_rest.size() - n);
    }
    // Resolves the key; true with `value` filled when the store answers.
    // `length` is the placeholder's length (it grows by one for a path).
    bool Lookup(const std::string& key, size_t& length, bool hasSecondBrace, CString& value);
    void StopAtBound();

    KvParseImp& m_imp;
    std::string m_done;
    std::string m_rest;
    int m_nReplaced = 0;
    size_t m_nInserted = 0;
};

bool Expander::Lookup(const std::string& key, size_t& length, bool hasSecondBrace, CString& value) {
    if (key[0] == '#') {
        size_t space = key.find(' ');
        std::string name = key.substr(1, space == std::string::npos ? std::string::npos : space - 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return (char)std::tolower(c); });
        CsStrMap params;
        if (space != std::string::npos) SplitParams(params, key.c_str() + space + 1);
        return m_imp.Function(name.c_str(), params, value) != 0;
    }
    if (key[0] == '{') {
        // A path needs its second closing brace; "{{name}" alone is text.
        if (!hasSecondBrace) return false;
        length += 1;
        return m_imp.Path(key.c_str() + 1, value) != 0;
    }
    return m_imp.Variable(key.c_str(), value) != 0;
}

void Expander::StopAtBound() {
    char line[200];
    std::snprintf(line, sizeof line,
                  "Template expansion stopped after %d replacements and %zu inserted bytes; "
                  "the rest of the page is left unexpanded.",
                  m_nReplaced, m_nInserted);
    LogTemplateError(line);
    Keep(m_rest.size());
}

bool Expander::Run() {
    bool modified = false;
    while (true) {
        size_t open = m_rest.rfind('{');
        size_t close = (open == std::string::npos || open == 0) ? std::string::npos
                                                                 : m_rest.rfind('}', open - 1);
        if (close == std::string::npos) break;
        Keep(m_rest.size() - 1 - open);  // the rest now starts with "{"

        size_t length = open - close + 1;  // "{key}"
        if (length == 2) {                 // "{}" stays
            Keep(length);
            continue;
        }
        std::string key;
        AppendReversed(key, m_rest.data() + close + 1, length - 2);
        bool hasSecondBrace = close > 0 && m_rest[close - 1] == '}';
        CString value;
        if (!Lookup(key, length, hasSecondBrace, value)) {
            Keep(length);
            continue;
        }
        size_t size = (size_t)value.GetLength();
        if (m_nReplaced >= KvWebTemplate::kMaxReplacements ||
            size > KvWebTemplate::kMaxInsertedBytes - m_nInserted) {
            StopAtBound();
            break;
        }
        m_rest.resize(m_rest.size() - length);
        AppendReversed(m_rest, value.c_str(), size);
        ++m_nReplaced;
        m_nInserted += size;
        modified = true;
    }
    Keep(m_rest.size());
    return modified;
}

}  // namespace

void KvSetTemplateLogHook(KvTemplateLogHook hook) { g_logHook.store(hook ? hook : &WriteToStderr); }

KvWebTemplate::~KvWebTemplate() { SetImp(nullptr, 0); }

void KvWebTemplate::SetImp(KvParseImp* imp, int owns) {
    if (m_bOwnsImp && m_pImp != imp) delete m_pImp;
    m_pImp = imp;
    m_bOwnsImp = owns;
}

int KvWebTemplate::Parse(KvGenBuffer* buffer) {
    if (!m_pImp || !buffer) return 0;
    Expander expander(*m_pImp, std::string_view(buffer->GetData(), buffer->GetCount()));
    if (!expander.Run()) return 1;

    std::string& text = expander.Result();
    ReplaceAll(text, "&#123;", '{');
    ReplaceAll(text, "&#125;", '}');
    buffer->Empty();
    return buffer->Write(text.data(), text.size()) ? 1 : 0;
}

void KvWebTemplate::ParseParams(CsStrMap& params, const char* text) { SplitParams(params, text); }
