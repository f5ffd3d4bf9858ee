// KvWebKavori: the browsing history ("history.php"), newest visit first,
// from "<base>/history.txt" (written by the proxy: date-time, URL and
// title, separated by tabs, one visit a line).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "inet/html/KvHtmlEscape.h"
#include "proxy/sites/KvWebKavori.h"

namespace {

// The most of the file that is read: its newest part. The proxy keeps the
// file far smaller; a file grown by other means still makes a bounded page.
constexpr size_t kReadLimit = (size_t)4 << 20;

struct Visit {
    std::string_view date, url, title;
};

// The last kReadLimit bytes of the file; empty when it is missing.
std::string ReadNewest(const CString& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        const off_t from = st.st_size > (off_t)kReadLimit ? st.st_size - (off_t)kReadLimit : 0;
        text.resize((size_t)(st.st_size - from));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, from + (off_t)got);
            if (n <= 0) break;
            got += (size_t)n;
        }
        text.resize(got);
        // Read from the middle, the first line is cut: it is left out.
        if (from > 0) text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    }
    ::close(fd);
    return text;
}

std::string_view NextField(std::string_view& line) {
    const size_t tab = line.find('\t');
    const std::string_view field = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    return field;
}

// The visits of the file, oldest first; lines without an address are skipped.
std::vector<Visit> ParseVisits(std::string_view text) {
    std::vector<Visit> visits;
    while (!text.empty()) {
        const size_t feed = text.find('\n');
        std::string_view line = text.substr(0, feed);
        text = feed == std::string_view::npos ? std::string_view() : text.substr(feed + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        Visit visit;
        visit.date = NextField(line);
        visit.url = NextField(line);
        visit.title = NextField(line);
        if (visit.url.empty()) continue;
        if (visit.title.empty()) visit.title = visit.url;
        visits.push_back(visit);
    }
    return visits;
}

// The length of the UTF-8 character at text[i] and its code point; 0 when
// the bytes there are not one (a page's title in a single-byte charset).
size_t Utf8At(std::string_view text, size_t i, unsigned long& code) {
    const unsigned char lead = (unsigned char)text[i];
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    code = lead & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = (unsigned char)text[i + k];
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    return overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0 : length;
}

// Escaped for the page; UTF-8 characters (titles are mostly UTF-8, the
// page frame is single-byte) as character references, other bytes as
// they are.
CString Text(std::string_view text) {
    const CString escaped = HtmlEscape(std::string(text).c_str());
    const std::string_view in = escaped.view();
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        unsigned long code = 0;
        const size_t length = (unsigned char)in[i] >= 0x80 ? Utf8At(in, i, code) : 0;
        if (length == 0) {
            out.push_back(in[i]);
            continue;
        }
        char ref[16];
        std::snprintf(ref, sizeof ref, "&#x%lX;", code);
        out += ref;
        i += length - 1;
    }
    return CString(out.c_str());
}

// The title as a link to the address, or as text when the address is not
// one a page may link to (http and https only).
CString RenderVisitLink(const Visit& visit) {
    const CString url(std::string(visit.url).c_str());
    if (!KvIsWebAddress(url)) return Text(visit.title);
    return "<a href=\"" + HtmlEscapeAttr(url) + "\">" + Text(visit.title) + "</a>";
}

CString RenderHistory(const std::vector<Visit>& visits) {
    CString body = "<h1>History/User Track</h1>";
    if (visits.empty()) return body + "No History";
    body += "<table border=\"1\" cellpadding=\"2\" cellspacing=\"0\">";
    body += "<tr><td id=\"tbl_title\" align=\"center\">DATE-TIME</td><td id=\"tbl_title\" align=\"center\">WEBPAGES</td>"
            "<td id=\"tbl_title\" align=\"center\">URL</td></tr>";
    for (auto visit = visits.rbegin(); visit != visits.rend(); ++visit) {
        body += "<tr><td id=\"tbl_text\" align=\"center\">" + Text(visit->date) +
                "</td><td id=\"tbl_text\" align=\"left\">" + RenderVisitLink(*visit) +
                "</td><td id=\"tbl_text\" align=\"left\">" + Text(visit->url) + "</td></tr>";
    }
    body += "</table>\n";
    return body;
}

}  // namespace

int KvWebKavori::ResponseHistory() {
    const std::string text = ReadNewest(GetBasePath() + "/history.txt");
    return ResponsePortalPage("History", RenderHistory(ParseVisits(text)), "History", "/history.php");
}
