// Fuzzes how a cache hit restores a stored answer: the blob decoder
// (KvCacheDecodeBlob), the restore from the blob form
// (KvCacheRestoreEncoded) and from the plain form (KvCacheRestore).
// - Encoding then decoding gives the bytes back; a form that decodes
//   encodes back to itself (the encoding is canonical).
// - Both restores agree on the plain bytes and their encoded form.
// - A restored answer holds exactly the body its "Content-Length" says,
//   and stores and restores again as the same answer.
// The first restore's answers must hold no part of a refused body.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string Text(const KvGenBuffer& buf) { return std::string(buf.GetData(), buf.GetCount()); }

// The headers a message writes (those with a name and a value), but for
// "Content-Length", whose text may be written anew ("00" as "0"): its
// number is compared on its own.
std::vector<std::string> Headers(const KvHttpBuffer& msg) {
    std::vector<std::string> out;
    msg.m_mapHeader.ForEach([&](CsStrMapItem* item) {
        if (!*item->GetKey() || !*item->GetValue() || strcasecmp(item->GetKey(), "Content-Length") == 0) return;
        out.push_back(std::string(item->GetKey()) + "\n" + item->GetValue());
    });
    return out;
}

void CheckSame(const KvHttpResponse& a, const KvHttpResponse& b) {
    Check(Headers(a) == Headers(b));
    Check(Text(a.m_bufBody) == Text(b.m_bufBody));
    Check(a.m_nStatus == b.m_nStatus);
    Check(a.GetContentLength() == b.GetContentLength());
}

void CheckBlobForm(const std::string& input) {
    KvGenBuffer encoded, decoded;
    Check(KvCacheEncodeBlob(input.data(), input.size(), encoded));
    Check(KvCacheDecodeBlob(encoded.GetData(), encoded.GetCount(), decoded));
    Check(Text(decoded) == input);

    KvGenBuffer plain, again;
    if (KvCacheDecodeBlob(input.data(), input.size(), plain)) {
        Check(KvCacheEncodeBlob(plain.GetData(), plain.GetCount(), again));
        Check(Text(again) == input);
    }
}

void CheckRestore(const std::string& input) {
    KvHttpResponse fromPlain, fromEncoded;
    const int plainOk = KvCacheRestore(input.data(), input.size(), fromPlain);
    KvGenBuffer encoded;
    Check(KvCacheEncodeBlob(input.data(), input.size(), encoded));
    const int encodedOk = KvCacheRestoreEncoded(encoded.GetData(), encoded.GetCount(), fromEncoded);
    Check(plainOk == encodedOk);
    if (!plainOk) {
        Check(fromPlain.m_bufBody.GetCount() == 0 && fromEncoded.m_bufBody.GetCount() == 0);
        return;
    }
    CheckSame(fromPlain, fromEncoded);
    Check(fromPlain.GetContentLength() == (int64_t)fromPlain.m_bufBody.GetCount());

    // Stored again, it comes back as the same answer (the stored form
    // always says "Last-Modified: 0").
    fromPlain.SetHeaderValue("Last-Modified", "0");
    KvGenBuffer stored;
    if (KvCacheSerializeEncoded(fromPlain, stored) != 1) return;
    KvHttpResponse again;
    Check(KvCacheRestoreEncoded(stored.GetData(), stored.GetCount(), again) == 1);
    CheckSame(fromPlain, again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    CheckBlobForm(input);
    CheckRestore(input);
    // The input taken as a blob the store holds.
    KvHttpResponse hit;
    if (KvCacheRestoreEncoded(input.data(), input.size(), hit) == 1) {
        Check(hit.GetContentLength() == (int64_t)hit.m_bufBody.GetCount());
    } else {
        Check(hit.m_bufBody.GetCount() == 0);
    }
    return 0;
}
