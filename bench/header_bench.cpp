// Header-list benchmark: removing a name a head repeats 10,000 times between
// other fields, with the header list's one walk and, for comparison, with a
// search from the front per removal (how the cache hit once did it); then a
// whole cache hit (restore from the blob form and the served headers) of
// such a head.
//
//   header_bench [repeats=10000]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"

namespace {

using Clock = std::chrono::steady_clock;

void Fill(KvHttpResponse& r, int repeats) {
    r.Reset();
    r.m_strVersion = "HTTP/1.1";
    r.m_strStatus = "200 OK";
    r.m_nStatus = 200;
    r.SetHeaderValue("Content-Type", "text/html");
    for (int i = 0; i < repeats; ++i) {
        r.AddHeaderValue("A", "1");
        r.AddHeaderValue("Set-Cookie", "x=1");
    }
    r.m_bufBody.PutString("body", 4);
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A search from the front of the list for every removal.
void RemoveBySearching(KvHttpBuffer& message, const char* name) {
    while (CsStrMapItem* item = message.m_mapHeader.IFind(name)) {
        CString exact(item->GetKey());
        if (!message.RemoveHeader(exact)) break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 10000;
    KvHttpResponse r;

    Fill(r, repeats);
    auto start = Clock::now();
    int removed = r.RemoveHeadersNamed("set-cookie");
    std::printf("one walk:             %8.2f ms (%d removed)\n", MsSince(start), removed);

    Fill(r, repeats);
    start = Clock::now();
    RemoveBySearching(r, "set-cookie");
    std::printf("search per removal:   %8.2f ms\n", MsSince(start));

    Fill(r, repeats);
    KvGenBuffer blob;
    if (KvCacheSerializeEncoded(r, blob) != 1) return 1;
    KvHttpResponse hit;
    start = Clock::now();
    const int ok = KvCacheRestoreEncoded(blob.GetData(), blob.GetCount(), hit) && KvCacheServeHeaders(hit, "bench");
    std::printf("cache hit (restore and served headers): %8.2f ms%s\n", MsSince(start), ok ? "" : " (failed)");
    return ok ? 0 : 1;
}
