#include "inet/http/KvHttpRequest.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "base/str/StrFunc.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/net/KvComObject.h"

IMPLEMENT_DYNCREATE(KvHttpRequest, KvHttpBuffer)

namespace {

// Methods the proxy forwards; CONNECT is handled apart.
const char* const kKnownMethods[] = {
    "get",  "head",   "post",  "put",     "delete",    "options",    "trace",     "propfind",
    "proppatch", "move", "copy", "mkcol", "lock", "unlock", "bcopy", "bmove", "bdelete",
    "bpropfind", "bproppatch", "subscribe", "unsubscribe", "notify", "poll",
};

bool IsKnownMethod(const char* method) {
    for (const char* known : kKnownMethods) {
        if (StrICompare(method, known) == 0) return true;
    }
    return false;
}

// The next blank-separated token from `p` (leading blanks and tabs
// skipped); `p` moves behind the blank that ends it.
std::string_view NextToken(const char*& p) {
    while (*p == ' ' || *p == '\t') ++p;
    const char* start = p;
    while (*p && *p != ' ') ++p;
    std::string_view token(start, (size_t)(p - start));
    if (*p == ' ') ++p;
    return token;
}

bool HasLineBreak(const CString& s) { return s.FindOneOf("\r\n") >= 0; }

}  // namespace

KvHttpRequest::KvHttpRequest() = default;

KvHttpRequest::~KvHttpRequest() { FreeDomain(); }

void KvHttpRequest::Reset() {
    KvHttpBuffer::Reset();
    m_strVersion.Empty();
    m_strRequestLine.Empty();
    m_strOrgRequestLine.Empty();
    m_strMethod.Empty();
    m_strURL.Empty();
    m_bSecure = FALSE;
    m_strHostName.Empty();
    m_nPort = 0;
    m_strPath.Empty();
    m_strHost.Empty();
    m_strExtra.Empty();
    FreeDomain();
}

void KvHttpRequest::FreeDomain() {
    std::free(m_strDomain);
    delete[] m_ppDomainPart;
    m_strDomain = nullptr;
    m_ppDomainPart = nullptr;
    m_nDomainPart = 0;
}

int KvHttpRequest::SetDomain(const char* hostName) {
    FreeDomain();
    if (!hostName) hostName = "";
    size_t length = std::strlen(hostName);
    m_strDomain = static_cast<char*>(std::malloc(length + 1));
    if (!m_strDomain) return -1;
    std::memcpy(m_strDomain, hostName, length + 1);
    StrLowerCase(m_strDomain);
    int dots = 0;
    for (const char* p = m_strDomain; *p; ++p) dots += *p == '.';
    int room = dots + 1 < kMaxDomainParts ? dots + 1 : kMaxDomainParts;
    m_ppDomainPart = new (std::nothrow) char*[(size_t)room];
    if (!m_ppDomainPart) return -1;
    int count = StrSplit(m_strDomain, ".", m_ppDomainPart, room, true, true);
    if (count < 0) return KV_HTTP_BAD_TARGET;  // more labels than allowed
    m_nDomainPart = count;
    return count;
}

int KvHttpRequest::ParseFirstLineHeader(char* line) {
    if (!line) line = const_cast<char*>("");
    m_strRequestLine = line;
    m_strOrgRequestLine = line;
    const char* p = line;
    m_strMethod = NextToken(p);
    m_strURL = NextToken(p);
    m_strVersion = NextToken(p);
    if (m_strMethod.IsEmpty() || m_strURL.IsEmpty() || m_strVersion.IsEmpty()) return -1;
    if (StrICompare(m_strMethod, "connect") == 0) {
        m_bSecure = TRUE;
    } else if (IsKnownMethod(m_strMethod)) {
        m_bSecure = FALSE;
    } else {
        return KV_HTTP_BAD_TARGET;
    }
    return ParseHttpUrl(m_strURL, this);
}

int KvHttpRequest::SendFirstLineHeader(KvComObject* con) {
    if (!con) return KV_COM_INVALID;
    if (HasLineBreak(m_strRequestLine)) return KV_COM_INVALID;
    CString line = m_strRequestLine + "\r\n";
    return con->Send(line.c_str(), line.GetLength());
}

int KvHttpRequest::TransferFirstLineHeaderTo(KvGenBuffer* buf) {
    if (!buf) return KV_COM_INVALID;
    if (HasLineBreak(m_strRequestLine)) return KV_COM_INVALID;
    if (!buf->PutString(m_strRequestLine) || !buf->PutString("\r\n", 2)) return KV_HTTP_NO_MEMORY;
    return m_strRequestLine.GetLength() + 2;
}
