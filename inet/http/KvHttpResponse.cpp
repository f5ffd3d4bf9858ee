#include "inet/http/KvHttpResponse.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"
#include "base/time/KvTime.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/net/KvComObject.h"
#include "inet/web/KvMime.h"


IMPLEMENT_DYNCREATE(KvHttpResponse, KvHttpBuffer)

namespace {

constexpr const char* kFixedLastModified = "Sat, 17 Jun 2000 12:00:00 GMT";
constexpr const char* kLongAgo = "Mon, 26 Jul 1997 05:00:00 GMT";
constexpr int kCacheableSeconds = 600;
constexpr time_t kLocalFileExpirySeconds = 3640LL * 24 * 3600;

bool HasLineBreak(const CString& s) { return s.FindOneOf("\r\n") >= 0; }

// The content type of a local file from the extension of its name (a dot
// in a directory name does not count). An unknown type is sent as opaque
// bytes: a browser must not guess a script or page out of it.
CString MimeTypeOf(const char* path) {
    CString ext = GetFileExt(path);
    CString type = ext.IsEmpty() ? CString() : KvMime::GetInstance()->GetMimeByExt(ext, "");
    return type.IsEmpty() ? CString("application/octet-stream") : type;
}

// An HTTP date of a moment given in seconds since the epoch.
CString HttpDate(time_t when) {
    char text[30];
    FormatHttpTime(when, text);
    return CString(text);
}

}  // namespace

KvHttpResponse::KvHttpResponse() { m_nMaxLine = KV_HTTP_MAX_HEAD; }

KvHttpResponse::~KvHttpResponse() = default;

void KvHttpResponse::Reset() {
    KvHttpBuffer::Reset();
    m_strVersion.Empty();
    m_strStatus.Empty();
    m_bCacheable = FALSE;
}

int KvHttpResponse::ParseFirstLineHeader(char* line) {
    const char* p = line ? line : "";
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    while (*p && *p != ' ') ++p;
    m_strVersion = CString(std::string_view(start, (size_t)(p - start)));
    if (*p == ' ') ++p;
    m_strStatus = p;
    m_nStatus = std::atoi(p);
    return 0;
}

bool KvHttpResponse::HasThreeDigitStatus() const {
    const char* s = m_strStatus.c_str();
    for (int i = 0; i < 3; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
    }
    return s[3] == '\0' || s[3] == ' ';
}

int KvHttpResponse::SendFirstLineHeader(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    KvGenBuffer line(256);
    int n = TransferFirstLineHeaderTo(&line);
    if (n < 0) return n;
    return con->Send(line.GetData(), n);
}

int KvHttpResponse::TransferFirstLineHeaderTo(KvGenBuffer* buf) {
    if (!buf) return KV_COM_INVALID;
    if (HasLineBreak(m_strVersion) || HasLineBreak(m_strStatus)) return KV_COM_INVALID;
    if (!buf->PutString(m_strVersion) || !buf->PutString(" ", 1) || !buf->PutString(m_strStatus) ||
        !buf->PutString("\r\n", 2)) {
        return KV_HTTP_NO_MEMORY;
    }
    return m_strVersion.GetLength() + 1 + m_strStatus.GetLength() + 2;
}

int KvHttpResponse::EmulateApacheHeader() {
    return SetHeaderValue("Server", "Apache/1.3.27 (Win32) PHP/4.2.3") &&
           SetHeaderValue("X-Powered-By", "PHP/4.2.3");
}

int KvHttpResponse::SetKvProxyAsServer() {
    if (!SetHeaderValue("Server", "KvProxy/2.0.0 (Win32)")) return FALSE;
    RemoveHeader("X-Powered-By");
    return TRUE;
}

int KvHttpResponse::SetDynamicContent() {
    // The second "Cache-Control" replaces the first: the header ends with
    // the second value.
    return SetHeaderValue("Expires", kLongAgo) && SetHeaderValue("Last-Modified", kLongAgo) &&
           SetHeaderValue("Cache-Control", "no-store, no-cache, must-revalidate") &&
           SetHeaderValue("Cache-Control", "post-check=0, pre-check=0") && SetHeaderValue("Pragma", "no-cache");
}

int KvHttpResponse::Finish() {
    m_strVersion = "HTTP/1.0";
    if (m_strStatus.IsEmpty()) m_strStatus = "200 OK";
    if (!EmulateApacheHeader()) return FALSE;
    auto addIfAbsent = [this](const char* name, const char* value) {
        return GetHeaderValue(name) ? TRUE : AddHeaderValue(name, value);
    };
    if (!GetHeaderValue("Content-Length") && !SetHeaderValue("Content-Length", m_bufBody.GetCount())) return FALSE;
    if (!addIfAbsent("Content-Type", "text/html")) return FALSE;
    const time_t now = time(nullptr);
    CString date = HttpDate(now);
    if (!addIfAbsent("Date", date)) return FALSE;
    if (!m_bCacheable) return addIfAbsent("Last-Modified", date);
    return addIfAbsent("Last-Modified", kFixedLastModified) && addIfAbsent("Expires", HttpDate(now + kCacheableSeconds));
}

int KvHttpResponse::NotModifiedResponse(KvTime& lastModified) {
    m_strVersion = "HTTP/1.0";
    m_strStatus = "304 Not Modified";
    m_nStatus = 304;
    if (!EmulateApacheHeader()) return FALSE;
    CString modified;
    GetRFCTimeFormat(&lastModified.GetSystemTime(), &modified);
    return AddHeaderValue("Content-Length", "0") && AddHeaderValue("Content-Type", "text/html") &&
           AddHeaderValue("Last-Modified", modified) && AddHeaderValue("Connection", "close");
}

int KvHttpResponse::CreateFromLocalFile(const char* path) {
    if (!path || !*path) return FALSE;
    std::string native = KvNativePath(path);
    struct stat st;
    if (stat(native.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return FALSE;
    // Loaded aside first, so a failed read leaves the response as it was.
    KvGenBuffer content(4096);
    if (!content.PutFile(native.c_str())) return FALSE;
    m_bufBody.Attach(content);
    m_bufBody.SetGrowBytes(4096);
    m_strStatus = "200 OK";
    m_nStatus = 200;
    if (!SetHeaderValue("Content-Type", MimeTypeOf(native.c_str()))) return FALSE;
    if (!SetHeaderValue("Last-Modified", HttpDate(st.st_mtime))) return FALSE;
    if (!SetHeaderValue("Expires", HttpDate(time(nullptr) + kLocalFileExpirySeconds))) return FALSE;
    return Finish();
}
