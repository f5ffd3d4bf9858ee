#include "inet/fetch/KvFetchBody.h"

#include <zlib.h>

#include <cstring>

#include "base/str/StrFunc.h"

namespace {

constexpr size_t kMaxFramingLine = 4096;

}  // namespace

bool KvChunkDecoder::TakeSizeLine() {
    std::string_view line(m_line);
    size_t end = line.find(';');
    if (end != std::string_view::npos) line = line.substr(0, end);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.size() > 15) return false;
    uint64_t value = 0;
    for (char c : line) {
        int digit = StrHexDigitValue(c);
        if (digit < 0) return false;
        value = value * 16 + (uint64_t)digit;
    }
    m_left = value;
    return true;
}

KvChunkDecoder::Result KvChunkDecoder::Feed(const char* data, size_t length, std::string& out) {
    const char* p = data;
    const char* end = data + length;
    while (p < end && m_state != State::Done) {
        switch (m_state) {
        case State::SizeLine:
        case State::Trailer:
        case State::DataEnd: {
            char ch = *p++;
            if (ch == '\r') break;
            if (ch != '\n') {
                if (m_state == State::DataEnd || m_line.size() >= kMaxFramingLine) return Result::Bad;
                m_line.push_back(ch);
                break;
            }
            if (m_state == State::DataEnd) {
                m_state = State::SizeLine;
            } else if (m_state == State::Trailer) {
                if (m_line.empty()) m_state = State::Done;
            } else {
                if (!TakeSizeLine()) return Result::Bad;
                if (m_left > m_maxData - m_total) return Result::TooLarge;
                m_state = m_left == 0 ? State::Trailer : State::Data;
            }
            m_line.clear();
            break;
        }
        case State::Data: {
            size_t take = (size_t)(end - p) < m_left ? (size_t)(end - p) : (size_t)m_left;
            out.append(p, take);
            p += take;
            m_left -= take;
            m_total += take;
            if (m_left == 0) m_state = State::DataEnd;
            break;
        }
        case State::Done: break;
        }
    }
    return m_state == State::Done ? Result::Done : Result::NeedMore;
}

bool KvGunzip(const std::string& in, size_t maxOutput, std::string& out, const char*& why) {
    out.clear();
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) {  // +32: gzip or zlib, told by the header
        why = "unable to start inflating";
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = (uInt)in.size();
    char piece[64 * 1024];
    bool ok = true;
    why = "";
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(piece);
        z.avail_out = sizeof piece;
        int rc = inflate(&z, Z_NO_FLUSH);
        size_t produced = sizeof piece - z.avail_out;
        if (produced > maxOutput - out.size()) {
            why = "decoded body larger than the limit";
            ok = false;
            break;
        }
        out.append(piece, produced);
        if (rc == Z_STREAM_END) {
            // Another gzip member may follow; anything else ends the data.
            if (z.avail_in >= 2 && z.next_in[0] == 0x1F && z.next_in[1] == 0x8B) {
                inflateReset(&z);
                continue;
            }
            break;
        }
        if (rc == Z_BUF_ERROR && z.avail_in == 0) {
            why = "compressed body cut short";
            ok = false;
            break;
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            why = "damaged compressed body";
            ok = false;
            break;
        }
    }
    inflateEnd(&z);
    if (!ok) out.clear();
    return ok;
}
