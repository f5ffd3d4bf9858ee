#include "proxy/cache/KvCacheBodyStream.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheCrc.h"

namespace {

// A stored head is far shorter; a form without its end this far in is not valid.
constexpr size_t kMaxHead = 256 * 1024;
// Each page of the stored form is read once per pass: a small page cache
// does. The file is mapped for reading, so a page costs a copy rather than a
// read call; the map ends with this connection, at the end of the body.
constexpr const char* kReadSettings = "PRAGMA cache_size=-256; PRAGMA mmap_size=268435456;";

}  // namespace

KvCacheBodyStream::~KvCacheBodyStream() { Finish(); }

void KvCacheBodyStream::Finish() {
    m_blob.Close();
    if (m_inSnapshot) {
        // Only reads were made: a failed end of the snapshot loses nothing,
        // and closing the connection ends it anyway.
        const int ended = m_db.Execute("COMMIT;");
        (void)ended;
    }
    m_inSnapshot = false;
    m_db.Close();
}

int KvCacheBodyStream::Open(const char* contentPath, int busyTimeout, int objId, bool checked,
                            KvHttpResponse& response) {
    m_db.SetReadOnly(TRUE);
    m_db.SetBusyTimeout(busyTimeout);
    if (!m_db.Open(contentPath)) return -1;
    if (m_db.Execute(kReadSettings) < 0 || m_db.Execute("BEGIN;") < 0) return -1;
    m_inSnapshot = true;
    long long rowId = 0;
    bool hasChecksum = false;
    uint32_t checksum = 0;
    {
        KvSqlStatement st = m_db.CompileStatement(checked ? "select rowid, obj_crc from cache_content where obj_id=?;"
                                                          : "select rowid, null from cache_content where obj_id=?;");
        if (!st.IsValid() || !st.Bind(1, objId)) return -1;
        KvSqlQuery q = st.ExecQuery();
        if (!q.IsValid()) return -1;
        if (q.IsEOF()) return 0;
        rowId = q.GetInt64Field(0, 0);
        hasChecksum = !q.IsFieldNull(1);
        checksum = (uint32_t)q.GetInt64Field(1, 0);
    }
    m_blob = m_db.OpenBlob("cache_content", "obj_data", rowId);
    if (!m_blob.IsOpen()) return -1;
    m_in.resize(kPiece);
    m_out.resize(kPiece);
    size_t headEnd = 0;
    const int rc = Check(hasChecksum, checksum, headEnd);
    if (rc <= 0) return rc;
    std::string head(headEnd, '\0');
    if (!m_blob.Read(0, head.data(), headEnd)) return -1;
    const long long declared = KvCacheRestoreEncodedHead(head.data(), head.size(), response);
    // The decoded body is never longer than its stored form.
    if (declared < 0 || (size_t)declared > m_blob.Size() - headEnd) return 0;
    if (!hasChecksum && m_length != declared) return 0;
    m_offset = headEnd;
    m_length = declared;
    return 1;
}

int KvCacheBodyStream::Check(bool checked, uint32_t checksum, size_t& headEnd) {
    const size_t size = m_blob.Size();
    uint32_t crc = 0;
    std::string head;
    headEnd = 0;
    int64_t decoded = 0;
    bool escape = false;
    for (size_t at = 0; at < size;) {
        const size_t n = std::min(kPiece, size - at);
        if (!m_blob.Read(at, m_in.data(), n)) return -1;
        if (checked) crc = KvCacheCrc32(crc, m_in.data(), n);
        size_t bodyFrom = n;
        if (!headEnd) {
            // Escapes never hold CR or LF: the encoded head ends where the decoded one does.
            const size_t searched = head.size() >= 3 ? head.size() - 3 : 0;
            head.append(m_in.data(), std::min(n, kMaxHead));
            const size_t found = head.find("\r\n\r\n", searched);
            if (found != std::string::npos) {
                headEnd = found + 4;
                bodyFrom = headEnd - at;
            } else if (head.size() >= kMaxHead) {
                return 0;
            }
        }
        if (!checked && bodyFrom < n) {
            size_t written = 0;
            if (!KvCacheDecodePiece(m_in.data() + bodyFrom, n - bodyFrom, m_out.data(), written, escape)) return 0;
            decoded += (int64_t)written;
        }
        at += n;
    }
    if (!headEnd || escape) return 0;
    if (checked && crc != checksum) return kDamaged;
    if (!checked) m_length = decoded;  // compared with the head's length by Open
    return 1;
}

bool KvCacheBodyStream::Next(std::string_view& piece) {
    const size_t size = m_blob.Size();
    while (!m_failed && m_offset < size) {
        const size_t n = std::min(kPiece, size - m_offset);
        size_t written = 0;
        if (!m_blob.Read(m_offset, m_in.data(), n) ||
            !KvCacheDecodePiece(m_in.data(), n, m_out.data(), written, m_escape)) {
            m_failed = true;
            break;
        }
        m_offset += n;
        m_sent += (int64_t)written;
        if (m_sent > m_length) m_failed = true;
        if (written > 0 && !m_failed) {
            piece = std::string_view(m_out.data(), written);
            return true;
        }
    }
    if (!m_failed && (m_escape || m_sent != m_length)) m_failed = true;
    Finish();
    return false;
}
