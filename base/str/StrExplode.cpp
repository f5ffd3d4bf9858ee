// Splitting texts into lists of pieces, tokens and key/value pairs.
#include <cctype>
#include <cstring>
#include <new>
#include <string_view>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "base/str/KvString.h"
#include "base/str/StrFunc.h"

namespace {

// Splits text at delimiter like KvString::GetToken (leading white space of
// the left part skipped): left is the part before the delimiter, right the
// rest behind it (empty when there is none). Both trimmed.
bool SplitOnce(const char* text, char delimiter, CString& left, CString& right) {
    std::string_view s(text ? text : "");
    size_t from = 0;
    while (from < s.size() && std::isspace((unsigned char)s[from])) ++from;
    size_t hit = s.find(delimiter, from);
    left = s.substr(from, hit == std::string_view::npos ? std::string_view::npos : hit - from);
    if (hit == std::string_view::npos) {
        right.Empty();
    } else {
        right = s.substr(hit + 1);
    }
    left.Trim();
    right.Trim();
    return hit != std::string_view::npos;
}

// Adds a piece that is not zero-terminated without an intermediate copy.
bool AddPiece(CsStrList& list, std::string_view piece) {
    auto* item = new (std::nothrow) CsStrListItem;
    if (!item) return false;
    if (!item->m_str.Set(piece.data(), piece.size()) || !list.AddTail(item)) {
        delete item;
        return false;
    }
    return true;
}

// Adds GetToken results from position 0 until the first empty token.
template <class Delimiter>
bool AddTokens(const char* text, CsStrList& list, Delimiter delimiter) {
    list.RemoveAll(true);
    KvString s(text);
    int pos = 0;
    for (;;) {
        KvString token = s.GetToken(pos, delimiter);
        if (token.IsEmpty()) return true;  // an empty field ends the scan
        if (!list.AddTail(token.c_str())) return false;
    }
}

}  // namespace

bool StrLineExplode(const char* text, CsStrList& list) {
    KvGenBuffer buffer;
    if (!buffer.PutString(text ? text : "")) return false;
    CString line;
    while (buffer.GetLine(line)) {
        if (!line.IsEmpty() && !list.AddTail(line.c_str())) return false;
    }
    return true;
}

bool StrExplode(const char* text, const char* sep, CsStrList& list) {
    if (StrIsEmpty(sep)) return false;  // an empty separator splits nothing
    std::string_view s(text ? text : ""), d(sep);
    size_t from = 0;
    for (;;) {
        size_t hit = s.find(d, from);
        std::string_view piece = s.substr(from, hit == std::string_view::npos ? hit : hit - from);
        if (!AddPiece(list, piece)) return false;
        if (hit == std::string_view::npos) return true;
        from = hit + d.size();
    }
}

bool StrExplodeByChar(const char* text, const char* delimiters, CsStrList& list, int count) {
    KvString s(text);
    int pos = 0;
    for (int i = 0; i < count; ++i) {
        if (!list.AddTail(s.GetToken(pos, delimiters).c_str())) return false;
    }
    return true;
}

bool StrExplodeToArray(const char* text, const char* sep, CsString* array, int n) {
    if (!array || n <= 0) return true;
    std::string_view s(text ? text : ""), d(sep ? sep : "");
    size_t from = 0;
    int i = 0;
    for (; i < n && from != std::string_view::npos; ++i) {
        size_t hit = d.empty() ? std::string_view::npos : s.find(d, from);
        std::string_view piece = s.substr(from, hit == std::string_view::npos ? hit : hit - from);
        array[i].Set(piece.data(), piece.size());
        from = hit == std::string_view::npos ? hit : hit + d.size();
    }
    // Elements without a piece are emptied, so no stale text survives.
    for (; i < n; ++i) array[i].Empty();
    return true;
}

bool BreakTokens(const char* text, CsStrList& list, char delimiter) {
    return AddTokens(text, list, delimiter);
}

bool BreakTokens(const char* text, CsStrList& list, const char* delimiters) {
    return AddTokens(text, list, delimiters);
}

bool Break2String(const char* text, CString& left, CString& right, char delimiter) {
    return SplitOnce(text, delimiter, left, right);
}

bool BreakKeyValue(const char* text, CString& key, CString& value, char delimiter) {
    bool found = SplitOnce(text, delimiter, key, value);
    key.MakeLower();
    if (!value.IsEmpty() && (value[0] == '\'' || value[0] == '"')) {
        int len = value.GetLength();
        value = len > 2 ? value.Mid(1, len - 2) : CString();
    }
    return found;
}
