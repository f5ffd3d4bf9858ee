#include "inet/fetch/KvHtmlGrab.h"

#include <strings.h>

#include <cctype>
#include <cstring>

#include "base/app/KvDelay.h"
#include "base/containers/CsList.h"
#include "base/str/StrFunc.h"
#include "inet/fetch/KvFetchUrl.h"
#include "inet/net/KvSocketWait.h"

IMPLEMENT_DYNCREATE(KvHtmlGrab, CObject)

namespace {

constexpr size_t kMaxValue = 5000;

// The tag at `p` (just behind "<") when its name is `name` exactly.
bool IsTag(const char* p, const char* end, const char* name) {
    size_t n = std::strlen(name);
    if ((size_t)(end - p) <= n || strncasecmp(p, name, n) != 0) return false;
    unsigned char next = (unsigned char)p[n];
    return std::isspace(next) || next == '>' || next == '/';
}

// The attribute `name` inside the tag running from `p` to `tagEnd`: where
// its value begins, or null.
const char* FindAttribute(const char* p, const char* tagEnd, const char* name) {
    size_t n = std::strlen(name);
    for (; p + n <= tagEnd; ++p) {
        if (!std::isspace((unsigned char)p[-1]) || strncasecmp(p, name, n) != 0) continue;
        const char* q = p + n;
        while (q < tagEnd && std::isspace((unsigned char)*q)) ++q;
        if (q < tagEnd && *q == '=') return q;
    }
    return nullptr;
}

}  // namespace

void KvHtmlGrab::AttachBuffer(KvGenBuffer* buffer) {
    if (buffer) m_bufContent.Attach(*buffer);
}

void KvHtmlGrab::DetachBuffer(KvGenBuffer* buffer) {
    if (buffer) buffer->Attach(m_bufContent);
}

int KvHtmlGrab::Load(const char* path) {
    m_bufContent.Empty();
    return m_bufContent.PutFile(path) ? TRUE : FALSE;
}

int KvHtmlGrab::Save(const char* path) { return m_bufContent.SaveBufferToFile(path) ? TRUE : FALSE; }

void KvHtmlGrab::SetContent(const char* text, int length) {
    m_bufContent.Empty();
    if (!text) return;
    m_bufContent.Write(text, length < 0 ? std::strlen(text) : (size_t)length);
}

CString KvHtmlGrab::GetContent() const {
    return CString(std::string_view(m_bufContent.GetData(), m_bufContent.GetCount()));
}

void KvHtmlGrab::Break(int ms) {
    if (m_bSleepMode) {
        if (ms > 0) KvWaitForStop(ms);
    } else if (ms <= 0) {
        DoEvents();
    } else {
        Delay((UINT)ms, 1);
    }
}

const char* KvHtmlGrab::GrabProspect(const char* p, const char* end, const CString& base, CsStrList* list) {
    while (p < end && (std::isspace((unsigned char)*p) || *p == '"' || *p == '\'' || *p == '=')) ++p;
    const char* start = p;
    while (p < end && (size_t)(p - start) < kMaxValue && !std::isspace((unsigned char)*p) && *p != '"' &&
           *p != '\'' && *p != '>') {
        ++p;
    }
    CString url = KvResolveReference(base, CString(std::string_view(start, (size_t)(p - start))));
    StrUnEscape(&url);
    int hash = url.Find('#');
    if (hash >= 0) url = url.Left(hash);
    url.Replace("/\\/", "/");
    url.Replace("/)/", "/");
    if (!url.IsEmpty() && !IsExcludeURL(url) && !list->Find(url)) list->AddTail(url);
    Break(0);
    return p;
}

int KvHtmlGrab::Grab(const char* baseUrl, CsStrList* links, CsStrList* styles, CsStrList* images,
                     CsStrList* scripts) {
    if (m_bufContent.IsEmpty()) return TRUE;
    if (!baseUrl || !*baseUrl || !links) return FALSE;
    const CString base = baseUrl;
    const char* p = m_bufContent.GetData();
    const char* const end = p + m_bufContent.GetCount();
    struct Kind {
        const char* tag;
        const char* attribute;
        CsStrList* list;
    };
    const Kind kinds[] = {{"a", "href", links},      {"frame", "src", links},    {"img", "src", images},
                          {"link", "href", styles},  {"script", "src", scripts}};
    while ((p = static_cast<const char*>(std::memchr(p, '<', (size_t)(end - p))))) {
        ++p;
        const char* tagEnd = static_cast<const char*>(std::memchr(p, '>', (size_t)(end - p)));
        if (!tagEnd) tagEnd = end;
        for (const Kind& kind : kinds) {
            if (!kind.list || !IsTag(p, tagEnd, kind.tag)) continue;
            if (const char* value = FindAttribute(p + 1, tagEnd, kind.attribute)) {
                GrabProspect(value, tagEnd, base, kind.list);
            }
            break;
        }
        p = tagEnd;
        if (p >= end) break;
    }
    return TRUE;
}
