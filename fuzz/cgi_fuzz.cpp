// Fuzzes the parameters of local requests: query strings, form bodies,
// multipart uploads (with a fixed or a fuzzed boundary), whole requests
// read from bytes, and cookie headers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/web/KvCGI.h"
#include "inet/web/KvCookie.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void Inspect(KvCGI& cgi, const KvHttpRequest& request) {
    for (CsStrMapItem* p = cgi.Head(); p; p = p->Next()) {
        Check(cgi.GetValue(p->GetKey(), nullptr) != nullptr);
        (void)cgi.GetIntValue(p->GetKey(), -1);
    }
    size_t body = request.m_bufBody.GetCount();
    for (int i = 0; i < cgi.GetFileCount(); ++i) {
        KvCGIFile* file = cgi.GetFile(i);
        Check(file != nullptr);
        Check(file->m_bufContent.GetCount() <= body);
        KvObject* copy = file->Clone();
        delete copy;
    }
    Check(cgi.GetFile(cgi.GetFileCount()) == nullptr && cgi.GetFile(-1) == nullptr);
    Check(cgi.GetFileCount() <= KvCGI::kMaxParts);
}

void FuzzQuery(const std::string& text) {
    KvHttpRequest request;
    request.m_strMethod = "get";
    request.m_strPath = CString("/page?") + text.c_str();
    KvCGI cgi;
    Check(cgi.Parse(&request));
    Check(cgi.m_strMethod == "GET" && cgi.m_strPath == "/page");
    Inspect(cgi, request);
}

void FuzzForm(const std::string& text) {
    KvHttpRequest request;
    request.m_strMethod = "POST";
    request.m_strPath = "/form";
    request.m_bufBody.PutString(text.data(), text.size());
    KvCGI cgi;
    Check(cgi.Parse(&request));
    Inspect(cgi, request);
}

// The first line names the "Content-Type" (or, empty, a fixed boundary);
// the rest is the body.
void FuzzMultipart(const std::string& text) {
    size_t cut = text.find('\n');
    std::string type = cut == std::string::npos ? std::string() : text.substr(0, cut);
    std::string body = cut == std::string::npos ? text : text.substr(cut + 1);
    if (type.empty()) type = "multipart/form-data; boundary=XyZ";
    KvHttpRequest request;
    request.m_strMethod = "POST";
    request.m_strPath = "/upload";
    request.AddHeaderValue("Content-Type", type.substr(0, type.find('\0')).c_str());
    request.m_bufBody.PutString(body.data(), body.size());
    KvCGI cgi;
    (void)cgi.Parse(&request);
    Check(request.m_bufBody.GetPos() == 0);  // the body is left as it was found
    Check(request.m_bufBody.GetCount() == body.size());
    Inspect(cgi, request);
    (void)cgi.Parse(&request);  // a second parse starts afresh
    Inspect(cgi, request);
}

void FuzzRequest(const std::string& text) {
    KvGenBuffer in(1024);
    in.PutString(text.data(), text.size());
    KvHttpRequest request;
    if (request.Receive(&in) <= 0) return;
    KvCGI cgi;
    (void)cgi.Parse(&request);
    Inspect(cgi, request);
    if (const char* cookie = request.GetHeaderValue("Cookie")) {
        KvCookie c;
        c.SetCookie(cookie);
    }
}

std::vector<std::string> Keys(const KvCookie& cookie) {
    std::vector<std::string> keys;
    cookie.m_mapValue.ForEach([&](CsStrMapItem* item) { keys.push_back(item->GetKey()); });
    return keys;
}

void FuzzCookie(const std::string& text) {
    std::string line = text.substr(0, text.find('\0'));
    KvCookie cookie;
    cookie.SetCookie(line.c_str());
    for (CsStrMapItem* p = cookie.m_mapValue.Head(); p; p = p->Next()) {
        Check(*p->GetKey() != '\0');
        Check(cookie.GetValue(p->GetKey(), nullptr) != nullptr);
        (void)cookie.GetIntValue(p->GetKey(), 0);
    }
    // Written and read again, the same names in the same order.
    KvCookie again;
    again.SetCookie(cookie.GetCookie());
    Check(Keys(again) == Keys(cookie));
    KvCookie copy(cookie);
    Check(copy.GetCookie() == cookie.GetCookie());
    copy.SetValue("sid", "1");
    Check(copy.GetIntValue("SID", 0) == 1);
    (void)KvTextToInt(line.c_str());
    (void)KvGetMultipartBoundary(line.c_str());
    CsStrMap map;
    KvMapAddPairs(map, line.c_str(), '&');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 128 * 1024) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 5) {
        case 0: FuzzQuery(text.substr(0, text.find('\0'))); break;
        case 1: FuzzForm(text); break;
        case 2: FuzzMultipart(text); break;
        case 3: FuzzRequest(text); break;
        default: FuzzCookie(text); break;
    }
    return 0;
}
