// Fuzzes a whole request to a site of the site engine: the input is the
// request path, a line feed, the query, a line feed and the cookie header.
// The site has a database in memory, a data directory with an image, a
// template and a file outside every served folder; no answer may ever hold
// that file's text (drawn at random per run), and every answer must carry
// a status.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebObjectEx.h"

namespace {

// Drawn per run, so the fuzzer cannot learn it and echo it back.
std::string g_secret;

class FuzzSite : public KvWebObjectEx {
public:
    FuzzSite() : KvWebObjectEx("fuzz.site") {}
    int Initiate() override { return InitiateSite(); }
    int DoGetResponse() override {
        if (m_strCurDir == "/phpmod/") return ResponsePhpModule();
        if (m_strCurFile == "page.php") {
            KvParseImp imp;
            m_strPageTitle = m_cgi.GetValue("title", "");
            m_strPageContent = ParseString(m_cgi.GetValue("body", ""));
            return WebPageShow("wpage.htm", &imp);
        }
        if (m_strCurFile == "set.php") {
            if (!IsStateChangeAllowed()) return ResponseUnauthorisized();
            return ResponseSimpleHtml("ok", "");
        }
        if (m_strCurFile == "op.php") return ResponseUnknownAction(m_cgi.GetValue("op", ""));
        return 0;
    }
};

void Write(const std::string& path, const char* text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

FuzzSite* MakeSite() {
    char tmpl[] = "/tmp/kvwebfuzz_XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::string base = tmpl;
    for (const char* d : {"/Images", "/Theme", "/Theme/VuvUrad", "/Template", "/LocalWeb"}) {
        mkdir((base + d).c_str(), 0755);
    }
    Write(base + "/Images/logo.gif", "GIF89a");
    Write(base + "/Theme/VuvUrad/wpage.htm", "<title>{page_title_meta}</title>{page_content}{page_header}");
    Write(base + "/Template/t.htm", "template");
    g_secret = "secret-" + std::to_string(std::random_device{}()) + "-" + std::to_string(getpid());
    Write(base + "/secret.txt", g_secret.c_str());
    Write(base + "/LocalWeb/secret.txt", g_secret.c_str());
    auto* site = new FuzzSite;
    site->SetBasePath(base.c_str());
    site->SetDbFileName(":memory:");
    return site;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzSite* site = MakeSite();
    if (size > 64 * 1024) return 0;
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t a = input.find('\n');
    size_t b = a == std::string::npos ? std::string::npos : input.find('\n', a + 1);
    std::string path = input.substr(0, a);
    std::string query = a == std::string::npos ? "" : input.substr(a + 1, b == std::string::npos ? b : b - a - 1);
    std::string cookie = b == std::string::npos ? "" : input.substr(b + 1);
    for (std::string* part : {&path, &query, &cookie}) {
        for (char& c : *part) {
            if (c == '\r' || c == '\n' || c == ' ' || c == '\0') c = '_';
        }
    }
    std::string text = "GET http://fuzz.site/" + path + (query.empty() ? "" : "?" + query) + " HTTP/1.0\r\n";
    if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
    text += "\r\n";
    KvGenBuffer buf;
    buf.PutString(text.c_str(), text.size());
    KvHttpRequest request;
    if (request.Receive(&buf) < 0) return 0;
    KvHttpResponse response;
    if (site->GetResponseFrom("127.0.0.1", "127.0.0.1", &request, &response)) {
        std::string body(response.m_bufBody.GetData(), response.m_bufBody.GetCount());
        // The fuzzer learns the text from the comparison and may send it
        // itself; only an answer that holds it without being sent it fails.
        if (body.find(g_secret) != std::string::npos && input.find(g_secret) == std::string::npos) std::abort();
        if (response.m_strStatus.IsEmpty()) std::abort();
    }
    // Each input starts without sessions, so memory kept across inputs
    // (which the leak check would have to scan) stays flat.
    site->GetSessionMgr().m_mapSession.RemoveAll(true);
    return 0;
}
