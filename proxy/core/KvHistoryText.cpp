#include "proxy/core/KvHistoryText.h"

#include <strings.h>
#include <zlib.h>

#include <cctype>

#include "inet/http/KvHttpRequest.h"
#include "proxy/feeds/KvFeedText.h"

namespace {

constexpr size_t kMaxTitle = 300;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& ch : lower) ch = (char)std::tolower((unsigned char)ch);
    return lower;
}

// The value's first item (before ";" or ","), trimmed and lower case.
std::string FirstItem(const char* value) {
    std::string_view text(value ? value : "");
    text = text.substr(0, text.find_first_of(";,"));
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return Lower(text);
}

bool IsSpace(unsigned char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\f' || ch == '\v'; }

// Runs of white space (and no-break spaces) as one space, trimmed.
std::string Collapse(std::string_view text) {
    std::string out;
    bool space = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char ch = (unsigned char)text[i];
        const bool nbsp = ch == 0xC2 && i + 1 < text.size() && (unsigned char)text[i + 1] == 0xA0;
        if (IsSpace(ch) || nbsp || ch < 0x20) {
            if (nbsp) ++i;
            space = !out.empty();
            continue;
        }
        if (space) out.push_back(' ');
        space = false;
        out.push_back((char)ch);
    }
    return out;
}

// At most `limit` bytes, not ending inside a UTF-8 character.
std::string Bounded(std::string text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t cut = limit;
    while (cut > 0 && ((unsigned char)text[cut] & 0xC0) == 0x80) --cut;
    text.resize(cut);
    return text;
}

std::string Field(std::string_view text) {
    std::string field(text);
    for (char& ch : field) {
        if (ch == '\t' || ch == '\r' || ch == '\n') ch = ' ';
    }
    return field;
}

// Inflates what there is of a (possibly cut) compressed stream, up to the
// head's size; `windowBits` chooses gzip or zlib framing.
std::string Inflate(std::string_view data, int windowBits) {
    z_stream z{};
    if (inflateInit2(&z, windowBits) != Z_OK) return "";
    std::string out(kHistoryHeadBytes, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = (uInt)data.size();
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = (uInt)out.size();
    const int result = inflate(&z, Z_SYNC_FLUSH);
    const size_t produced = out.size() - z.avail_out;
    inflateEnd(&z);
    if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) return "";
    out.resize(produced);
    return out;
}

}  // namespace

bool KvIsPageLoad(const KvHttpRequest& request) {
    if (request.m_strMethod.CompareNoCase("GET") != 0) return false;
    const char* dest = request.GetHeaderValue("Sec-Fetch-Dest");
    if (dest && *dest) return FirstItem(dest) == "document";
    const std::string accept = Lower(request.GetHeaderValue("Accept") ? request.GetHeaderValue("Accept") : "");
    return accept.find("text/html") != std::string::npos;
}

bool KvIsHtmlPage(int status, const char* contentType) {
    return status == 200 && FirstItem(contentType) == "text/html";
}

std::string KvDecodedHead(std::string_view head, const char* contentEncoding) {
    const std::string coding = FirstItem(contentEncoding);
    if (coding.empty() || coding == "identity") return std::string(head.substr(0, kHistoryHeadBytes));
    if (coding == "gzip" || coding == "x-gzip") return Inflate(head, 15 + 16);
    if (coding == "deflate") {
        // Servers send zlib framing as the name says, a few raw deflate.
        std::string text = Inflate(head, 15);
        return text.empty() ? Inflate(head, -15) : text;
    }
    return "";
}

std::string KvPageTitle(std::string_view html) {
    html = html.substr(0, kHistoryHeadBytes);
    const std::string lower = Lower(html);
    size_t open = 0;
    for (;;) {
        open = lower.find("<title", open);
        if (open == std::string::npos) return "";
        const char next = open + 6 < lower.size() ? lower[open + 6] : '\0';
        if (next == '>' || IsSpace((unsigned char)next)) break;
        open += 6;  // "<titles>" or the like
    }
    const size_t start = lower.find('>', open);
    if (start == std::string::npos) return "";
    size_t stop = lower.find("</title", start);
    if (stop == std::string::npos) stop = lower.size();  // cut short: what there is
    const std::string raw(html.substr(start + 1, stop - start - 1));
    const CString text = KvDecodeHtmlEntities(raw.c_str());
    return Bounded(Collapse(std::string_view(text.c_str(), (size_t)text.GetLength())), kMaxTitle);
}

std::string KvHistoryLine(std::time_t when, std::string_view url, std::string_view title) {
    std::tm local{};
    localtime_r(&when, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = date;
    line += '\t';
    line += Field(url);
    line += '\t';
    line += Field(title.empty() ? url : title);
    line += '\n';
    return line;
}
