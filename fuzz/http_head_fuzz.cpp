// Fuzzes the reading of HTTP messages from a byte buffer: request and
// response heads and bodies, request targets and chunked bodies. What a
// message writes with TransferTo must read back as the same message.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpFunc.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// The headers TransferTo writes: every one with a name and a value.
std::vector<std::string> WrittenHeaders(const KvHttpBuffer& msg) {
    std::vector<std::string> out;
    msg.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (!*item->GetKey() || !*item->GetValue()) return;
        out.push_back(std::string(item->GetKey()) + ": " + item->GetValue());
    });
    return out;
}

std::string Body(const KvHttpBuffer& msg) {
    return std::string(msg.m_bufBody.GetData(), msg.m_bufBody.GetCount());
}

// Writes the message out and reads it back into `again`: the same headers,
// the same body, the same content length.
void RoundTrip(KvHttpBuffer& msg, KvHttpBuffer& again) {
    KvGenBuffer wire(1024);
    int64_t written = msg.TransferTo(&wire);
    if (written < 0) return;  // a first line that cannot be written
    Check((size_t)written == wire.GetCount());
    int64_t read = again.Receive(&wire);
    Check(read >= 0);
    Check(WrittenHeaders(again) == WrittenHeaders(msg));
    Check(Body(again) == Body(msg));
    Check(again.GetContentLength() == (int64_t)again.m_bufBody.GetCount());
}

void FuzzRequest(const std::string& input) {
    KvGenBuffer in(1024);
    in.PutString(input.data(), input.size());
    KvHttpRequest request;
    int64_t got = request.Receive(&in);
    (void)request.IsChunked();
    (void)request.GetIntHeaderValue("Content-Length");
    if (got <= 0) return;
    Check(request.GetContentLength() == (int64_t)request.m_bufBody.GetCount());
    // A request line the parser took apart (without a zero byte in it)
    // reads back with the same parts.
    if (!request.m_strRequestLine.IsEmpty() && request.m_strRequestLine.Find('\0') < 0) {
        KvHttpRequest again;
        RoundTrip(request, again);
        Check(again.m_strRequestLine == request.m_strRequestLine);
        Check(again.m_strMethod == request.m_strMethod && again.m_strURL == request.m_strURL);
        Check(again.m_strHostName == request.m_strHostName && again.m_nPort == request.m_nPort);
        Check(again.m_strPath == request.m_strPath);
    }
    // Labels of the host name point into the owned copy.
    for (int i = 0; i < request.m_nDomainPart; ++i) Check(request.m_ppDomainPart[i] != nullptr);

    // The body once more, as a chunked body.
    if (request.IsChunked()) {
        KvGenBuffer body(1024);
        body.PutString(request.m_bufBody.GetData(), request.m_bufBody.GetCount());
        KvHttpRequest chunked;
        chunked.AddHeaderValue("Transfer-Encoding", "gzip, chunked");
        int64_t decoded = chunked.ReceiveChunkedBody(&body);
        if (decoded >= 0) {
            Check(decoded == (int64_t)chunked.m_bufBody.GetCount());
            Check(chunked.GetContentLength() == decoded);
            Check(!chunked.IsChunked());
        }
    }
    request.Reset();
}

void FuzzResponse(const std::string& input) {
    KvGenBuffer in(1024);
    in.PutString(input.data(), input.size());
    KvHttpResponse response;
    int64_t got = response.Receive(&in);
    (void)response.IsTextFile();
    (void)response.IsHtmlFile();
    (void)response.IsImageFile();
    if (got <= 0) return;
    Check(response.GetContentLength() == (int64_t)response.m_bufBody.GetCount());
    if (!response.m_strVersion.IsEmpty() && response.m_strVersion.Find('\0') < 0 &&
        response.m_strStatus.Find('\0') < 0) {
        KvHttpResponse again;
        RoundTrip(response, again);
        Check(again.m_strVersion == response.m_strVersion);
        Check(again.m_nStatus == response.m_nStatus);
    }
}

void FuzzTarget(const std::string& input) {
    std::string target = input.substr(0, input.find('\0'));
    KvHttpRequest request;
    int r = ParseHttpUrl(target.c_str(), &request);
    if (r == 0 && target != "*") {
        Check(request.m_nPort >= 0 && request.m_nPort <= 65535);
        Check(request.m_nDomainPart > 0);
        Check(!request.m_strPath.IsEmpty());
    }
    // Reuse of the same request must not keep anything of the last target.
    Check(ParseHttpUrl("http://example.org:8080/a?b", &request) == 0);
    Check(request.m_strHostName == "example.org" && request.m_nPort == 8080 && request.m_nDomainPart == 2);
}

void FuzzChunked(const std::string& input) {
    KvGenBuffer in(1024);
    in.PutString(input.data(), input.size());
    KvHttpResponse response;
    response.AddHeaderValue("Transfer-Encoding", "chunked");
    response.AddHeaderValue("Content-Length", "12");
    int64_t decoded = response.ReceiveChunkedBody(&in);
    if (decoded < 0) return;
    Check(decoded == (int64_t)response.m_bufBody.GetCount());
    Check(response.GetHeaderValue("Transfer-Encoding") == nullptr);
    Check(response.GetIntHeaderValue("Content-Length") == (int)decoded);
    Check(response.GetContentLength() == decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Small enough that what TransferTo writes (": " and CR LF added to each
    // line) stays within the head limits when it is read again.
    if (size < 1 || size > 60000) return 0;
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] & 3) {
        case 0: FuzzRequest(input); break;
        case 1: FuzzResponse(input); break;
        case 2: FuzzTarget(input); break;
        default: FuzzChunked(input); break;
    }
    return 0;
}
