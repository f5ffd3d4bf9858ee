// How the proxy finds the end of a message body, and the relay that moves
// one body from one connection to the other.
//
// The relay passes the bytes on unchanged (a chunked body keeps its chunk
// framing) while it follows the framing, so it stops exactly at the end of
// the body and can tell a complete body from one cut short. It may keep a
// copy of the payload (the decoded bytes of a chunked body) for the cache;
// the copy has a cap, past which it is dropped and the relay goes on
// without one, so memory stays bounded whatever the peer sends.
//
// Used by one request thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class KvComObject;
class KvGenBuffer;
class KvHttpRequest;
class KvHttpResponse;

enum class KvBodyFraming {
    None,        // no body at all
    Length,      // exactly `length` bytes ("Content-Length", 0 included)
    Chunked,     // chunks up to the last one and its trailer
    UntilClose,  // everything until the sender closes in good order
};

struct KvBodyPlan {
    KvBodyFraming framing = KvBodyFraming::None;
    int64_t length = 0;
};

// The body of a request: chunked when "Transfer-Encoding" ends in
// "chunked", else "Content-Length" bytes, else none.
KvBodyPlan KvRequestBodyPlan(const KvHttpRequest& request);
// The body of a response to `method`: none after HEAD and for 1xx, 204
// and 304; chunked when "Transfer-Encoding" ends in "chunked"; until close
// for any other transfer coding; "Content-Length" bytes when given;
// otherwise until close.
KvBodyPlan KvResponseBodyPlan(const KvHttpResponse& response, const char* method);

// Follows chunked framing over the raw bytes of a body.
class KvChunkTracker {
public:
    // Takes up to n bytes and returns how many of them belong to the body
    // (fewer than n only once the body has ended or the framing broke).
    // The payload bytes among them are appended to `payload` when given.
    size_t Feed(const char* data, size_t n, std::string* payload = nullptr);
    size_t Feed(const char* data, size_t n, KvGenBuffer* payload);
    bool IsDone() const { return m_state == State::Done; }
    bool IsBad() const { return m_state == State::Bad; }
    void Reset() { *this = KvChunkTracker(); }

private:
    enum class State { Size, SizeExt, SizeLf, Data, DataCr, DataLf, Trailer, TrailerLf, Done, Bad };
    template <class Sink>
    size_t FeedTo(const char* data, size_t n, Sink&& sink);

    State m_state = State::Size;
    int64_t m_nRemaining = 0;  // payload bytes left in the current chunk
    int m_nDigits = 0;         // hex digits read of the size line
    size_t m_nLineBytes = 0;   // bytes of the current size or trailer line (bounded)
    size_t m_nTrailerBytes = 0;
    bool m_bLastChunk = false;
};

class KvCopyReservation;

// The copy of a body kept for the cache.
struct KvBodyCopy {
    KvGenBuffer* buffer = nullptr;  // null: no copy wanted
    size_t cap = 0;                 // most bytes kept; past it the copy is dropped
    // The exchange's share of the memory budget of copies: the buffer only
    // grows within it (null: no budget). The copy is dropped when the share
    // cannot grow.
    KvCopyReservation* reservation = nullptr;
    bool dropped = false;           // the body outgrew the cap or the budget (the copy is emptied)
    // The first headCap bytes of the payload, kept apart from the copy and
    // whatever becomes of it (null: not wanted): the page's title is read
    // from them for the history.
    std::string* head = nullptr;
    size_t headCap = 0;
    bool WantsHead() const { return head && head->size() < headCap; }
    // Anything of the payload is still to be kept.
    bool Keeping() const { return (buffer && !dropped) || WantsHead(); }
};

enum class KvRelayEnd {
    Complete,      // the whole body went through
    SourceClosed,  // the sender closed before the end (or reset the connection)
    TimedOut,      // nothing came within the idle time-out
    Stopped,       // the thread was told to stop
    SinkFailed,    // the receiver is gone
    BadFraming,    // the chunk framing is broken
};

struct KvRelayResult {
    KvRelayEnd end = KvRelayEnd::Complete;
    int64_t bytes = 0;  // bytes passed on
};

// Moves one body from `from` to `to` as the plan says. The idle time-out
// is the source connection's receive time-out; a stop request of the
// calling thread ends the relay at once.
KvRelayResult KvRelayBody(KvComObject& from, KvComObject& to, const KvBodyPlan& plan, KvBodyCopy* copy);

// The relay's words for the log.
const char* KvRelayEndText(KvRelayEnd end);
