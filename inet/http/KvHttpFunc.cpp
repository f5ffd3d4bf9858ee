#include "inet/http/KvHttpFunc.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/containers/CsList.h"
#include "base/platform/CString.h"
#include "base/str/StrFunc.h"
#include "inet/http/KvHttpRequest.h"

namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool StartsWithNoCase(std::string_view text, const char* prefix) {
    size_t n = std::strlen(prefix);
    return text.size() >= n && StrICompare(text.data(), prefix, (int)n) == 0;
}

// The port after the colon of an authority: the leading digits (0 when
// there are none); -1 above 65535.
int ParsePort(std::string_view digits) {
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > 65535) return -1;
    }
    return (int)value;
}

std::string Escaped(const char* text) {
    CString s(text ? text : "");
    StrEscape(&s);
    return s.str();
}

bool HasLineBreak(const char* s) { return s && std::strpbrk(s, "\r\n") != nullptr; }

// name=value&name=value, both escaped.
std::string JoinParams(const CsStrMap& params) {
    std::string out;
    params.ForEach([&](CsStrMapItem* item) {
        if (!out.empty()) out += '&';
        out += Escaped(item->GetKey());
        out += '=';
        out += Escaped(item->GetValue());
    });
    return out;
}

}  // namespace

int ParseHttpUrl(const char* target, KvHttpRequest* request) {
    if (!request) return -1;
    request->m_strURL = target ? target : "";
    std::string_view rest(request->m_strURL.view());
    if (rest.empty()) return -1;
    if (rest[0] == '*') {
        if (rest.size() > 1) return KV_HTTP_BAD_TARGET;
        request->m_strPath = "*";
        request->m_strHost.Empty();
        return 0;
    }
    if (StartsWithNoCase(rest, "http://")) {
        request->m_bSecure = FALSE;
        rest.remove_prefix(7);
    } else if (StartsWithNoCase(rest, "https://")) {
        request->m_bSecure = TRUE;
        rest.remove_prefix(8);
    } else {
        request->m_bSecure = FALSE;
    }

    size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (request->m_bSecure || slash == std::string_view::npos) request->m_strPath = "/";
    else request->m_strPath = CString(rest.substr(slash));
    request->m_strHost = CString(authority);

    std::string_view host = authority;
    size_t at = host.find('@');
    if (at != std::string_view::npos) host = host.substr(at + 1);
    size_t colon = host.find(':');
    int port = request->m_bSecure ? 443 : 80;
    if (colon != std::string_view::npos) {
        port = ParsePort(host.substr(colon + 1));
        host = host.substr(0, colon);
    }
    request->m_strHostName = CString(host);
    request->m_nPort = port < 0 ? 0 : port;
    int labels = request->SetDomain(request->m_strHostName);
    if (labels < 0) return labels;
    if (labels == 0 || port < 0) return KV_HTTP_BAD_TARGET;
    return 0;
}

int CreateHttpRequest(KvHttpRequest& request, const char* url, const char* method, CsStrMap* params,
                      CsStrMap* headers) {
    if (!method || !*method) method = "GET";
    const std::string target = Escaped(url);
    const bool isGet = StrICompare(method, "GET") == 0;
    std::string text;
    text.reserve(256);
    text += method;
    text += ' ';
    text += target;
    if (isGet && params) {
        text += '?';
        text += JoinParams(*params);
    }
    text += " HTTP/1.0\r\n";
    if (headers) {
        headers->ForEach([&](CsStrMapItem* item) {
            if (HasLineBreak(item->GetKey()) || HasLineBreak(item->GetValue())) return;
            text += item->GetKey();
            text += " : ";
            text += item->GetValue();
            text += "\r\n";
        });
    }
    std::string body = !isGet && params ? JoinParams(*params) : std::string();
    text += "Content-Length : " + std::to_string(body.size()) + "\r\n\r\n";
    text += body;

    KvGenBuffer buffer(4096);
    buffer.PutString(text.data(), text.size());
    request.Reset();
    request.Receive(&buffer);
    return TRUE;
}

void FormatHttpTime(time_t when, char* out) {
    if (!out) return;
    struct tm tm {};
    if (!gmtime_r(&when, &tm)) {
        out[0] = '\0';
        return;
    }
    char text[64];
    int n = std::snprintf(text, sizeof(text), "%s, %02d %s %4d %02d:%02d:%02d GMT", kDayNames[tm.tm_wday % 7],
                          tm.tm_mday, kMonthNames[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min,
                          tm.tm_sec);
    // At most 29 characters and the zero, as the callers' buffers are sized.
    size_t len = n < 0 ? 0 : (n > 29 ? 29 : (size_t)n);
    std::memcpy(out, text, len);
    out[len] = '\0';
}

void GetHttpTime(int offsetSeconds, char* out) { FormatHttpTime(time(nullptr) + offsetSeconds, out); }

const char* KvHttpReasonPhrase(int status) {
    struct Reason {
        int status;
        const char* text;
    };
    static const Reason kReasons[] = {
        {100, "Continue"}, {101, "Switching Protocols"}, {200, "OK"}, {201, "Created"}, {202, "Accepted"},
        {203, "Non-Authoritative Information"}, {204, "No Content"}, {205, "Reset Content"},
        {206, "Partial Content"}, {300, "Multiple Choices"}, {301, "Moved Permanently"}, {302, "Found"},
        {303, "See Other"}, {304, "Not Modified"}, {305, "Use Proxy"}, {307, "Temporary Redirect"},
        {308, "Permanent Redirect"}, {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"},
        {403, "Forbidden"}, {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {409, "Conflict"}, {410, "Gone"},
        {411, "Length Required"}, {412, "Precondition Failed"}, {413, "Content Too Large"},
        {414, "URI Too Long"}, {415, "Unsupported Media Type"}, {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"}, {421, "Misdirected Request"}, {422, "Unprocessable Content"},
        {426, "Upgrade Required"}, {428, "Precondition Required"}, {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"}, {451, "Unavailable For Legal Reasons"},
        {500, "Internal Server Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"},
        {503, "Service Unavailable"}, {504, "Gateway Timeout"}, {505, "HTTP Version Not Supported"},
        {508, "Loop Detected"}, {511, "Network Authentication Required"},
    };
    for (const Reason& r : kReasons) {
        if (r.status == status) return r.text;
    }
    switch (status / 100) {
    case 1: return "Informational";
    case 2: return "Success";
    case 3: return "Redirection";
    case 4: return "Client Error";
    case 5: return "Server Error";
    default: return "Unknown";
    }
}
