// Fuzzes the relay's chunk tracker (KvChunkTracker), which follows chunked
// framing over raw body bytes as they arrive. The first byte of the input
// picks where the rest is cut into pieces; the tracker must come to the
// same verdict, the same byte count and the same payload however the body
// is cut, never take more than it is given, and agree on the payload with
// the message reader's own chunked decoding whenever both accept a body.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/containers/KvGenBuffer.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/core/KvProxyBody.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Verdict {
    bool done = false;
    bool bad = false;
    size_t used = 0;
    std::string payload;
};

// Feeds the body in pieces of 1..step bytes (step 0: all at once).
Verdict Track(const std::string& body, size_t step) {
    KvChunkTracker tracker;
    Verdict v;
    size_t at = 0;
    for (size_t piece = 1; at < body.size(); piece = step == 0 ? 1 : piece % step + 1) {
        const size_t n = step == 0 ? body.size() - at : std::min(piece, body.size() - at);
        const size_t before = v.payload.size();
        const size_t used = tracker.Feed(body.data() + at, n, &v.payload);
        Check(used <= n);
        Check(v.payload.size() - before <= used);
        at += used;
        v.used += used;
        if (tracker.IsDone() || tracker.IsBad()) break;
        Check(used == n);  // a tracker still in the body takes every byte
    }
    v.done = tracker.IsDone();
    v.bad = tracker.IsBad();
    Check(!(v.done && v.bad));
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = data[0] % 17;
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Verdict whole = Track(body, 0);
    const Verdict cut = Track(body, step == 0 ? 1 : step);
    Check(whole.done == cut.done && whole.bad == cut.bad);
    Check(whole.used == cut.used);
    Check(whole.payload == cut.payload);

    // The KvGenBuffer form of Feed gives the same payload.
    KvChunkTracker tracker;
    KvGenBuffer copy;
    Check(tracker.Feed(body.data(), body.size(), &copy) == whole.used);
    Check(std::string(copy.GetData(), copy.GetCount()) == whole.payload);

    // The message reader decodes the same bytes: where both accept the
    // body, they see the same payload.
    KvHttpResponse message;
    KvGenBuffer wire;
    wire.PutString(body.data(), body.size());
    const int64_t decoded = message.ReceiveChunkedBody(&wire);
    if (whole.done && decoded >= 0) {
        Check(std::string(message.m_bufBody.GetData(), message.m_bufBody.GetCount()) == whole.payload);
    }
    return 0;
}
