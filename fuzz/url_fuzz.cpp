// Fuzzes URL parsing: KvUrl::SetUrl (with and without a base), the
// compositions that read the parsed parts, TqParseURL and the decoders.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "inet/url/KvUrl.h"
#include "inet/url/KvUrlCode.h"
#include "inet/url/KvUrlMime.h"
#include "inet/url/TqParseURL.h"

// A fixed table stands in for the MIME file, so every file type is reached.
CString KvUrlContentType(const CString& ext) {
    static const char* const table[][2] = {
        {"html", "text/html"}, {"txt", "text/plain"}, {"jpg", "image/jpeg"}, {"gif", "image/gif"},
        {"png", "image/png"},  {"mp3", "audio/mpeg"}, {"avi", "video/x-msvideo"}, {"x", "/odd"},
    };
    for (const auto& row : table)
        if (ext == row[0]) return CString(row[1]);
    return CString();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64 * 1024) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    // The first line may name a base; the rest is the URL.
    std::string base, url = text;
    size_t cut = text.find('\n');
    if (cut != std::string::npos) {
        base = text.substr(0, cut);
        url = text.substr(cut + 1);
    }

    KvUrl parsed;
    if (!base.empty()) parsed.SetBasePath(base.c_str());
    parsed.SetUrl(url.c_str());
    (void)parsed.GetUrl(1);
    (void)parsed.GetObjectA("index.htm");
    (void)parsed.GetHomePage(1);
    (void)parsed.GetBasePath();
    (void)(const char*)parsed;

    // A local file never leaves its root.
    CString local = parsed.GetLocalFile("/root");
    if (!parsed.IsLocal()) {
        if (std::strncmp(local, "/root/", 6) != 0) __builtin_trap();
        std::string path(local.c_str());
        if (path.find("/../") != std::string::npos || path.ends_with("/..")) __builtin_trap();
    }

    // What GetUrl writes parses back to the same URL.
    if (parsed.IsValid() && parsed.m_nScheme != 0) {
        KvUrl again(parsed.GetUrl(1));
        if (!(again == parsed)) __builtin_trap();
        (void)again.GetRelativeUrl(parsed, 1);
        (void)parsed.GetRelativeUrl(url.c_str(), 0);
    }

    KvUrl copy(parsed);
    if (!(copy == parsed)) __builtin_trap();
    parsed.SetAsLocalUrl(url.c_str());

    unsigned long scheme;
    CString prefix, host, path;
    unsigned short port;
    (void)TqParseURL(url.c_str(), scheme, prefix, host, path, port);  // any input may fail; it must not crash

    CString coded(url.c_str());
    UrlEncode(&coded);
    UrlDecode(&coded);
    if (coded != CString(url.c_str())) __builtin_trap();  // encode then decode gives the text back
    RawUrlDecode(&coded);
    CsString h;
    int p;
    BreakHostPort(url.c_str(), h, p);
    return 0;
}
