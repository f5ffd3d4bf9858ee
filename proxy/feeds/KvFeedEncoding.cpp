#include "proxy/feeds/KvFeedEncoding.h"

#include <iconv.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace {

// The encoding named in an XML declaration at the start of `text`, or "".
std::string DeclaredEncoding(const std::string& text, size_t& valueStart, size_t& valueEnd) {
    if (text.compare(0, 5, "<?xml") != 0) return "";
    size_t end = text.find("?>");
    size_t at = text.find("encoding", 0);
    if (end == std::string::npos || at == std::string::npos || at > end) return "";
    size_t p = at + 8;
    while (p < end && (text[p] == ' ' || text[p] == '=')) ++p;
    if (p >= end || (text[p] != '"' && text[p] != '\'')) return "";
    char quote = text[p];
    size_t close = text.find(quote, p + 1);
    if (close == std::string::npos || close > end) return "";
    valueStart = p + 1;
    valueEnd = close;
    return text.substr(p + 1, close - p - 1);
}

bool IsUtf8Name(const std::string& name) {
    return strcasecmp(name.c_str(), "utf-8") == 0 || strcasecmp(name.c_str(), "utf8") == 0 ||
           strcasecmp(name.c_str(), "us-ascii") == 0 || strcasecmp(name.c_str(), "ascii") == 0;
}

// Converts with iconv; false when the name is unknown or a byte does not
// belong to the encoding.
bool Convert(const char* from, const std::string& in, std::string& out, CString& why) {
    iconv_t cd = iconv_open("UTF-8", from);
    if (cd == (iconv_t)-1) {
        why.Format("unknown encoding %s", from);
        return false;
    }
    out.clear();
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    char piece[16384];
    bool ok = true;
    while (left > 0) {
        char* dst = piece;
        size_t room = sizeof piece;
        size_t rc = iconv(cd, &src, &left, &dst, &room);
        out.append(piece, sizeof piece - room);
        if (rc == (size_t)-1 && errno != E2BIG) {
            why.Format("bytes not in the declared encoding %s", from);
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

// Line and column (from 1) of a byte offset.
void Position(const std::string& text, size_t offset, KvFeedTextError& error) {
    error.line = 1;
    error.column = 1;
    for (size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++error.line;
            error.column = 1;
        } else if (((unsigned char)text[i] & 0xC0) != 0x80) {
            ++error.column;
        }
    }
}

// Length of the UTF-8 sequence at p that encodes an XML character, or 0.
size_t XmlCharLength(const unsigned char* p, const unsigned char* end) {
    unsigned c = p[0];
    if (c < 0x80) return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') ? 1 : 0;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || (size_t)(end - p) < n) return 0;
    unsigned long code = c & (0x3F >> (n - 1));
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    static const unsigned long kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMin[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE ||
        code == 0xFFFF) {
        return 0;
    }
    return n;
}

bool IsPredefined(const std::string& name) {
    return name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos";
}

// Checks a reference starting at text[i] == '&'; false when malformed or
// an undeclared name (when names need declaring).
bool ReferenceOk(const std::string& text, size_t i, bool namesDeclaredElsewhere, const std::string& subset) {
    size_t semi = text.find(';', i + 1);
    if (semi == std::string::npos || semi - i > 40 || semi == i + 1) return false;
    std::string name = text.substr(i + 1, semi - i - 1);
    if (name[0] == '#') {
        bool hex = name.size() > 1 && name[1] == 'x';
        size_t from = hex ? 2 : 1;
        if (from >= name.size()) return false;
        for (size_t k = from; k < name.size(); ++k) {
            if (hex ? !std::isxdigit((unsigned char)name[k]) : !std::isdigit((unsigned char)name[k])) return false;
        }
        return true;
    }
    for (char c : name) {
        if (!std::isalnum((unsigned char)c) && c != '_' && c != '-' && c != '.' && c != ':' && !((unsigned char)c & 0x80)) {
            return false;
        }
    }
    return IsPredefined(name) || namesDeclaredElsewhere || subset.find("<!ENTITY " + name) != std::string::npos;
}

// Character and reference checks over the text; 0 when fine, else the
// offset of the fault + 1 with the reason.
size_t CheckText(const std::string& text, CString& why) {
    const unsigned char* base = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = base + text.size();
    for (const unsigned char* p = base; p < end;) {
        size_t n = XmlCharLength(p, end);
        if (!n) {
            why = "not a UTF-8 XML character";
            return (size_t)(p - base) + 1;
        }
        p += n;
    }
    // Entity names are declared in a DOCTYPE's internal subset; a DOCTYPE
    // with an outside DTD may declare any.
    size_t doctype = text.find("<!DOCTYPE");
    std::string subset;
    bool external = false;
    if (doctype != std::string::npos) {
        size_t close = text.find('>', doctype);
        size_t open = text.find('[', doctype);
        std::string head = text.substr(doctype, (close == std::string::npos ? text.size() : close) - doctype);
        external = head.find("SYSTEM") != std::string::npos || head.find("PUBLIC") != std::string::npos;
        if (open != std::string::npos && (close == std::string::npos || open < close)) {
            size_t subsetEnd = text.find("]>", open);
            subset = text.substr(open, subsetEnd == std::string::npos ? std::string::npos : subsetEnd - open);
        }
    }
    const size_t size = text.size();
    for (size_t i = 0; i < size; ++i) {
        while (i < size && text[i] != '<' && text[i] != '&') ++i;
        if (i == size) break;
        if (text[i] == '<' && i + 1 < text.size() && text[i + 1] != '!' && text[i + 1] != '?') continue;
        if (text.compare(i, 4, "<!--") == 0) {
            size_t close = text.find("-->", i + 4);
            i = close == std::string::npos ? text.size() : close + 2;
        } else if (text.compare(i, 9, "<![CDATA[") == 0) {
            size_t close = text.find("]]>", i + 9);
            i = close == std::string::npos ? text.size() : close + 2;
        } else if (text.compare(i, 2, "<?") == 0) {
            size_t close = text.find("?>", i + 2);
            i = close == std::string::npos ? text.size() : close + 1;
        } else if (text[i] == '&' && !ReferenceOk(text, i, external, subset)) {
            why = "a \"&\" that starts no declared reference";
            return i + 1;
        }
    }
    return 0;
}

}  // namespace

bool KvFeedToUtf8(const char* bytes, size_t length, std::string& out, KvFeedTextError& error) {
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    const unsigned char* u = reinterpret_cast<const unsigned char*>(text.data());
    std::string declared;
    if (text.size() >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        text.erase(0, 3);
    } else if (text.size() >= 2 && ((u[0] == 0xFF && u[1] == 0xFE) || (u[0] == 0xFE && u[1] == 0xFF))) {
        declared = u[0] == 0xFF ? "UTF-16LE" : "UTF-16BE";
        std::string converted;
        if (!Convert(declared.c_str(), text.substr(2), converted, error.message)) return false;
        text.swap(converted);
    }
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && first > 0 && text.compare(first, 5, "<?xml") == 0) text.erase(0, first);
    size_t valueStart = 0, valueEnd = 0;
    std::string named = DeclaredEncoding(text, valueStart, valueEnd);
    if (!named.empty() && declared.empty() && !IsUtf8Name(named) && strncasecmp(named.c_str(), "utf-16", 6) != 0) {
        std::string converted;
        bool latin1 = strcasecmp(named.c_str(), "iso-8859-1") == 0 || strcasecmp(named.c_str(), "latin1") == 0;
        // Text labelled ISO-8859-1 is read as Windows-1252, as browsers
        // do; the five bytes that code leaves undefined fall back.
        bool ok = Convert(latin1 ? "WINDOWS-1252" : named.c_str(), text, converted, error.message) ||
                  (latin1 && Convert("ISO-8859-1", text, converted, error.message));
        if (!ok) return false;
        text.swap(converted);
        DeclaredEncoding(text, valueStart, valueEnd);
    }
    if (valueEnd > valueStart) text.replace(valueStart, valueEnd - valueStart, "UTF-8");
    if (size_t fault = CheckText(text, error.message)) {
        Position(text, fault - 1, error);
        return false;
    }
    out.swap(text);
    return true;
}
