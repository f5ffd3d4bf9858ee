// Fuzzes the text functions that meet outside input: escaping (into small
// buffers) and un-escaping, wildcard patterns (pattern and text both from
// the input; a match must stay fast whatever the pattern), tokens and
// in-place splitting.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/containers/CsList.h"
#include "base/str/CsString.h"
#include "base/str/KvCharSet.h"
#include "base/str/KvString.h"
#include "base/str/StrFunc.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The input as two texts split at its first zero byte; control bytes up front.
struct Input {
    uint8_t a = 0, b = 0;
    std::string first, second;
};

Input Split(const uint8_t* data, size_t size) {
    Input in;
    in.a = data[0];
    in.b = data[1];
    std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    size_t cut = rest.find('\0');
    in.first = rest.substr(0, cut);
    if (cut != std::string::npos) in.second = rest.substr(cut + 1);
    in.second = in.second.substr(0, in.second.find('\0'));
    return in;
}

void FuzzEscape(const Input& in) {
    const std::string& text = in.first;
    std::string full(3 * text.size() + 1, '\0');
    int fullLength = StrEscape(text.c_str(), full.data(), (int)full.size());
    Check(fullLength >= 0 && (size_t)fullLength < full.size() && full[(size_t)fullLength] == '\0');
    full.resize((size_t)fullLength);

    // A small buffer of exactly its size: never written past, and what it
    // holds is the beginning of the whole escape.
    int size = in.a % 16;
    std::unique_ptr<char[]> small(size ? new char[(size_t)size] : nullptr);
    int n = StrEscape(text.c_str(), small.get(), size);
    if (size == 0) {
        Check(n == 0);
    } else {
        Check(n >= 0 && n < size && small[(size_t)n] == '\0');
        Check(full.compare(0, (size_t)n, small.get(), (size_t)n) == 0);
    }

    CString s(text.c_str());
    CsString cs(text.c_str());
    Check(StrEscape(&s) == !text.empty());
    Check(StrEscape(&cs) == !text.empty());
    Check(std::string(s.c_str()) == full && std::string(cs.GetStr()) == full);

    // Without bytes that un-escaping reads specially, the text comes back.
    if (text.find_first_of("+%") == std::string::npos) {
        Check(StrUnEscape(&s) == !full.empty());
        Check(StrUnEscape(&cs) == !full.empty());
        Check(std::string(s.c_str(), (size_t)s.GetLength()) == text);
        Check(std::string(cs.GetStr()) == text);
    }

    // Un-escaping the raw text: the three forms agree and never grow it.
    std::vector<char> raw(text.begin(), text.end());
    raw.push_back('\0');
    StrUnEscape(raw.data());
    CString u(text.c_str());
    CsString ucs(text.c_str());
    StrUnEscape(&u);
    StrUnEscape(&ucs);
    Check(std::strlen(raw.data()) <= text.size());
    Check(std::string(u.c_str(), (size_t)u.GetLength()).substr(0, std::strlen(raw.data())) ==
          std::string(raw.data()));
    Check(std::string(ucs.GetStr()) == std::string(raw.data()));
    (void)Esc2Char(text.c_str());
}

// A pattern that matches exactly this text: specials escaped.
std::string Literal(const std::string& text) {
    std::string p;
    for (char c : text) {
        if (c == '*' || c == '?' || c == '\\') p += '\\';
        p += c;
    }
    return p;
}

void FuzzMatch(const Input& in) {
    KvString text(in.second.c_str());
    bool matched = text.IsMatch(in.first.c_str());
    if (!text.IsEmpty()) {
        Check(text.IsMatch("*"));
        if (text.Find('[') < 0 && text.Find(']') < 0) {
            Check(text.IsMatch(Literal(in.second).c_str()));
            Check(text.IsMatch(("*" + Literal(in.second)).c_str()));
        }
        // A leading star also matches whatever the pattern matched.
        if (matched && in.first[0] != '*') Check(text.IsMatch(("*" + in.first).c_str()));
    }
    // The pattern read as text, too.
    KvString pattern(in.first.c_str());
    (void)pattern.IsMatch(in.second.c_str());
    (void)text.IsLike(in.first.c_str());
}

void FuzzTokens(const Input& in) {
    KvString text(in.second.c_str());
    int pos = (int)(int8_t)in.b;
    int steps = 0;
    if (in.a & 1) {
        const char delimiter = in.first.empty() ? ',' : in.first[0];
        while (pos < text.GetLength()) {
            int before = pos;
            (void)text.GetToken(pos, delimiter);
            Check(pos > before || before < 0);
            Check(++steps <= text.GetLength() + 1);
        }
        int count = text.GetTokenCount(delimiter);
        Check(count >= 0 && count <= text.GetLength() + 1);
        (void)text.GetList(in.b % 8, delimiter);
    } else {
        KvCharSet set(in.first.c_str());
        while (pos < text.GetLength()) {
            int before = pos;
            (void)text.GetToken(pos, in.first.c_str());
            (void)text.GetToken(before < 0 ? before : pos, set);
            Check(++steps <= text.GetLength() + 1);
        }
        (void)text.GetList(in.b % 8, in.first.c_str());
        CsStrList list;
        BreakTokens(in.second.c_str(), list, in.first.c_str());
        StrExplodeByChar(in.second.c_str(), in.first.c_str(), list, in.b % 8);
    }
}

void FuzzSplit(const Input& in) {
    std::vector<char> text(in.second.begin(), in.second.end());
    text.push_back('\0');
    const int maxFields = in.a % 12;
    std::unique_ptr<char*[]> fields(new char*[(size_t)maxFields + 1]);
    const char* separators = (in.b & 4) ? nullptr : in.first.c_str();
    int count = StrSplit(text.data(), separators, fields.get(), maxFields, in.b & 1, in.b & 2);
    Check(count >= -1 && count <= maxFields);
    for (int i = 0; i < count; ++i) {
        Check(fields[(size_t)i] >= text.data() && fields[(size_t)i] < text.data() + text.size());
    }
    CsStrList list;
    StrExplode(in.second.c_str(), in.first.c_str(), list);
    StrLineExplode(in.second.c_str(), list);
    CsString array[4];
    StrExplodeToArray(in.second.c_str(), in.first.c_str(), array, 4);
    CString left, right;
    Break2String(in.second.c_str(), left, right, in.first.empty() ? '=' : in.first[0]);
    BreakKeyValue(in.second.c_str(), left, right, '=');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > 16 * 1024) return 0;
    Input in = Split(data, size);
    switch (in.b >> 6) {
        case 0: FuzzEscape(in); break;
        case 1: FuzzMatch(in); break;
        case 2: FuzzTokens(in); break;
        default: FuzzSplit(in); break;
    }
    return 0;
}
