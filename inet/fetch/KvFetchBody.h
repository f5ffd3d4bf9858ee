// Body decoding of the download client: chunked framing taken apart as the
// bytes arrive, and gzip inflated, both bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Takes chunked framing apart incrementally: the data goes to `out` as it
// arrives, and Feed tells when the last chunk and the trailer have been
// seen (bytes behind that are ignored).
class KvChunkDecoder {
public:
    enum class Result { NeedMore, Done, Bad, TooLarge };

    explicit KvChunkDecoder(size_t maxData) : m_maxData(maxData) {}
    Result Feed(const char* data, size_t length, std::string& out);

private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Done };
    // A complete size line: false for anything but hex digits (with
    // optional blanks and ";extensions").
    bool TakeSizeLine();

    State m_state = State::SizeLine;
    std::string m_line;
    uint64_t m_left = 0;
    size_t m_total = 0;
    size_t m_maxData;
};

// Inflates one or more gzip members (or a zlib stream) into `out`. False
// with a reason for damaged data or when more than `maxOutput` bytes would
// come out; `out` is then emptied.
bool KvGunzip(const std::string& in, size_t maxOutput, std::string& out, const char*& why);
