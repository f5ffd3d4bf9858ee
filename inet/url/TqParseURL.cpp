#include "inet/url/TqParseURL.h"

#include <cctype>
#include <cstring>
#include <string_view>

namespace {

struct SchemeEntry {
    unsigned long id;
    const char* prefix;
    unsigned short defaultPort;
};

// Order matters: the first prefix that matches wins.
constexpr SchemeEntry kSchemes[] = {
    {kvSchemeFtp, "ftp://", 21},       {kvSchemeHttp, "http://", 80},
    {kvSchemeGopher, "gopher://", 0},  {kvSchemeHttp, "shttp://", 80},
    {kvSchemeFile, "file://", 0},      {kvSchemeMailto, "mailto://", 25},
    {kvSchemeNews, "news://", 144},    {kvSchemeNntp, "nntp://", 119},
    {kvSchemeTelnet, "telnet://", 23}, {kvSchemeWais, "wais://", 0},
    {kvSchemeMid, "mid://", 0},        {kvSchemeCid, "cid://", 0},
    {kvSchemeProspero, "prospero://", 0}, {kvSchemeAfs, "afs://", 0},
};

const SchemeEntry* FindScheme(std::string_view url) {
    for (const SchemeEntry& e : kSchemes)
        if (url.starts_with(e.prefix)) return &e;
    return nullptr;
}

// The port text after the colon, read like atoi (leading blanks, optional
// sign, digits up to the first other byte) but without overflow. False when
// the number does not fit a port.
bool ParsePort(std::string_view text, unsigned short& port) {
    size_t i = 0;
    while (i < text.size() && std::isspace((unsigned char)text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    unsigned long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (unsigned long)(text[i] - '0');
        if (value > 65535) return false;
    }
    if (negative && value != 0) return false;
    port = (unsigned short)value;
    return true;
}

// Cuts a final ":port" off the host. A colon inside a user part
// ("user:pass@host") or inside a bracketed IPv6 address is not a port; a
// host with two colons outside them is ambiguous and refused.
bool SplitPort(std::string_view& host, unsigned short& port) {
    port = 0;
    size_t from = 0;
    size_t at = host.rfind('@');
    if (at != std::string_view::npos) from = at + 1;
    if (from < host.size() && host[from] == '[') {
        size_t close = host.find(']', from);
        if (close == std::string_view::npos) return true;
        from = close;
    }
    size_t colon = host.find(':', from);
    if (colon == std::string_view::npos) return true;
    if (host.find(':', colon + 1) != std::string_view::npos) return false;
    if (!ParsePort(host.substr(colon + 1), port)) return false;
    host = host.substr(0, colon);
    return true;
}

}  // namespace

int TqParseURL(const char* url, unsigned long& scheme, CString& schemeText, CString& host,
               CString& path, unsigned short& port) {
    if (!url) return FALSE;
    std::string_view text(url);
    while (!text.empty() && std::isspace((unsigned char)text.front())) text.remove_prefix(1);
    if (text.empty()) return FALSE;

    const SchemeEntry* entry = FindScheme(text);
    if (!entry) return FALSE;
    scheme = entry->id;
    schemeText = entry->prefix;
    text.remove_prefix(std::strlen(entry->prefix));

    if (entry->id == kvSchemeFile) {
        // A drive ("C|" or "C:") is the host of a file URL.
        port = 0;
        size_t drive = text.find('|');
        if (drive == std::string_view::npos) drive = text.find(':');
        if (drive == std::string_view::npos) {
            host.Empty();
            path = CString(text);
        } else {
            host = CString(text.substr(0, drive + 1));
            path = CString(text.substr(drive + 1));
        }
        return TRUE;
    }

    size_t slash = text.find('/');
    std::string_view hostText = text.substr(0, slash);
    path = slash == std::string_view::npos ? CString() : CString(text.substr(slash));
    if (!SplitPort(hostText, port)) return FALSE;
    host = CString(hostText);
    return TRUE;
}

unsigned short TqSchemeDefaultPort(unsigned long scheme) {
    for (const SchemeEntry& e : kSchemes)
        if (e.id == scheme) return e.defaultPort;
    return 0;
}

const char* TqSchemePrefix(unsigned long scheme) {
    for (const SchemeEntry& e : kSchemes)
        if (e.id == scheme) return e.prefix;
    return "";
}
