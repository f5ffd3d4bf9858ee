// Name and URL clean-ups and entity conversion for pages.
#include <cstring>
#include <string>

#include "base/str/KvString.h"
#include "base/str/StrFunc.h"
#include "inet/html/KvHtml.h"
#include "inet/url/TqParseURL.h"

namespace {

// HTML 4 names of the Latin-1 bytes 0xA0..0xFE (0xFF is left as it is).
const char* const kLatin1Names[0xFF - 0xA0] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",
    "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",
    "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde",
    "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",
    "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",
};

// Shared walk of the two entity converters.
int ConvertEntities(CString* text, int quoteStyle, bool latin1) {
    if (!text) return 0;
    const std::string& in = text->str();
    std::string out;
    out.reserve(in.size() < 4096 ? 4096 : in.size() + in.size() / 8);
    for (unsigned char c : in) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"' && quoteStyle != 2) {
            out += "&quot;";
        } else if (c == '\'' && quoteStyle == 1) {
            out += "&#039;";
        } else if (latin1 && c >= 0xA0 && c < 0xFF) {
            out += '&';
            out += kLatin1Names[c - 0xA0];
            out += ';';
        } else {
            out += (char)c;
        }
    }
    text->str().swap(out);
    return 1;
}

}  // namespace

CString FixFolderName(const char* name, int flag) {
    KvString s(name);
    s.Trim();
    if (flag) s.MakeProperCase();
    std::string& t = s.str();
    for (char& c : t) {
        if (std::strchr(" ;',/\\&><", c) && c != '\0') c = '-';
    }
    s.Replace("--", "-");
    s.Replace("--", "-");
    return s;
}

CString GetNameFromTitle(const char* title) { return FixFolderName(title, 0); }

CString GetTitleFromUrl(const char* url) {
    unsigned long scheme = 0;
    CString schemeText, host, path;
    unsigned short port = 0;
    if (!TqParseURL(url, scheme, schemeText, host, path, port) || host.IsEmpty()) return CString("@");
    return host;
}

CString CleanupUrl2Save(const char* url) {
    unsigned long scheme = 0;
    CString schemeText, host, path;
    unsigned short port = 0;
    if (!TqParseURL(url, scheme, schemeText, host, path, port)) return CString();
    CString result(url);
    result.Trim();
    if (path.IsEmpty()) result += "/";
    return result;
}

CString UrlFormat2Show(const char* url, const char* separator) {
    CString s(url);
    if (s.Left(7) == "http://") s = s.Mid(7);
    const int piece = 90;
    if (s.GetLength() < piece) return s;
    CString result;
    for (int i = 0; i < s.GetLength(); i += piece) {
        if (i > 0) result += separator;
        result += s.Mid(i, piece);
    }
    return result;
}

CString EngNumberFormat(long long n) {
    unsigned long long v = n < 0 ? 0ULL - (unsigned long long)n : (unsigned long long)n;
    std::string digits = std::to_string(v);
    std::string out;
    int lead = (int)digits.size() % 3;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (int)(i - lead) % 3 == 0 && i >= (size_t)lead) out += ',';
        out += digits[i];
    }
    if (n < 0) out.insert(out.begin(), '-');
    return CString(out);
}

CString CleanHtml(const char* text) {
    CString result;
    if (!text) return result;
    std::string& out = result.str();
    bool inTag = false;
    for (const char* p = text; *p; ++p) {
        if (inTag) {
            if (*p == '>') inTag = false;
        } else if (*p == '<') {
            inTag = true;
        } else if (*p != '\r' && *p != '\n') {
            out += *p;
        }
    }
    return result;
}

int HtmlSpecialChars(CString* text, int quoteStyle) { return ConvertEntities(text, quoteStyle, false); }

int HtmlEntities(CString* text, int quoteStyle) { return ConvertEntities(text, quoteStyle, true); }

CString TinySpace() {
    return CString(
        "<table border=\"0\" cellpadding=\"0\" cellspacing=\"0\" width=\"100%\"><tr><td><img "
        "src=\"/_images/space.gif\" width=\"1\" height=\"8\"></td></tr></table>");
}
