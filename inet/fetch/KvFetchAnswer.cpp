#include "inet/fetch/KvFetchAnswer.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "inet/fetch/KvFetchBody.h"
#include "inet/fetch/KvFetchStream.h"
#include "inet/http/KvHttpBuffer.h"
#include "inet/http/KvHttpResponse.h"

namespace {

constexpr int kPiece = 64 * 1024;

// The end of the head in `raw` (the offset behind its blank line), or 0.
size_t HeadEnd(const std::string& raw) {
    size_t crlf = raw.find("\r\n\r\n");
    size_t lf = raw.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) return 0;
    if (lf == std::string::npos || (crlf != std::string::npos && crlf < lf)) return crlf + 4;
    return lf + 2;
}

// Splits the head into lines and hands them to the response.
bool ParseHead(std::string head, KvHttpResponse& response) {
    response.Reset();
    bool first = true;
    size_t pos = 0;
    while (pos < head.size()) {
        size_t nl = head.find('\n', pos);
        if (nl == std::string::npos) nl = head.size();
        std::string line = head.substr(pos, nl - pos);
        pos = nl + 1;
        std::erase(line, '\r');
        if (line.empty()) break;
        if (first) {
            if (line.rfind("HTTP/", 0) != 0 || response.ParseFirstLineHeader(line.data()) < 0) return false;
            first = false;
        } else {
            response.ParseFieldFromLine(line.data());
        }
    }
    return !first && response.m_nStatus >= 100 && response.m_nStatus <= 999;
}

// Reads until `raw` holds a whole head; its end offset, or 0 with a reason.
size_t ReadHead(KvFetchStream& stream, int64_t deadline, std::string& raw, CString& error) {
    char piece[kPiece];
    for (;;) {
        if (size_t end = HeadEnd(raw)) return end;
        if (raw.size() > KV_HTTP_MAX_HEAD) {
            error = "answer head too long";
            return 0;
        }
        int n = stream.Read(piece, sizeof piece, deadline, error);
        if (n < 0) return 0;
        if (n == 0) {
            error = raw.empty() ? "connection closed without an answer" : "connection closed inside the answer head";
            return 0;
        }
        raw.append(piece, (size_t)n);
    }
}

bool IsChunked(const KvHttpResponse& response) {
    const char* te = response.GetHeaderValue("Transfer-Encoding");
    return te && strcasestr(te, "chunked");
}

bool ParseLength(const char* text, uint64_t& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    while (end && (*end == ' ' || *end == '\t')) ++end;
    if (!end || *end || text[0] == '-') return false;
    out = value;
    return true;
}

bool ReadChunked(KvFetchStream& stream, int64_t deadline, size_t maxBody, std::string rest, std::string& body,
                 CString& error) {
    KvChunkDecoder decoder(maxBody);
    char piece[kPiece];
    for (;;) {
        switch (decoder.Feed(rest.data(), rest.size(), body)) {
        case KvChunkDecoder::Result::Done: return true;
        case KvChunkDecoder::Result::Bad: error = "broken chunked framing"; return false;
        case KvChunkDecoder::Result::TooLarge: error = "body larger than the limit"; return false;
        case KvChunkDecoder::Result::NeedMore: break;
        }
        int n = stream.Read(piece, sizeof piece, deadline, error);
        if (n < 0) return false;
        if (n == 0) {
            error = "connection closed inside a chunked body";
            return false;
        }
        rest.assign(piece, (size_t)n);
    }
}

// A body of known length, or (length < 0) up to the end of the stream.
bool ReadPlain(KvFetchStream& stream, int64_t deadline, size_t maxBody, int64_t length, std::string& body,
               CString& error) {
    if (length >= 0 && (uint64_t)length > maxBody) {
        error.Format("body of %lld bytes larger than the limit", (long long)length);
        return false;
    }
    if (length >= 0 && body.size() > (size_t)length) body.resize((size_t)length);
    char piece[kPiece];
    while (length < 0 || body.size() < (size_t)length) {
        if (body.size() > maxBody) {
            error = "body larger than the limit";
            return false;
        }
        int n = stream.Read(piece, sizeof piece, deadline, error);
        if (n < 0) return false;
        if (n == 0) {
            if (length < 0) break;
            error = "connection closed before the body ended";
            return false;
        }
        size_t take = length < 0 ? (size_t)n : std::min((size_t)n, (size_t)length - body.size());
        body.append(piece, take);
    }
    if (body.size() > maxBody) {
        error = "body larger than the limit";
        return false;
    }
    return true;
}

bool Decode(KvHttpResponse& response, size_t maxBody, std::string& body, CString& error) {
    const char* coding = response.GetHeaderValue("Content-Encoding");
    if (!coding || (!strcasestr(coding, "gzip") && !strcasestr(coding, "deflate"))) return true;
    std::string plain;
    const char* why = "";
    if (!KvGunzip(body, maxBody, plain, why)) {
        error = why;
        return false;
    }
    body.swap(plain);
    response.RemoveHeadersNamed("Content-Encoding");
    return true;
}

}  // namespace

bool KvReadFetchAnswer(KvFetchStream& stream, int64_t deadline, size_t maxBody, bool headOnly,
                       KvHttpResponse& response, CString& error) {
    std::string raw;
    size_t headEnd;
    for (;;) {
        headEnd = ReadHead(stream, deadline, raw, error);
        if (!headEnd) return false;
        if (!ParseHead(raw.substr(0, headEnd), response)) {
            error = "not an HTTP answer";
            return false;
        }
        if (response.m_nStatus >= 200) break;
        raw.erase(0, headEnd);  // 100 Continue and friends: the real head follows
    }
    std::string body = raw.substr(headEnd);
    raw.clear();
    const int status = response.m_nStatus;
    bool ok;
    uint64_t length = 0;
    if (headOnly || status == 204 || status == 304) {
        body.clear();
        ok = true;
    } else if (IsChunked(response)) {
        std::string rest;
        rest.swap(body);
        ok = ReadChunked(stream, deadline, maxBody, std::move(rest), body, error);
        response.RemoveHeadersNamed("Transfer-Encoding");
    } else if (ParseLength(response.GetHeaderValue("Content-Length"), length)) {
        ok = ReadPlain(stream, deadline, maxBody, length > (uint64_t)INT64_MAX ? INT64_MAX : (int64_t)length, body,
                       error);
    } else {
        ok = ReadPlain(stream, deadline, maxBody, -1, body, error);
    }
    if (!ok || !Decode(response, maxBody, body, error)) return false;
    response.m_bufBody.Empty();
    response.m_bufBody.Write(body.data(), body.size());
    response.m_nContentLength = (int64_t)body.size();
    response.SetHeaderValue("Content-Length", (int64_t)body.size());
    return true;
}

int KvReadProxyHead(KvFetchStream& stream, int64_t deadline, CString& error) {
    std::string head;
    while (!HeadEnd(head)) {
        if (head.size() > KV_HTTP_MAX_HEAD) {
            error = "proxy answer head too long";
            return 0;
        }
        char ch;
        int n = stream.Read(&ch, 1, deadline, error);  // one byte at a time: the tunnel follows
        if (n <= 0) {
            if (n == 0) error = "proxy closed the connection";
            return 0;
        }
        head.push_back(ch);
    }
    int status = 0;
    if (std::sscanf(head.c_str(), "HTTP/%*d.%*d %d", &status) != 1) {
        error = "proxy answer is not HTTP";
        return 0;
    }
    return status;
}
