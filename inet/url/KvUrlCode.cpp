#include "inet/url/KvUrlCode.h"

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "base/str/KvString.h"
#include "base/str/StrFunc.h"

namespace {

// Bytes the encoders keep: the letters and number characters of the
// alphanumeric set, and "_". The "+" of that set is escaped all the same:
// every form decoder reads a bare "+" as a blank.
bool IsKeptByEncoder(unsigned char b) {
    return std::isalpha(b) || std::isdigit(b) || b == '-' || b == ',' || b == '.' || b == '_';
}

int Encode(CString* text, bool blankAsPlus) {
    if (!text || text->IsEmpty()) return FALSE;
    const std::string& in = text->str();
    std::string out;
    out.reserve(in.size() * 3);
    for (char ch : in) {
        unsigned char b = (unsigned char)ch;
        if (IsKeptByEncoder(b)) {
            out += ch;
        } else if (b == ' ' && blankAsPlus) {
            out += '+';
        } else {
            out += '%';
            out += HEX_CHAR[b >> 4];
            out += HEX_CHAR[b & 0x0F];
        }
    }
    text->str().swap(out);
    return TRUE;
}

int Decode(CString* text, bool plusAsBlank) {
    if (!text || text->IsEmpty()) return FALSE;
    std::string& s = text->str();
    size_t n = s.size(), out = 0;
    for (size_t i = 0; i < n; ++i) {
        char ch = s[i];
        if (ch == '%' && i + 2 < n) {
            s[out++] = Esc2Char(s.c_str() + i + 1);
            i += 2;
        } else {
            s[out++] = (plusAsBlank && ch == '+') ? ' ' : ch;
        }
    }
    s.resize(out);
    return TRUE;
}

// atoi without overflow: digits after optional blanks and sign; 0 when the
// number does not fit an int.
int SafeAtoi(const char* p) {
    while (std::isspace((unsigned char)*p)) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 0x7FFFFFFF) return 0;
    }
    return (int)(negative ? -value : value);
}

bool IsPasswordChar(unsigned char b) { return std::isalnum(b) || b == '_' || b == '|'; }

}  // namespace

int UrlEncode(CString* text) { return Encode(text, false); }
int RawUrlEncode(CString* text) { return Encode(text, true); }
int UrlDecode(CString* text) { return Decode(text, false); }
int RawUrlDecode(CString* text) { return Decode(text, true); }

int BreakHostPort(const char* text, CsString& host, int& port) {
    port = 0;
    if (!text || !*text) {
        host = "127.0.0.1";
        return TRUE;
    }
    if (text[0] == '[') {
        // An IPv6 address in brackets ("[::1]:8168"): its colons are not the port's.
        const char* close = std::strchr(text, ']');
        if (close) {
            host.Set(text + 1, (size_t)(close - text - 1));
            if (close[1] == ':' && close[2]) port = SafeAtoi(close + 2);
            return TRUE;
        }
    }
    const char* colon = std::strchr(text, ':');
    if (!colon) {
        host = text;
        return TRUE;
    }
    if (colon[1]) port = SafeAtoi(colon + 1);
    host.Set(text, (size_t)(colon - text));
    return TRUE;
}

int IsUrlValid(const KvString& url) { return IsUrlValid(url.c_str()); }

int IsUrlValid(const char* url) {
    std::string_view text(url ? url : "");
    for (const char* prefix : {"/", "http:", "https:", "ftp:", "news:"})
        if (text.starts_with(prefix)) return TRUE;
    return FALSE;
}

// The same as matching "(.*)\.(.*)$" over the lines of the text.
int IsDomainValid(const char* text) { return text && std::strchr(text, '.') ? TRUE : FALSE; }

int IsEmailValid(const char*) { return TRUE; }

// The same as finding "[a-z|_|0-9]{4,}" without regard to case.
int IsPasswordValid(const char* text) {
    int run = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        run = IsPasswordChar((unsigned char)*p) ? run + 1 : 0;
        if (run >= 4) return TRUE;
    }
    return FALSE;
}

CString CleanupCgiParam(const char* text) { return CString(text); }
CString CleanupCgiParamEmail(const char* text) { return CString(text); }

CString CleanupCgiParamName(const char* text) {
    CString result(text);
    result.Replace('/', '_');
    return result;
}

CString CleanupCgiParamUrl(const char* text) {
    CString result(text);
    result.Trim();
    return result;
}

CString GetUrlPathOnly(const char* url) {
    CString text(url);
    return text.Left(text.ReverseFind('/') + 1);
}

void EnsureEndPoint(CString& name) {
    name.Trim();
    if (!name.IsEmpty() && name[name.GetLength() - 1] != '.') name += '.';
}

void CleanupEndPoint(CString&) {}
