#include "proxy/repo/KvPageMeta.h"

#include <cstring>
#include <string_view>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsNameChar(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

bool EqualsNoCase(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

// The piece trimmed of blanks and cut to the text bound.
CString Piece(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    if (s.size() > (size_t)KV_PAGEMETA_MAX_TEXT) s = s.substr(0, KV_PAGEMETA_MAX_TEXT);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return CString(s.data(), (int)s.size());
}

size_t Find(std::string_view text, char c, size_t from) {
    size_t pos = from < text.size() ? text.find(c, from) : std::string_view::npos;
    return pos == std::string_view::npos ? text.size() : pos;
}

// One attribute of a tag from pos on: its name and value (empty when it
// has none). False when no attribute is left.
bool NextAttribute(std::string_view attrs, size_t& pos, std::string_view& name, std::string_view& value) {
    while (pos < attrs.size() && (IsBlank(attrs[pos]) || attrs[pos] == '/')) ++pos;
    if (pos >= attrs.size()) return false;
    size_t start = pos;
    while (pos < attrs.size() && !IsBlank(attrs[pos]) && attrs[pos] != '=' && attrs[pos] != '/') ++pos;
    if (pos == start) ++pos;  // a stray character on its own
    name = attrs.substr(start, pos - start);
    value = {};
    size_t look = pos;
    while (look < attrs.size() && IsBlank(attrs[look])) ++look;
    if (look >= attrs.size() || attrs[look] != '=') return true;
    pos = look + 1;
    while (pos < attrs.size() && IsBlank(attrs[pos])) ++pos;
    if (pos < attrs.size() && (attrs[pos] == '"' || attrs[pos] == '\'')) {
        size_t close = Find(attrs, attrs[pos], pos + 1);
        value = attrs.substr(pos + 1, close - pos - 1);
        pos = close < attrs.size() ? close + 1 : close;
    } else {
        start = pos;
        while (pos < attrs.size() && !IsBlank(attrs[pos])) ++pos;
        value = attrs.substr(start, pos - start);
    }
    return true;
}

void ReadMetaTag(std::string_view attrs, KvPageMeta& meta) {
    if (attrs.size() > (size_t)KV_PAGEMETA_MAX_TEXT) attrs = attrs.substr(0, KV_PAGEMETA_MAX_TEXT);
    std::string_view name, content, attrName, attrValue;
    bool hasName = false, hasContent = false;
    size_t pos = 0;
    while (NextAttribute(attrs, pos, attrName, attrValue)) {
        if (!hasName && EqualsNoCase(attrName, "name")) {
            name = attrValue;
            hasName = true;
        } else if (!hasContent && EqualsNoCase(attrName, "content")) {
            content = attrValue;
            hasContent = true;
        }
    }
    if (!hasName || !hasContent) return;
    if (EqualsNoCase(name, "description")) {
        meta.description = Piece(content);
        meta.hasDescription = true;
    } else if (EqualsNoCase(name, "keywords")) {
        meta.keywords = Piece(content);
        meta.hasKeywords = true;
    }
}

}  // namespace

void ScanPageMeta(const char* text, size_t length, KvPageMeta& meta) {
    if (!text) return;
    std::string_view page(text, length < KV_PAGEMETA_MAX_SCAN ? length : KV_PAGEMETA_MAX_SCAN);
    size_t i = 0;
    while ((i = Find(page, '<', i)) < page.size()) {
        ++i;
        if (page.substr(i, 3) == std::string_view("!--")) {
            size_t close = page.find("-->", i + 3);
            if (close == std::string_view::npos) return;
            i = close + 3;
            continue;
        }
        size_t nameStart = i;
        while (i < page.size() && IsNameChar(page[i])) ++i;
        std::string_view name = page.substr(nameStart, i - nameStart);
        // A "<" that opens no tag (a comparison in text) is passed over alone.
        if (name.empty() && (i >= page.size() || (page[i] != '/' && page[i] != '!'))) continue;
        size_t tagEnd = Find(page, '>', i);
        if (EqualsNoCase(name, "body")) return;
        if (EqualsNoCase(name, "title")) {
            size_t start = tagEnd < page.size() ? tagEnd + 1 : tagEnd;
            size_t end = Find(page, '<', start);
            meta.title = Piece(page.substr(start, end - start));
            meta.hasTitle = true;
            i = end;
            continue;
        }
        if (EqualsNoCase(name, "meta")) ReadMetaTag(page.substr(i, tagEnd - i), meta);
        i = tagEnd;
    }
}

void ScanPageMeta(const char* text, KvPageMeta& meta) {
    ScanPageMeta(text, text ? strnlen(text, KV_PAGEMETA_MAX_SCAN) : 0, meta);
}
