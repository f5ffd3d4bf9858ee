// Pieces of the portal's cache pages.
#include "proxy/sites/KvCachePageParts.h"

#include <sys/stat.h>

#include <cctype>

#include "inet/html/KvHtmlEscape.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheFiles.h"

const char kCacheTableStart[] = "<table border=\"1\" cellpadding=\"2\" cellspacing=\"0\">";

const char kCachePageStyle[] =
    "<style type=\"text/css\">\n"
    ".cache-browser h1 { font-size: 1.15rem; font-weight: 600; margin: 0 0 .4rem; }\n"
    ".cache-browser table { width: 100%; border: 1px solid var(--line); margin: 0 0 1.25rem; font-size: .92rem; }\n"
    ".cache-browser td { border: 1px solid var(--line); padding: .35rem .6rem; vertical-align: middle; }\n"
    ".cache-browser tr:first-child td { background: var(--wash); color: var(--muted); font-size: .75rem;"
    " font-weight: 600; letter-spacing: .05em; }\n"
    ".cache-browser td:first-child { width: 3.5rem; color: var(--muted); }\n"
    // Headings, row numbers and store names keep whole words; addresses
    // break where they must.
    ".cache-browser tr:first-child td { overflow-wrap: normal; }\n"
    ".cache-browser td:first-child, .cache-browser td.store { white-space: nowrap; overflow-wrap: normal; }\n"
    ".cache-browser td.store { width: 1%; }\n"
    ".cache-browser td.num { text-align: right; white-space: nowrap; width: 1%; }\n"
    ".cache-browser td.act { width: 1%; white-space: nowrap; }\n"
    ".cache-browser form.cache-del { margin: 0; }\n"
    ".cache-browser form.cache-del input[type=submit] { padding: .15rem .7rem; font-size: .8rem;"
    " background: var(--paper); color: #a3332b; border: 1px solid #dcb4b0; }\n"
    ".cache-browser form.cache-del input[type=submit]:hover { background: #a3332b; color: #fff; }\n"
    ".cache-browser form.cache-search { display: flex; gap: .5rem; margin: 0 0 1.25rem; }\n"
    ".cache-browser form.cache-search input.inputbox { flex: 1; max-width: 30rem; min-width: 0; }\n"
    ".cache-browser .cache-pager { display: flex; gap: 1rem; align-items: center; margin: 0 0 1rem; }\n"
    ".cache-browser .cache-pager .here { color: var(--muted); }\n"
    ".cache-browser .cache-note { color: var(--muted); font-size: .9rem; }\n"
    "@media (max-width: 40rem) { .cache-browser td { padding: .3rem .35rem; }"
    " .cache-browser td:first-child { width: 2rem; } .cache-browser table { font-size: .85rem; }"
    // Search results keep the address and its button on a phone.
    " .cache-hits td:first-child, .cache-hits td.store, .cache-hits tr:first-child td:nth-child(2)"
    " { display: none; } }\n"
    "</style>\n";

namespace {

bool IsHostLabelChar(unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_'; }

// A host key as the stores keep it: a name or an address in brackets,
// optionally ":port".
bool IsLinkableHost(const CString& host) {
    const char* p = host.c_str();
    if (*p == '[') {
        ++p;
        while (std::isxdigit((unsigned char)*p) || *p == ':' || *p == '.') ++p;
        if (*p++ != ']') return false;
    } else {
        const char* start = p;
        while (IsHostLabelChar((unsigned char)*p)) ++p;
        if (p == start) return false;
    }
    if (*p == ':') {
        ++p;
        const char* digits = p;
        while (std::isdigit((unsigned char)*p)) ++p;
        if (p == digits || p - digits > 5) return false;
    }
    return *p == '\0';
}

// A stored path: "/" first, then visible ASCII only (the stores escape
// the rest), nothing that could end an attribute.
bool IsLinkablePath(const CString& path) {
    const char* p = path.c_str();
    if (*p != '/') return false;
    for (; *p; ++p) {
        const unsigned char c = (unsigned char)*p;
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '\\' || c == '`')
            return false;
    }
    return true;
}

uint64_t FileBytes(const CString& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? (uint64_t)st.st_size : 0;
}

}  // namespace

bool KvCacheIsPlainStoreName(const CString& name) {
    if (name.IsEmpty() || name.GetLength() > 200 || name[0] == '.') return false;
    if (name.Find("..") >= 0) return false;
    for (const char* p = name.c_str(); *p; ++p) {
        const unsigned char c = (unsigned char)*p;
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    }
    return true;
}

std::vector<KvCacheStoreInfo> KvCacheListStoreInfo(bool withCounts) {
    std::vector<KvCacheStoreInfo> stores;
    const CString dir = KvCacheGetDirectory();
    for (const auto& [lower, onDisk] : KvCacheListStores(dir, ".cdt")) {
        KvCacheStoreInfo info;
        info.name = onDisk.c_str();
        if (!KvCacheIsPlainStoreName(info.name)) continue;  // no page could open it
        for (const char* ext : {".cdx", ".cdt"}) {
            const CString file = KvCacheFindFile(dir, info.name + ext);
            info.bytes += FileBytes(file) + FileBytes(file + "-wal");
        }
        if (withCounts) {
            KvCacheDB db;
            if (OpenReadOnlyCache(db, info.name)) info.objects = db.CountObjects();
        }
        stores.push_back(std::move(info));
    }
    return stores;
}

CString KvCacheHumanSize(uint64_t bytes) {
    CString text;
    if (bytes < 1024) {
        text.Format("%llu bytes", (unsigned long long)bytes);
        return text;
    }
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = (double)bytes / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    text.Format(value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

CString KvCacheObjectUrl(const CString& host, const CString& path) {
    if (!IsLinkableHost(host) || !IsLinkablePath(path)) return CString();
    const CString url = "http://" + host + path;
    return KvIsWebAddress(url) ? url : CString();
}

CString KvCacheObjectAnchor(const CString& host, const CString& path, const CString& text) {
    const CString url = KvCacheObjectUrl(host, path);
    if (url.IsEmpty()) return HtmlEscape(text);
    return "<a href=\"" + HtmlEscapeAttr(url) + "\">" + HtmlEscape(text) + "</a>";
}

CString KvCacheDeleteForm(const char* op, const CString& store, const CString& host, const CString& path,
                          const CString& token) {
    const bool wholeDomain = path.IsEmpty();
    CString form = "<form class=\"cache-del\" method=\"post\" action=\"/cache.php\"";
    if (wholeDomain) form += " onsubmit=\"return confirm('Delete every cached object of this domain?')\"";
    form += ">";
    form += "<input type=\"hidden\" name=\"op\" value=\"" + HtmlEscapeAttr(op) + "\">";
    form += "<input type=\"hidden\" name=\"name\" value=\"" + HtmlEscapeAttr(store) + "\">";
    form += "<input type=\"hidden\" name=\"host\" value=\"" + HtmlEscapeAttr(host) + "\">";
    if (!wholeDomain) form += "<input type=\"hidden\" name=\"path\" value=\"" + HtmlEscapeAttr(path) + "\">";
    form += "<input type=\"hidden\" name=\"rnd\" value=\"" + HtmlEscapeAttr(token) + "\">";
    form += wholeDomain ? "<input type=\"submit\" value=\"Delete\" title=\"Delete every cached object of this domain\">"
                        : "<input type=\"submit\" value=\"Delete\">";
    return form + "</form>";
}

CString KvCacheSearchForm(const CString& query) {
    return "<form class=\"cache-search\" method=\"get\" action=\"/cache.php\">"
           "<input type=\"hidden\" name=\"op\" value=\"search\">"
           "<input type=\"text\" class=\"inputbox\" name=\"q\" value=\"" +
           HtmlEscapeAttr(query) +
           "\" placeholder=\"Part of an address\" aria-label=\"Search cached addresses\">"
           "<input type=\"submit\" value=\"Search\"></form>";
}
