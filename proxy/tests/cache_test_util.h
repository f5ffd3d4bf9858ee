// Helpers shared by the cache tests: temporary directories and answers.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"

namespace cachetest {

// A fresh directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/kvcache_test_XXXXXX";
        const char* made = mkdtemp(pattern);
        m_path = made ? made : "/tmp";
        m_path += "/";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + name; }

private:
    std::string m_path;
};

// An answer as an origin sends it.
inline void MakeAnswer(KvHttpResponse& r, const std::string& body, const char* type = "text/html") {
    r.Reset();
    r.m_strVersion = "HTTP/1.1";
    r.m_strStatus = "200 OK";
    r.m_nStatus = 200;
    r.SetHeaderValue("Content-Type", type);
    r.SetHeaderValue("Date", "Sat, 17 Jun 2000 12:00:00 GMT");
    r.AddHeaderValue("Set-Cookie", "a=1");
    r.AddHeaderValue("set-cookie", "b=2");
    r.AddHeaderValue("Set-Cookie2", "c=3; Version=1");
    r.AddHeaderValue("Cache-Control", "private");
    r.AddHeaderValue("CACHE-CONTROL", "no-store");
    r.m_bufBody.PutString(body.data(), body.size());
}

inline std::string Body(KvHttpResponse& r) { return std::string(r.m_bufBody.GetData(), r.m_bufBody.GetCount()); }

// A browser's GET through the proxy.
inline void MakeRequest(KvHttpRequest& q, const std::string& url, const char* ifModifiedSince = nullptr) {
    std::string text = "GET " + url + " HTTP/1.1\r\nHost: x\r\n";
    if (ifModifiedSince) text += std::string("If-Modified-Since: ") + ifModifiedSince + "\r\n";
    text += "\r\n";
    KvGenBuffer buf;
    buf.PutString(text.data(), text.size());
    q.Reset();
    q.Receive(&buf);
}

inline int CountHeader(KvHttpBuffer& m, const char* name) {
    int n = 0;
    m.m_mapHeader.ForEach([&](CsStrMapItem* item) { n += strcasecmp(item->GetKey(), name) == 0; });
    return n;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace cachetest
