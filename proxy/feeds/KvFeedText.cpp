#include "proxy/feeds/KvFeedText.h"

#include <strings.h>
#include <tinyxml2.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The names of the code points 160..255, in order.
const char* const kLatin1[96] = {
    "nbsp",   "iexcl", "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",   "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil", "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc", "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc", "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",  "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc", "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc", "uuml",   "yacute", "thorn",  "yuml"};

struct NamedChar {
    const char* name;
    unsigned long code;
};

const NamedChar kNamed[] = {
    {"amp", '&'},        {"lt", '<'},         {"gt", '>'},         {"quot", '"'},       {"apos", '\''},
    {"hellip", 0x2026},  {"mdash", 0x2014},   {"ndash", 0x2013},   {"lsquo", 0x2018},   {"rsquo", 0x2019},
    {"sbquo", 0x201A},   {"ldquo", 0x201C},   {"rdquo", 0x201D},   {"bdquo", 0x201E},   {"bull", 0x2022},
    {"trade", 0x2122},   {"euro", 0x20AC},    {"dagger", 0x2020},  {"Dagger", 0x2021},  {"permil", 0x2030},
    {"lsaquo", 0x2039},  {"rsaquo", 0x203A},  {"OElig", 0x152},    {"oelig", 0x153},    {"Scaron", 0x160},
    {"scaron", 0x161},   {"Yuml", 0x178},     {"fnof", 0x192},     {"circ", 0x2C6},     {"tilde", 0x2DC},
    {"ensp", 0x2002},    {"emsp", 0x2003},    {"thinsp", 0x2009},  {"zwnj", 0x200C},    {"zwj", 0x200D},
    {"lrm", 0x200E},     {"rlm", 0x200F},     {"prime", 0x2032},   {"Prime", 0x2033},   {"larr", 0x2190},
    {"rarr", 0x2192},    {"uarr", 0x2191},    {"darr", 0x2193},    {"harr", 0x2194},    {"minus", 0x2212},
    {"infin", 0x221E},   {"ne", 0x2260},      {"le", 0x2264},      {"ge", 0x2265},      {"hearts", 0x2665},
};

unsigned long LookupName(const std::string& name) {
    for (const NamedChar& n : kNamed) {
        if (name == n.name) return n.code;
    }
    for (int i = 0; i < 96; ++i) {
        if (name == kLatin1[i]) return 160ul + (unsigned long)i;
    }
    return 0;
}

// The reference at text[0] == '&': its code point and length, or 0.
unsigned long ReadReference(const char* text, size_t& length, bool namedToo) {
    const char* p = text + 1;
    unsigned long code = 0;
    if (*p == '#') {
        ++p;
        bool hex = *p == 'x' || *p == 'X';
        if (hex) ++p;
        const char* digits = p;
        while (hex ? std::isxdigit((unsigned char)*p) : std::isdigit((unsigned char)*p)) {
            if (p - digits > 8) return 0;
            code = code * (hex ? 16 : 10) + (unsigned long)(std::isdigit((unsigned char)*p) ? *p - '0'
                                                                                          : (std::tolower(*p) - 'a' + 10));
            ++p;
        }
        if (p == digits || *p != ';' || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    } else {
        if (!namedToo) return 0;
        const char* start = p;
        while (std::isalnum((unsigned char)*p) && p - start < 10) ++p;
        if (p == start || *p != ';') return 0;
        code = LookupName(std::string(start, (size_t)(p - start)));
        if (!code) return 0;
    }
    length = (size_t)(p + 1 - text);
    return code;
}

CString DecodeReferences(const char* text, bool named, bool xmlNamesOnly) {
    CString out;
    for (const char* p = text ? text : ""; *p;) {
        size_t length = 0;
        unsigned long code = *p == '&' ? ReadReference(p, length, named) : 0;
        if (code && xmlNamesOnly && p[1] != '#' && code > 0x7F) code = 0;
        if (code && xmlNamesOnly && p[1] != '#' && !std::strchr("&<>\"'", (int)code)) code = 0;
        if (!code) {
            out += *p++;
            continue;
        }
        KvAppendUtf8(out, code);
        p += length;
    }
    return out;
}

// Length of the UTF-8 sequence at p (zero-terminated text) when it is an
// XML character, else 0.
size_t Utf8CharLength(const unsigned char* p) {
    unsigned c = p[0];
    if (c < 0x80) return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' ? 1 : 0;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4) return 0;
    unsigned long code = c & (0x3F >> (n - 1));
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;  // the zero terminator stops here too
        code = (code << 6) | (p[i] & 0x3F);
    }
    static const unsigned long kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    bool ok = code >= kMin[n] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE &&
              code != 0xFFFF;
    return ok ? n : 0;
}

bool StartsWithNoCase(const char* p, const char* prefix) { return strncasecmp(p, prefix, std::strlen(prefix)) == 0; }

}  // namespace

void KvAppendUtf8(CString& out, unsigned long c) {
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | (c >> 6));
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | (c >> 12));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += (char)(0xF0 | (c >> 18));
        out += (char)(0x80 | ((c >> 12) & 0x3F));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

void CleanCData(CString& s) {
    // The closing "]]>" is checked: a text that only begins like a CDATA
    // section is not cut.
    if (s.Left(9) == "<![CDATA[" && s.GetLength() >= 12 && s.Right(3) == "]]>") {
        s = s.Mid(9, s.GetLength() - 12);
    }
}

void CleanRssString(CString& s) { s = DecodeReferences(s, true, true); }

CString XmlNode2String(const tinyxml2::XMLNode* node) {
    if (!node) return CString();
    CString text;
    for (const tinyxml2::XMLNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        tinyxml2::XMLPrinter printer(nullptr, true);
        child->Accept(&printer);
        text += printer.CStr();
    }
    CleanCData(text);
    CleanRssString(text);
    return text;
}

CString StrQueryFormat(const char* pattern, const char* query) {
    CString out = pattern ? pattern : "";
    out.Replace("{q}", query ? query : "");
    return out;
}

CString KvDecodeHtmlEntities(const char* text) { return DecodeReferences(text, true, false); }

CString KvHtmlToText(const char* html) {
    std::string text;
    const char* p = html ? html : "";
    while (*p) {
        if (*p != '<') {
            text += *p++;
            continue;
        }
        const char* close = nullptr;
        if (std::strncmp(p, "<!--", 4) == 0) {
            close = std::strstr(p + 4, "-->");
            p = close ? close + 3 : p + std::strlen(p);
            continue;
        }
        // Scripts and styles carry no text for the reader.
        const char* end = nullptr;
        if (StartsWithNoCase(p + 1, "script")) end = strcasestr(p, "</script");
        else if (StartsWithNoCase(p + 1, "style")) end = strcasestr(p, "</style");
        if (end) p = end;
        close = std::strchr(p, '>');
        if (!close) break;  // a tag cut short: the rest is no text
        text += ' ';
        p = close + 1;
    }
    return KvCollapseSpace(KvDecodeHtmlEntities(text.c_str()));
}

CString KvCollapseSpace(const char* text) {
    std::string out;
    bool blank = false;
    for (const char* p = text ? text : ""; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        // U+00A0 (no-break space) counts as white space too.
        bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
        if (c == 0xC2 && (unsigned char)p[1] == 0xA0) {
            space = true;
            ++p;
        }
        if (space) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += (char)c;
    }
    return CString(out.c_str());
}

CString KvXmlEscape(const char* text) {
    CString out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*p) {
        switch (*p) {
        case '&': out += "&amp;"; ++p; continue;
        case '<': out += "&lt;"; ++p; continue;
        case '>': out += "&gt;"; ++p; continue;
        case '"': out += "&quot;"; ++p; continue;
        case '\'': out += "&apos;"; ++p; continue;
        default: break;
        }
        size_t n = Utf8CharLength(p);
        if (n == 0) {
            if (*p >= 0x80) KvAppendUtf8(out, 0xFFFD);  // a byte that is no UTF-8
            ++p;                                        // control characters are dropped
            continue;
        }
        out += CString(std::string_view(reinterpret_cast<const char*>(p), n));
        p += n;
    }
    return out;
}
