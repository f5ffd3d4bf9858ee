// KvCacheDB: reading and serving stored answers.
#include <cstring>

#include "base/containers/KvGenBuffer.h"

#include "inet/http/KvHttpRequest.h"
#include "inet/http/KvHttpResponse.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheBodyStream.h"
#include "proxy/cache/KvCacheDB.h"
#include "proxy/cache/KvCacheKey.h"
#include "proxy/cache/KvCacheReader.h"

namespace {

// A time that does not read back counts as long past.
KvTime ParseOrPast(const CString& text) {
    KvTime t;
    if (!KvCacheParseTime(text, t)) t = KvTime(1980, 1, 1);
    return t;
}

}  // namespace

KvCacheHit::KvCacheHit() = default;
KvCacheHit::~KvCacheHit() = default;
KvCacheHit::KvCacheHit(KvCacheHit&&) noexcept = default;
KvCacheHit& KvCacheHit::operator=(KvCacheHit&&) noexcept = default;

int KvCacheDB::ReadObject(Lookup how, const char* host, int id, const char* path, Found& found,
                          KvHttpResponse* content, const KvTime* notModifiedSince, KvCacheHit* hit) {
    if (!IsOpen()) return 0;
    KvCacheReader* reader = AcquireReader();
    if (!reader) return 0;
    KvCacheObjectRow row;
    int rc = 0;
    switch (how) {
        case Lookup::kByHost: {
            CString key = KvCacheKeyHost(host);
            rc = reader->FindByHost(key, path ? path : "", row);
            break;
        }
        case Lookup::kByHostId: rc = reader->FindByHostId(id, path ? path : "", row); break;
        case Lookup::kById: rc = reader->FindById(id, row); break;
    }
    // A store of an earlier version compares paths without letter case; an
    // answer is only ever served for exactly the path it was stored under.
    if (rc == 1 && how != Lookup::kById && std::strcmp(row.path, path ? path : "") != 0) rc = 0;
    KvTime stored;
    const bool hasStored = rc == 1 && KvCacheParseTime(row.stored, stored);
    // The browser's copy is current when this copy was stored no later.
    found.notModified = notModifiedSince && hasStored && !(stored - *notModifiedSince > 1e-10);
    const size_t streamFrom = hit ? hit->streamFrom : SIZE_MAX;
    if (rc == 1 && content && !found.notModified) rc = reader->ReadContent(row.objId, *content, streamFrom);
    if (rc < 0 && rc != KvCacheReader::kDamaged) ReportError("reading", reader->GetFailedDb());
    ReleaseReader(reader);
    static_assert(KvCacheBodyStream::kDamaged == KvCacheReader::kDamaged);
    if (rc == KvCacheReader::kStream) {
        // The pool's reader is back before a browser takes the body.
        hit->stream = std::make_unique<KvCacheBodyStream>();
        rc = hit->stream->Open(GetContentPath(), m_nBusyTimeout.load(), row.objId, m_bChecked.load(), *content);
        if (rc == -1) ReportError("reading", hit->stream->Db());
        if (rc != 1) hit->stream.reset();
    }
    found.damaged = rc == KvCacheReader::kDamaged;
    found.objId = row.objId;
    if (rc <= 0) return 0;
    found.modified = ParseOrPast(row.modified);
    found.expired = ParseOrPast(row.expired);
    return 1;
}

int KvCacheDB::ServeObject(Lookup how, const char* host, int id, const char* path, const KvHttpRequest* request,
                           KvHttpResponse* response, bool rewrite, KvCacheHit* hit) {
    if (!response) return 0;
    KvTime ifModifiedSince;
    const bool revalidate = rewrite && KvCacheIfModifiedSince(request, ifModifiedSince);
    Found found;
    CString expiredText;
    {
        std::shared_lock<std::shared_mutex> open(m_openLock);
        // The stored answer is decoded straight into the response: one
        // copy of the body, freed by whoever sends it.
        if (!ReadObject(how, host, id, path, found, response, revalidate ? &ifModifiedSince : nullptr, hit)) {
            response->Reset();
            if (!found.damaged) return 0;
        } else {
            const bool expired = found.expired.IsValid() && KvCacheNow() - found.expired > 1e-10;
            if (!(rewrite && expired && m_bCacheDelete.load())) {
                if (found.notModified) {
                    response->Reset();
                    if (hit) hit->stream.reset();
                    return response->NotModifiedResponse(found.modified);
                }
                if (rewrite && !KvCacheServeHeaders(*response, m_strName)) {
                    response->Reset();
                    if (hit) hit->stream.reset();
                    return 0;
                }
                if (hit) {
                    hit->expires = found.expired.IsValid() && m_bCacheDelete.load();
                    hit->expired = found.expired;
                }
                return 1;
            }
            expiredText = KvCacheFormatTime(found.expired);
            response->Reset();  // a miss keeps nothing of the object
            if (hit) hit->stream.reset();
        }
    }
    if (found.damaged) {
        KvCacheLog("Cache store %s%s: the answer stored for %s%s does not match its checksum; dropped",
                   m_strDirectory.c_str(), m_strName.c_str(), host ? host : "", path ? path : "");
    }
    // Expired or damaged: dropped (an expired one unless it was stored again
    // meanwhile), and a miss.
    if (!m_bReadOnly.load()) {
        KvCriticalLock lock(m_lock);
        if (IsOpen()) DeleteObjectLocked(found.objId, found.damaged ? nullptr : expiredText.c_str());
    }
    if (how == Lookup::kByHost) {
        NoteChanged(KvCacheKeyHost(host), path);
    } else {
        NoteAllChanged();
    }
    return 0;
}

int KvCacheDB::GetCache(const char* url, KvHttpResponse* response) {
    CString host, path;
    if (!KvCacheKeyFromUrl(url, host, path)) return 0;
    return ServeObject(Lookup::kByHost, host, 0, path, nullptr, response, true);
}

int KvCacheDB::GetCache(const char* host, const char* path, KvHttpResponse* response) {
    return ServeObject(Lookup::kByHost, host, 0, path, nullptr, response, true);
}

int KvCacheDB::GetCache(int hostId, const char* path, KvHttpResponse* response) {
    return ServeObject(Lookup::kByHostId, nullptr, hostId, path, nullptr, response, true);
}

int KvCacheDB::GetCache(KvHttpRequest* request, KvHttpResponse* response) {
    CString host, path;
    if (!request || !KvCacheKeyFromUrl(request->m_strURL, host, path)) return 0;
    return ServeObject(Lookup::kByHost, host, 0, path, request, response, true);
}

int KvCacheDB::GetCacheForRequest(const char* host, const char* path, const KvHttpRequest* request,
                                  KvHttpResponse* response, KvCacheHit* hit) {
    return ServeObject(Lookup::kByHost, host, 0, path, request, response, true, hit);
}

int KvCacheDB::GetCache(int objId, KvHttpResponse* response) {
    return ServeObject(Lookup::kById, nullptr, objId, nullptr, nullptr, response, false);
}
