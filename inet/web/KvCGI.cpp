#include "inet/web/KvCGI.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/str/StrFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/web/KvCookie.h"

IMPLEMENT_DYNCREATE(KvCGIFile, KvObject)
IMPLEMENT_DYNCREATE(KvCGI, KvObject)

namespace {

// Splits "name=value": name trimmed and lower-cased, value trimmed and
// un-escaped. False for a piece without "=" or starting with it.
bool SplitField(const char* p, size_t n, CString& name, CString& value) {
    const char* eq = static_cast<const char*>(std::memchr(p, '=', n));
    if (!eq || eq == p) return false;
    name = CString(std::string_view(p, (size_t)(eq - p)));
    name.Trim();
    name.MakeLower();
    value = CString(std::string_view(eq + 1, n - (size_t)(eq - p) - 1));
    value.Trim();
    StrUnEscape(&value);
    return true;
}

// The next line of a multipart body, up to LF (a CR before it dropped).
// False when it is longer than `max` bytes.
bool ReadPartLine(KvGenBuffer* body, CString& line, size_t max) {
    size_t end = body->Find("\n", 1);
    size_t len = end == KvGenBuffer::npos ? body->GetCount() : end;
    if (len > max) return false;
    const char* data = body->GetData();
    size_t textLen = (len && data[len - 1] == '\r') ? len - 1 : len;
    line = CString(std::string_view(data, textLen));
    body->Consume(end == KvGenBuffer::npos ? len : len + 1);
    return true;
}

// "--" + boundary: the start of every delimiter line.
std::string Delimiter(const char* boundary, int length) {
    std::string d("--");
    d.append(boundary, (size_t)length);
    return d;
}

// Keeps only the first `count` bytes of the buffer.
bool TruncateBuffer(KvGenBuffer* buf, size_t count) {
    if (count >= buf->GetStoredCount()) return true;
    size_t grow = buf->GetGrowBytes();
    char* block = buf->Detach();
    if (buf->Attach(block, count, grow)) return true;
    std::free(block);  // only when memory ran out while shrinking
    return false;
}

}  // namespace

KvObject* KvCGIFile::Clone() const {
    KvCGIFile* copy = new (std::nothrow) KvCGIFile;
    if (!copy) return nullptr;
    copy->m_strName = m_strName;
    copy->m_strFileName = m_strFileName;
    copy->m_strContentType = m_strContentType;
    if (!copy->m_bufContent.PutString(m_bufContent.GetData(), m_bufContent.GetCount())) {
        delete copy;
        return nullptr;
    }
    return copy;
}

CString KvGetMultipartBoundary(const char* contentType) {
    const char* at = StrIFindZ(contentType, "boundary");
    const char* eq = at ? std::strchr(at, '=') : nullptr;
    if (!eq) return CString();
    const char* p = eq + 1;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        const char* close = std::strchr(p + 1, '"');
        return close ? CString(std::string_view(p + 1, (size_t)(close - p - 1))) : CString();
    }
    const char* end = p;
    while (*end && *end != ';') ++end;
    CString boundary(std::string_view(p, (size_t)(end - p)));
    boundary.Trim();
    return boundary;
}

void KvCGI::Reset() {
    m_mapParam.RemoveAll();
    m_arrFile.RemoveAll();
    m_strMethod.Empty();
    m_strHost.Empty();
    m_strPath.Empty();
}

int KvCGI::Parse(KvHttpRequest* request) {
    Reset();
    if (!request) return FALSE;
    const char* host = request->GetHeaderValue("Host");
    m_strHost = host ? host : "";
    m_strMethod = request->m_strMethod;
    m_strMethod.MakeUpper();
    m_strPath = request->m_strPath;

    if (m_strMethod == "GET") {
        int q = m_strPath.Find('?');
        if (q >= 0) {
            CString query = m_strPath.Mid(q + 1);
            m_strPath = m_strPath.Left(q);
            DoParse(query);
        }
        return TRUE;
    }
    if (m_strMethod != "POST") return TRUE;

    KvGenBuffer& body = request->m_bufBody;
    const char* type = request->GetHeaderValue("Content-Type");
    if (type && StrIFindZ(type, "multipart/form-data")) {
        CString boundary = KvGetMultipartBoundary(type);
        if (boundary.IsEmpty() || (size_t)boundary.GetLength() > kMaxBoundary) return FALSE;
        return DoParseMultipart(&body, boundary);
    }
    DoParse(CString(std::string_view(body.GetData(), body.GetCount())));
    return TRUE;
}

const char* KvCGI::GetValue(const char* name, const char* defaultValue) const {
    return KvMapGetValue(m_mapParam, name, defaultValue);
}

int KvCGI::GetIntValue(const char* name, int defaultValue) const {
    return KvMapGetIntValue(m_mapParam, name, defaultValue);
}

KvCGIFile* KvCGI::GetFile(int index) const {
    if (index < 0 || index >= m_arrFile.GetSize()) return nullptr;
    return static_cast<KvCGIFile*>(m_arrFile.GetAt(index));
}

// --- query and form bodies ----------------------------------------------------

void KvCGI::DoParse(const char* text) {
    if (!text) return;
    // Joined values grow in std::strings (amortised) and are stored once
    // at the end, so a body repeating one name stays linear.
    struct Slot {
        CsStrMapItem* item;
        std::string value;
        bool joined;
    };
    std::vector<Slot> slots;
    std::unordered_map<std::string, size_t> index;
    for (CsStrMapItem* it = m_mapParam.Head(); it; it = it->Next()) {
        if (index.try_emplace(it->GetKey(), slots.size()).second) slots.push_back({it, it->GetValue(), false});
    }
    CString name, value;
    const char* p = text;
    while (*p) {
        while (std::isspace((unsigned char)*p)) ++p;
        const char* end = std::strchr(p, '&');
        size_t len = end ? (size_t)(end - p) : std::strlen(p);
        if (len == 0) break;  // an empty piece ends the parameters
        if (SplitField(p, len, name, value)) {
            auto found = index.find(name.str());
            if (found != index.end()) {
                Slot& slot = slots[found->second];
                slot.value += '|';
                slot.value += value.str();
                slot.joined = true;
            } else if (m_mapParam.AddTail(name, value)) {
                index.emplace(name.str(), slots.size());
                slots.push_back({m_mapParam.Tail(), value.str(), false});
            }
        }
        if (!end) break;
        p = end + 1;
    }
    for (Slot& slot : slots) {
        if (slot.joined) slot.item->m_value.Set(slot.value.c_str(), slot.value.size());
    }
}

void KvCGI::ParseField(KvString& pair) {
    CString name, value;
    if (SplitField(pair.c_str(), (size_t)pair.GetLength(), name, value)) AddField(name, value);
}

void KvCGI::AddField(const CString& name, const CString& value) {
    if (CsStrMapItem* item = m_mapParam.Find(name)) {
        std::string joined = item->GetValue();
        joined += '|';
        joined += value.str();
        item->m_value.Set(joined.c_str(), joined.size());
    } else {
        m_mapParam.AddTail(name, value);
    }
}

// --- multipart bodies --------------------------------------------------------------

int KvCGI::DoParseMultipart(KvGenBuffer* body, const char* boundary) {
    if (!body || !boundary || !*boundary) return FALSE;
    const int length = (int)std::strlen(boundary);
    const std::string close = Delimiter(boundary, length) + "--";
    int ok = TRUE;
    int parts = 0;
    CString line;
    body->ResetPos();
    while (!body->IsEmpty()) {
        if (!ReadPartLine(body, line, kMaxPartHead)) {
            ok = FALSE;
            break;
        }
        if (line.Find(boundary) < 0) break;
        if (std::strncmp(line, close.c_str(), close.size()) == 0) break;  // the closing delimiter
        if (++parts > kMaxParts || !DoParseMultipartComponent(body, boundary, length)) {
            ok = FALSE;
            break;
        }
    }
    body->ResetPos();
    return ok;
}

int KvCGI::DoParseMultipartComponent(KvGenBuffer* body, const char* boundary, int boundaryLength) {
    KvCGIFile part;
    size_t headBytes = 0;
    CString line;
    while (!body->IsEmpty()) {
        size_t mark = body->GetPos();
        if (!ReadPartLine(body, line, kMaxPartHead)) return FALSE;
        headBytes += (size_t)line.GetLength() + 2;
        if (headBytes > kMaxPartHead) return FALSE;
        if (line.IsEmpty()) {
            DoTransferContent(body, &part.m_bufContent, boundary, boundaryLength);
            DoCleanComponentContent(&part.m_bufContent);
            break;
        }
        if (line.Find(boundary) >= 0) {  // a part without content
            body->SetPos(mark);
            break;
        }
        DoParseFileAttr(&part, line);
    }
    AddPart(part);
    return TRUE;
}

size_t KvCGI::DoTransferContent(KvGenBuffer* from, KvGenBuffer* to, const char* boundary, int boundaryLength) {
    const std::string delimiter = Delimiter(boundary, boundaryLength);
    size_t count;
    if (std::strncmp(from->GetData(), delimiter.c_str(), delimiter.size()) == 0 &&
        from->GetCount() >= delimiter.size()) {
        count = 0;  // the delimiter follows the head at once
    } else {
        const std::string marker = "\n" + delimiter;
        size_t at = from->Find(marker.data(), marker.size());
        count = at == KvGenBuffer::npos ? from->GetCount() : at + 1;  // the LF stays with the content
    }
    if (count && !to->PutString(from->GetData(), count)) count = 0;  // out of memory: the part is dropped
    from->Consume(count);
    return count;
}

void KvCGI::DoCleanComponentContent(KvGenBuffer* content) {
    size_t n = content->GetStoredCount();
    const char* data = content->GetData() - content->GetPos();
    if (n == 0 || data[n - 1] != '\n') return;
    size_t cut = (n >= 2 && data[n - 2] == '\r') ? 2 : 1;
    TruncateBuffer(content, n - cut);
}

void KvCGI::DoParseFileAttr(KvCGIFile* file, const CString& line) {
    CString key, value;
    BreakKeyValue(line, key, value, ':');
    if (key == "content-type") {
        file->m_strContentType = value;
        return;
    }
    if (key != "content-disposition") return;
    // Parameters are separated by ";" outside quotes (a file name may hold one).
    const char* p = value;
    CString name, text;
    while (*p) {
        const char* q = p;
        bool quoted = false;
        while (*q && (quoted || *q != ';')) {
            if (*q == '"') quoted = !quoted;
            ++q;
        }
        CString token(std::string_view(p, (size_t)(q - p)));
        BreakKeyValue(token, name, text, '=');
        if (name == "name") file->m_strName = text;
        else if (name == "filename") file->m_strFileName = text;
        p = *q ? q + 1 : q;
    }
}

void KvCGI::AddPart(KvCGIFile& part) {
    if (part.m_strFileName.IsEmpty()) {
        if (part.m_strName.IsEmpty()) return;
        const KvGenBuffer& content = part.m_bufContent;
        CsString text(content.GetData(), content.GetCount());
        m_mapParam.AddTail(part.m_strName, text);
        return;
    }
    KvCGIFile* file = new (std::nothrow) KvCGIFile;
    if (!file) return;
    file->m_strName = part.m_strName;
    file->m_strFileName = part.m_strFileName;
    file->m_strContentType = part.m_strContentType;
    file->m_bufContent.Attach(part.m_bufContent);
    if (m_arrFile.Add(file) < 0) delete file;
}
