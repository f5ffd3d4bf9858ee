// The bulk link import of link directories.
#include "proxy/sites/KvWebLinkImport.h"

#include <vector>

#include "base/containers/KvObjectArray.h"
#include "inet/html/KvSimpleLink.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/sites/KvWebLink.h"

namespace {

// Removes every text from `open` up to the next `close` (inclusive),
// putting `with` in its place.
void ReplaceSpans(CString& text, const char* open, const char* close, const char* with) {
    const int openLen = (int)CString(open).GetLength();
    for (int at = text.Find(open); at >= 0; at = text.Find(open, at)) {
        const int end = text.Find(close, at + openLen);
        if (end < 0) break;
        text = text.Left(at) + with + text.Mid(end + 1);
        at += (int)CString(with).GetLength();
    }
}

void DmozToLines(CString& t) {
    t.Replace("\n  ", "\n###");
    t.Replace("http:", "|http:");
    t.Replace("https:", "|https:");
    t.Replace("\r\n", "|");
    t.Replace("\n", "|");
    t.Replace("###", "\n");
    t.Replace("|\n", "\n");
    for (int i = 0; i < 2; ++i) t.Replace("| ", "|");
    for (int i = 0; i < 2; ++i) t.Replace(" |", "|");
    t.Replace("-|", "|");
    t.Replace(" |", "|");
}

void ListToLines(CString& t) {
    t.Replace("\r\n", " ");
    t.Replace("\n", " ");
    for (const char* tag : {"<ul>", "<UL>", "</ul>", "</UL>"}) t.Replace(tag, "");
    t.Replace("<li>", "\n");
    t.Replace("<LI>", "\n");
    t.Replace("</li>", "");
    t.Replace("</LI>", "");
    for (int i = 0; i < 2; ++i) t.Replace("\n ", "\n");
    for (int i = 0; i < 4; ++i) t.Replace("  ", " ");
    ReplaceSpans(t, "target=", ">", ">");
    t.Replace("\" >", "\">");
    t.Replace("<a href=\"", "");
    t.Replace("<A HREF=\"", "");
    t.Replace("\">", "|");
    t.Replace("</a>", "|");
    t.Replace("</A>", "|");
    ReplaceSpans(t, "<", ">", "");
}

std::vector<CString> Split(const CString& text, char sep) {
    std::vector<CString> parts;
    int start = 0;
    for (int at = text.Find(sep); at >= 0; at = text.Find(sep, start)) {
        parts.push_back(text.Mid(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.Mid(start));
    return parts;
}

}  // namespace

bool KvLinkImportLines(const char* formatIn, const char* text, CString& lines) {
    const CString format(formatIn);
    lines = text;
    if (format == "url" || format == "title") return true;
    if (format == "dmoz") DmozToLines(lines);
    else if (format == "ul") ListToLines(lines);
    else return false;
    return true;
}

int KvParseImportLines(const char* text, bool titleFirst, KvObjectArray& out) {
    int added = 0;
    CString all(text);
    all.Replace("\r", "\n");
    for (const CString& line : Split(all, '\n')) {
        std::vector<CString> parts = Split(line, '|');
        parts.resize(3);
        for (CString& part : parts) part.Trim();
        const CString& url = titleFirst ? parts[1] : parts[0];
        const CString& title = titleFirst ? parts[0] : parts[1];
        if (!IsUrlValid(url.c_str()) || !KvIsWebAddress(url)) continue;
        out.Add(new KvSimpleLinkItem(url, title.IsEmpty() ? CString("@") : title, parts[2]));
        ++added;
    }
    return added;
}
