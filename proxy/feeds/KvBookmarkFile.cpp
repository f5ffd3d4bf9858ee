// The bookmark file: a tolerant reader and a writer.
#include "proxy/feeds/KvBookmarkFile.h"

#include <cctype>
#include <cstdlib>
#include <string_view>

#include "base/str/StrFunc.h"
#include "inet/html/KvHtmlEscape.h"

namespace {

using std::string_view;

constexpr char kDocType[] = "<!doctype netscape-bookmark-file-1>";
// The doctype must come early: the file opens with it, after blanks or a
// byte-order mark at most.
constexpr size_t kDocTypeWindow = 1024;

bool StartsNoCase(string_view text, size_t at, string_view word) {
    if (at + word.size() > text.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (std::tolower((unsigned char)text[at + i]) != std::tolower((unsigned char)word[i])) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += (char)cp;
    } else if (cp < 0x800) {
        out += (char)(0xC0 | (cp >> 6));
        out += (char)(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += (char)(0xE0 | (cp >> 12));
        out += (char)(0x80 | ((cp >> 6) & 0x3F));
        out += (char)(0x80 | (cp & 0x3F));
    } else {
        out += (char)(0xF0 | (cp >> 18));
        out += (char)(0x80 | ((cp >> 12) & 0x3F));
        out += (char)(0x80 | ((cp >> 6) & 0x3F));
        out += (char)(0x80 | (cp & 0x3F));
    }
}

// The reference at text[at] ("&...;") decoded into out; its length, 0 when
// it is none this reader knows.
size_t DecodeOneRef(string_view text, size_t at, std::string& out) {
    const size_t end = text.find(';', at);
    if (end == string_view::npos || end - at > 10) return 0;
    const string_view name = text.substr(at + 1, end - at - 1);
    static const struct { const char* name; const char* value; } kNamed[] = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
    for (const auto& n : kNamed) {
        if (name == string_view(n.name)) {
            out += n.value;
            return end - at + 1;
        }
    }
    if (name.size() < 2 || name[0] != '#') return 0;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string digits(name.substr(hex ? 2 : 1));
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) {
        return 0;
    }
    const unsigned long cp = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    AppendUtf8(out, cp);
    return end - at + 1;
}

// Element text: tags dropped, references decoded, line breaks and tabs as
// blanks, trimmed.
CString PlainText(string_view text) {
    std::string noTags;
    noTags.reserve(text.size());
    bool inTag = false;
    for (char c : text) {
        if (c == '<') inTag = true;
        else if (c == '>' && inTag) inTag = false;
        else if (!inTag) noTags += (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    CString out = KvDecodeCharRefs(noTags.data(), noTags.size());
    out.Trim();
    return out;
}

struct Attributes {
    CString href, addDate, tags;
};

// The attributes of the tag whose name ends at `at`; the position behind
// its ">", npos when the tag never ends.
size_t ReadAttributes(string_view text, size_t at, Attributes& attrs) {
    while (at < text.size()) {
        while (at < text.size() && std::isspace((unsigned char)text[at])) ++at;
        if (at >= text.size()) break;
        if (text[at] == '>') return at + 1;
        const size_t nameStart = at;
        while (at < text.size() && !std::isspace((unsigned char)text[at]) && text[at] != '=' && text[at] != '>') ++at;
        std::string name(text.substr(nameStart, at - nameStart));
        for (char& c : name) c = (char)std::tolower((unsigned char)c);
        while (at < text.size() && std::isspace((unsigned char)text[at])) ++at;
        string_view value;
        if (at < text.size() && text[at] == '=') {
            ++at;
            while (at < text.size() && std::isspace((unsigned char)text[at])) ++at;
            if (at < text.size() && (text[at] == '"' || text[at] == '\'')) {
                const size_t close = text.find(text[at], at + 1);
                if (close == string_view::npos) return string_view::npos;
                value = text.substr(at + 1, close - at - 1);
                at = close + 1;
            } else {
                const size_t start = at;
                while (at < text.size() && !std::isspace((unsigned char)text[at]) && text[at] != '>') ++at;
                value = text.substr(start, at - start);
            }
        } else if (name.empty()) {
            ++at;  // a stray byte such as "/" or a lone quote
            continue;
        }
        if (name == "href") attrs.href = KvDecodeCharRefs(value.data(), value.size());
        else if (name == "add_date") attrs.addDate = CString(value);
        else if (name == "tags") attrs.tags = PlainText(value);
    }
    return string_view::npos;
}

class Reader {
public:
    Reader(string_view text, int maxDepth, int maxEntries, KvBookmarkFile& out)
        : m_text(text), m_maxDepth(maxDepth), m_maxEntries(maxEntries), m_out(out) {
        m_stack.push_back({&out.root, 0});
    }

    void Run() {
        size_t at = m_text.find('<');
        while (at != string_view::npos && at < m_text.size()) {
            at = Step(at);
            if (at != string_view::npos) at = m_text.find('<', at);
        }
    }

private:
    struct Level {
        KvBookmark* folder;  // null below the depth bound: entries are counted, not kept
        int depth;
    };

    // Handles the tag at `at`; where to look on.
    size_t Step(size_t at) {
        if (StartsNoCase(m_text, at, "<!--")) {
            const size_t end = m_text.find("-->", at + 4);
            return end == string_view::npos ? end : end + 3;
        }
        if (IsTag(at, "<h3")) return ReadFolder(at + 3);
        if (IsTag(at, "<a")) return ReadLink(at + 2);
        if (IsTag(at, "<dd")) return ReadDescription(at + 3);
        if (IsTag(at, "<dl")) {
            OpenList();
            return SkipTag(at);
        }
        if (IsTag(at, "</dl")) {
            if (m_stack.size() > 1) m_stack.pop_back();
            m_pending = m_last = nullptr;
            return SkipTag(at);
        }
        return SkipTag(at);
    }

    bool IsTag(size_t at, string_view name) const {
        if (!StartsNoCase(m_text, at, name)) return false;
        const size_t next = at + name.size();
        return next >= m_text.size() || m_text[next] == '>' || m_text[next] == '/' ||
               std::isspace((unsigned char)m_text[next]);
    }

    size_t SkipTag(size_t at) const {
        const size_t end = m_text.find('>', at);
        return end == string_view::npos ? end : end + 1;
    }

    // A new entry in the current folder; null when it is beyond a bound.
    KvBookmark* Add(bool folder) {
        const Level& level = m_stack.back();
        if (!level.folder || (folder && level.depth >= m_maxDepth) || m_out.entries >= m_maxEntries) {
            ++m_out.skipped;
            return nullptr;
        }
        ++m_out.entries;
        level.folder->children.push_back(std::make_unique<KvBookmark>());
        KvBookmark* entry = level.folder->children.back().get();
        entry->folder = folder;
        return entry;
    }

    // Up to the closing tag `close`, or to the next tag of the list when it
    // was left open; the text and where to look on.
    size_t ElementText(size_t from, string_view close, CString& text) const {
        size_t at = m_text.find('<', from);
        while (at != string_view::npos) {
            if (StartsNoCase(m_text, at, close)) {
                text = PlainText(m_text.substr(from, at - from));
                return SkipTag(at);
            }
            if (IsTag(at, "<dt") || IsTag(at, "<dl") || IsTag(at, "</dl") || IsTag(at, "<dd")) break;
            at = m_text.find('<', at + 1);
        }
        const size_t end = at == string_view::npos ? m_text.size() : at;
        text = PlainText(m_text.substr(from, end - from));
        return end;
    }

    size_t ReadFolder(size_t at) {
        Attributes attrs;
        const size_t body = ReadAttributes(m_text, at, attrs);
        if (body == string_view::npos) return body;
        CString title;
        const size_t next = ElementText(body, "</h3", title);
        KvBookmark* folder = Add(true);
        if (folder) {
            folder->title = title;
            folder->addDate = std::atoll(attrs.addDate);
        }
        m_pending = folder;
        m_pendingFolder = true;
        m_last = folder;
        return next;
    }

    size_t ReadLink(size_t at) {
        Attributes attrs;
        const size_t body = ReadAttributes(m_text, at, attrs);
        if (body == string_view::npos) return body;
        CString title;
        const size_t next = ElementText(body, "</a", title);
        KvBookmark* link = Add(false);
        if (link) {
            link->title = title;
            link->url = attrs.href;
            link->url.Trim();
            link->tags = attrs.tags;
            link->addDate = std::atoll(attrs.addDate);
        }
        m_pending = nullptr;
        m_pendingFolder = false;
        m_last = link;
        return next;
    }

    size_t ReadDescription(size_t at) {
        const size_t body = SkipTag(at);
        if (body == string_view::npos) return body;
        CString text;
        const size_t next = ElementText(body, "</dd", text);
        if (m_last && m_last->desc.IsEmpty()) m_last->desc = text;
        m_last = nullptr;
        return next;
    }

    // A <DL>: the list of the folder just named, or (the top list, or a
    // stray one) more entries of the current folder.
    void OpenList() {
        const Level& current = m_stack.back();
        if (m_pendingFolder) {
            m_stack.push_back({m_pending, current.depth + 1});
        } else {
            m_stack.push_back(current);
        }
        m_pending = m_last = nullptr;
        m_pendingFolder = false;
    }

    string_view m_text;
    int m_maxDepth;
    int m_maxEntries;
    KvBookmarkFile& m_out;
    std::vector<Level> m_stack;
    KvBookmark* m_pending = nullptr;  // the folder whose list may follow
    bool m_pendingFolder = false;     // an H3 was read (kept or not)
    KvBookmark* m_last = nullptr;     // the entry a <DD> describes
};

CString OneLine(const char* text) {
    CString out(text);
    out.Replace("\r\n", " ");
    out.Replace('\r', ' ');
    out.Replace('\n', ' ');
    return out;
}

CString DateAttr(long long addDate) { return addDate > 0 ? StrFormat(" ADD_DATE=\"%lld\"", addDate) : CString(); }

}  // namespace

CString KvDecodeCharRefs(const char* text, size_t length) {
    const string_view in(text ? text : "", text ? length : 0);
    std::string out;
    out.reserve(in.size());
    for (size_t at = 0; at < in.size(); ++at) {
        if (in[at] == '&') {
            const size_t used = DecodeOneRef(in, at, out);
            if (used) {
                at += used - 1;
                continue;
            }
        }
        out += in[at];
    }
    return CString(std::move(out));
}

bool KvReadBookmarkFile(const char* text, size_t length, int maxDepth, int maxEntries, KvBookmarkFile& out,
                        CString& error) {
    const string_view all(text ? text : "", text ? length : 0);
    size_t start = 0;
    if (all.substr(0, 3) == string_view("\xEF\xBB\xBF")) start = 3;
    while (start < all.size() && start < kDocTypeWindow && std::isspace((unsigned char)all[start])) ++start;
    if (!StartsNoCase(all, start, kDocType)) {
        error = "This is not a bookmark file: it must begin with <!DOCTYPE NETSCAPE-Bookmark-file-1>.";
        return false;
    }
    out = KvBookmarkFile();
    out.root.folder = true;
    Reader(all.substr(start + sizeof(kDocType) - 1), maxDepth, maxEntries, out).Run();
    return true;
}

// --- the writer -------------------------------------------------------------------------

KvBookmarkWriter::KvBookmarkWriter(const char* title) {
    const CString t = HtmlEscape(OneLine(title));
    m_out = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
            "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
            "<TITLE>" + t + "</TITLE>\n<H1>" + t + "</H1>\n<DL><p>\n";
}

CString KvBookmarkWriter::Indent() const { return CString(' ', 4 * m_depth); }

void KvBookmarkWriter::OpenFolder(const char* title, long long addDate, const char* desc) {
    m_out += Indent() + "<DT><H3" + DateAttr(addDate) + ">" + HtmlEscape(OneLine(title)) + "</H3>\n";
    if (desc && *desc) m_out += Indent() + "<DD>" + HtmlEscape(OneLine(desc)) + "\n";
    m_out += Indent() + "<DL><p>\n";
    ++m_depth;
}

void KvBookmarkWriter::CloseFolder() {
    if (m_depth <= 1) return;
    --m_depth;
    m_out += Indent() + "</DL><p>\n";
}

void KvBookmarkWriter::AddLink(const char* url, const char* title, long long addDate, const char* tags,
                               const char* desc) {
    CString tagList(tags);
    tagList.Replace(", ", ",");
    m_out += Indent() + "<DT><A HREF=\"" + HtmlEscape(OneLine(url)) + "\"" + DateAttr(addDate);
    if (!tagList.IsEmpty()) m_out += " TAGS=\"" + HtmlEscape(OneLine(tagList)) + "\"";
    m_out += ">" + HtmlEscape(OneLine(title)) + "</A>\n";
    if (desc && *desc) m_out += Indent() + "<DD>" + HtmlEscape(OneLine(desc)) + "\n";
}

const CString& KvBookmarkWriter::Finish() {
    while (m_depth > 1) CloseFolder();
    if (m_depth == 1) {
        m_out += "</DL><p>\n";
        m_depth = 0;
    }
    return m_out;
}
