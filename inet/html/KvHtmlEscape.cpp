// Escaping helpers for text from outside (see KvHtmlEscape.h).
#include "inet/html/KvHtmlEscape.h"

#include <cstring>

#include "base/str/StrFunc.h"

namespace {

bool IsAlnum(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsUnreserved(unsigned char c) {
    return IsAlnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

void AppendHex(std::string& out, char lead, unsigned char c) {
    out += lead;
    out += HEX_CHAR[c >> 4];
    out += HEX_CHAR[c & 15];
}

CString Escape(const char* text, bool controls) {
    CString result;
    if (!text) return result;
    std::string& out = result.str();
    out.reserve(std::strlen(text) + 16);
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        switch (*p) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#039;"; break;
            case '{': out += "&#123;"; break;
            case '}': out += "&#125;"; break;
            case '\r': controls ? out += "&#13;" : out += '\r'; break;
            case '\n': controls ? out += "&#10;" : out += '\n'; break;
            case '\t': controls ? out += "&#9;" : out += '\t'; break;
            default: out += (char)*p; break;
        }
    }
    return result;
}

CString UrlEscape(const char* text, bool keepSlash) {
    CString result;
    if (!text) return result;
    std::string& out = result.str();
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (IsUnreserved(*p) || (keepSlash && *p == '/')) {
            out += (char)*p;
        } else {
            AppendHex(out, '%', *p);
        }
    }
    return result;
}

}  // namespace

CString HtmlEscape(const char* text) { return Escape(text, false); }

CString HtmlEscapeAttr(const char* text) { return Escape(text, true); }

CString UrlEscapeComponent(const char* text) { return UrlEscape(text, false); }

CString UrlEscapePath(const char* path) { return UrlEscape(path, true); }

CString JsEscape(const char* text) {
    CString result;
    if (!text) return result;
    std::string& out = result.str();
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        unsigned char c = *p;
        if (IsAlnum(c) || c == ' ' || c == ',' || c == '.' || c == '_' || c == '-' || c == ':' || c == '/' ||
            c == '?') {
            out += (char)c;
        } else {
            out += "\\x";
            out += HEX_CHAR[c >> 4];
            out += HEX_CHAR[c & 15];
        }
    }
    return result;
}

CString HtmlSafeHref(const char* url) {
    if (!url) return CString();
    // Browsers ignore blanks and control bytes before and inside a scheme,
    // so the scheme is judged on the text without them.
    std::string scheme;
    const char* p = url;
    for (; *p && *p != ':' && *p != '/' && *p != '?' && *p != '#'; ++p) {
        unsigned char c = (unsigned char)*p;
        if (c <= ' ') continue;
        scheme += (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (*p == ':') {
        if (scheme != "http" && scheme != "https" && scheme != "ftp") return CString("#");
    }
    return HtmlEscapeAttr(url);
}

bool KvIsWebAddress(const CString& url) {
    int start = 0;
    if (StrICompare(url.Left(7), "http://") == 0) start = 7;
    else if (StrICompare(url.Left(8), "https://") == 0) start = 8;
    else return false;
    const std::string& s = url.str();
    if ((int)s.size() <= start || s[start] == '/' || s[start] == '?' || s[start] == '#') return false;
    for (unsigned char c : s) {
        if (c <= ' ' || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '\\' || c == '`') {
            return false;
        }
    }
    return true;
}
