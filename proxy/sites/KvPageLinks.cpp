// The links of an HTML page.
#include "proxy/sites/KvPageLinks.h"

#include <strings.h>

#include <cctype>
#include <string>
#include <string_view>

#include "inet/html/KvHtmlEscape.h"
#include "inet/url/KvUrlCanonical.h"
#include "proxy/feeds/KvFeedText.h"

namespace {

// Case-insensitive search of an ASCII word from `from`.
size_t FindNoCase(const std::string& text, std::string_view word, size_t from) {
    for (size_t i = from; i + word.size() <= text.size(); ++i) {
        if (strncasecmp(text.data() + i, word.data(), word.size()) == 0) return i;
    }
    return std::string::npos;
}

// The end of the tag opened at `open` ("<"): the ">" outside quotes.
size_t TagEnd(const std::string& html, size_t open) {
    char quote = 0;
    for (size_t i = open + 1; i < html.size(); ++i) {
        const char c = html[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        }
    }
    return std::string::npos;
}

// Comments, scripts and styles blanked out, so a "<a" inside them is no link.
std::string WithoutHiddenParts(const std::string& html) {
    std::string out = html;
    struct Hidden {
        std::string_view open;
        std::string_view close;
    };
    for (const Hidden& part : {Hidden{"<!--", "-->"}, Hidden{"<script", "</script"}, Hidden{"<style", "</style"}}) {
        size_t at = 0;
        while ((at = FindNoCase(out, part.open, at)) != std::string::npos) {
            size_t end = FindNoCase(out, part.close, at + part.open.size());
            // The closing tag ends at its ">" ("</script >").
            if (end != std::string::npos) end = out.find('>', end);
            end = end == std::string::npos ? out.size() : end + 1;
            out.replace(at, end - at, end - at, ' ');
            at = end;
        }
    }
    return out;
}

// The value of attribute `name` in the tag text (between "<a" and ">").
bool AttributeValue(const std::string& tag, std::string_view name, std::string& value) {
    size_t i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && !isalpha((unsigned char)tag[i])) ++i;
        const size_t start = i;
        while (i < tag.size() && (isalnum((unsigned char)tag[i]) || tag[i] == '-' || tag[i] == '_')) ++i;
        const std::string_view attr(tag.data() + start, i - start);
        while (i < tag.size() && isspace((unsigned char)tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && isspace((unsigned char)tag[i])) ++i;
        std::string found;
        if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
            const char quote = tag[i++];
            const size_t end = tag.find(quote, i);
            found = tag.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? tag.size() : end + 1;
        } else {
            const size_t s = i;
            while (i < tag.size() && !isspace((unsigned char)tag[i])) ++i;
            found = tag.substr(s, i - s);
        }
        if (attr.size() == name.size() && strncasecmp(attr.data(), name.data(), name.size()) == 0) {
            value = found;
            return true;
        }
    }
    return false;
}

bool IsTagStart(const std::string& html, size_t at, std::string_view name) {
    const size_t after = at + name.size();
    return after < html.size() && (isspace((unsigned char)html[after]) || html[after] == '>');
}

}  // namespace

std::vector<KvPageLink> KvExtractPageLinks(const char* htmlText, const char* pageUrl, size_t limit) {
    const std::string html = WithoutHiddenParts(htmlText ? htmlText : "");
    std::string base = pageUrl ? pageUrl : "";
    const size_t baseTag = FindNoCase(html, "<base", 0);
    std::string baseHref;
    if (baseTag != std::string::npos && IsTagStart(html, baseTag, "<base")) {
        const size_t end = TagEnd(html, baseTag);
        if (end != std::string::npos && AttributeValue(html.substr(baseTag + 5, end - baseTag - 5), "href", baseHref)) {
            const CString resolved = KvResolveUrl(base, KvDecodeHtmlEntities(baseHref.c_str()).c_str());
            if (!resolved.IsEmpty()) base = resolved.c_str();
        }
    }
    std::vector<KvPageLink> links;
    size_t at = 0;
    while (links.size() < limit && (at = FindNoCase(html, "<a", at)) != std::string::npos) {
        const size_t end = TagEnd(html, at);
        if (end == std::string::npos) break;
        if (!IsTagStart(html, at, "<a")) {
            at += 2;
            continue;
        }
        std::string href;
        const bool hasHref = AttributeValue(html.substr(at + 2, end - at - 2), "href", href);
        size_t close = FindNoCase(html, "</a", end + 1);
        const size_t next = FindNoCase(html, "<a", end + 1);
        // An unclosed link ends where the next one begins.
        if (close == std::string::npos || (next != std::string::npos && next < close)) close = next;
        if (close == std::string::npos) close = html.size();
        at = close;
        if (!hasHref) continue;
        CString decoded = KvDecodeHtmlEntities(href.c_str());
        decoded.Trim();
        const CString url = KvResolveUrl(base, decoded.c_str());
        if (url.IsEmpty() || !KvIsWebAddress(url)) continue;
        CString text = KvHtmlToText(html.substr(end + 1, close - end - 1).c_str());
        links.push_back({url, text});
    }
    return links;
}
