// KvCacheBodyStream: the body of a large stored answer, read from where it
// lies in the content file and decoded in pieces of kPiece bytes, so an
// answer of many megabytes is sent without a copy of it in memory.
//
// It reads on a connection of its own, inside one read snapshot: the
// stored form it checked is the one it sends, even if the object is stored
// again meanwhile, and the store's pool of readers is not held while a slow
// browser takes the body.
//
// Belongs to the thread that serves the hit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ext/KvSqLite/KvSqLite.h"

class KvHttpResponse;

class KvCacheBodyStream {
public:
    static constexpr size_t kPiece = 256 * 1024;
    static constexpr int kDamaged = -2;
    ~KvCacheBodyStream();

    // Opens the object's stored form, checks it whole (its checksum when
    // `checked`, else its encoding and length) and fills the response with
    // its head. 1 ready, 0 absent or not a valid stored answer, kDamaged
    // when it does not match its checksum, -1 on a database failure.
    int Open(const char* contentPath, int busyTimeout, int objId, bool checked, KvHttpResponse& response);
    // The body length the head declares.
    int64_t Length() const { return m_length; }
    // The next piece of the body (valid until the next call); false at the
    // end, or when the store fails (Failed()).
    bool Next(std::string_view& piece);
    bool Failed() const { return m_failed; }
    const KvSqlDB& Db() const { return m_db; }

private:
    // Reads the stored form once: its checksum (or, unchecked, its decoded
    // length), and where its head ends. 1, 0 invalid, kDamaged.
    int Check(bool checked, uint32_t checksum, size_t& headEnd);
    void Finish();

    KvSqlDB m_db;
    KvSqlBlob m_blob;
    bool m_inSnapshot = false;
    size_t m_offset = 0;  // next encoded byte to read
    int64_t m_length = 0;
    int64_t m_sent = 0;
    bool m_escape = false;
    bool m_failed = false;
    std::vector<char> m_in;
    std::vector<char> m_out;
};
