#include "inet/web/KvSession.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "base/str/StrFunc.h"
#include "inet/web/KvCookie.h"

IMPLEMENT_DYNCREATE(KvSession, KvObject)
IMPLEMENT_DYNCREATE(KvSessionMgr, CObject)

namespace {

// "%" first, so the escapes it introduces are not escaped again.
void EscapeInto(std::string& out, const char* text, bool isName) {
    for (const char* p = text; *p; ++p) {
        if (*p == '%') out += "%25";
        else if (*p == ';') out += "%3B";
        else if (isName && *p == '=') out += "%3D";
        else out += *p;
    }
}

void Unescape(CsString& text) {
    const char* s = text.GetStr();
    if (!std::strchr(s, '%')) return;
    std::string out;
    for (const char* p = s; *p; ++p) {
        if (p[0] == '%' && p[1] == '2' && p[2] == '5') out += '%', p += 2;
        else if (p[0] == '%' && p[1] == '3' && (p[2] == 'B' || p[2] == 'b')) out += ';', p += 2;
        else if (p[0] == '%' && p[1] == '3' && (p[2] == 'D' || p[2] == 'd')) out += '=', p += 2;
        else out += *p;
    }
    text.Set(out.c_str(), out.size());
}

bool ReadUrandom(unsigned char* p, size_t n) {
    int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (n > 0) {
        ssize_t got = ::read(fd, p, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        p += got;
        n -= (size_t)got;
    }
    ::close(fd);
    return n == 0;
}

}  // namespace

bool KvSecureRandom(void* buffer, size_t n) {
    unsigned char* p = static_cast<unsigned char*>(buffer);
    while (n > 0) {
        ssize_t got = ::getrandom(p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return ReadUrandom(p, n);  // a kernel without the call
        p += got;
        n -= (size_t)got;
    }
    return true;
}

CString KvSecureRandomHex(int n) {
    CString out;
    if (n <= 0) return out;
    std::vector<unsigned char> bytes(((size_t)n + 1) / 2);
    if (!KvSecureRandom(bytes.data(), bytes.size())) return out;
    std::string& s = out.str();
    s.resize((size_t)n);
    for (int i = 0; i < n; ++i) {
        unsigned char b = bytes[(size_t)i / 2];
        s[(size_t)i] = HEX_CHAR[(i & 1) ? (b & 15) : (b >> 4)];
    }
    return out;
}

// --- KvSession ------------------------------------------------------------------

void KvSession::Copy(const KvObject& other, int flag) {
    KvObject::Copy(other, flag);
    const KvSession* s = dynamic_cast<const KvSession*>(&other);
    if (!s || s == this) return;
    m_strSessionID = s->m_strSessionID;
    m_strData = s->m_strData;
    m_nUserID = s->m_nUserID;
    m_strIPAddr = s->m_strIPAddr;
    m_timeFirstUsed = s->m_timeFirstUsed;
    m_timeLastUsed = s->m_timeLastUsed;
    m_mapValue.CopyFrom(s->m_mapValue);
}

BOOL KvSession::CreateNewSession(const char* id) {
    CString newId = (id && *id) ? CString(id) : KvSecureRandomHex(KV_SESSION_ID_LENGTH);
    if (newId.IsEmpty()) return FALSE;
    m_strSessionID = newId;
    m_strData.Empty();
    m_nUserID = 0;
    m_strIPAddr.Empty();
    m_timeFirstUsed = KvTime::GetCurTime();
    m_timeLastUsed = m_timeFirstUsed;
    m_mapValue.RemoveAll();
    return TRUE;
}

void KvSession::Reset() {
    m_strSessionID.Empty();
    m_strData.Empty();
    m_strIPAddr.Empty();
    m_mapValue.RemoveAll();
    m_nUserID = 0;
    m_timeFirstUsed.Empty();
    m_timeLastUsed.Empty();
}

void KvSession::CreateMap() {
    m_mapValue.RemoveAll();
    KvMapAddPairs(m_mapValue, m_strData, ';');
    m_mapValue.ForEach([](CsStrMapItem* item) {
        Unescape(item->m_key);
        Unescape(item->m_value);
    });
}

void KvSession::CreateDataFromMap() {
    std::string data;
    m_mapValue.ForEach([&data](CsStrMapItem* item) {
        EscapeInto(data, item->GetKey(), true);
        data += '=';
        EscapeInto(data, item->GetValue(), false);
        data += ';';
    });
    m_strData = CString(std::move(data));
}

const char* KvSession::GetValue(const char* name, const char* defaultValue) const {
    return KvMapGetValue(m_mapValue, name, defaultValue);
}

int KvSession::GetIntValue(const char* name, int defaultValue) const {
    return KvMapGetIntValue(m_mapValue, name, defaultValue);
}

BOOL KvSession::SetValue(const char* name, const char* value) {
    return KvMapSetValue(m_mapValue, name, value);
}

// --- KvSessionMgr -------------------------------------------------------------------

KvSessionMgr::KvSessionMgr() : m_mapSession(10) {
    m_mapSession.InitHashTable(1021, false);
}

void KvSessionMgr::SetMaxSessions(int count) {
    m_nMaxSessions = count < 1 ? 1 : count;
    while (m_mapSession.GetCount() > m_nMaxSessions) RemoveLongestIdle();
}

KvSession* KvSessionMgr::GetSession(const char* id, BOOL* created) {
    if (created) *created = FALSE;
    if (id && *id) {
        KvObject* found = nullptr;
        if (m_mapSession.Lookup(id, found) && found) {
            KvSession* session = static_cast<KvSession*>(found);
            KvTime oldest = KvTime::GetCurTime();
            oldest -= m_nMaxIdleMinutes / (24.0 * 60.0);
            if (m_nMaxIdleMinutes == 0 || !(session->m_timeLastUsed < oldest)) return session;
            m_mapSession.RemoveKey(id);  // expired: the browser gets a new one
        }
    }
    KvSession* session = _CreateNewSession();
    if (session && created) *created = TRUE;
    return session;
}

KvSession* KvSessionMgr::_CreateNewSession() {
    while (m_mapSession.GetCount() >= m_nMaxSessions) RemoveLongestIdle();
    KvSession* session = new (std::nothrow) KvSession;
    if (!session) return nullptr;
    // 128 random bits make a clash all but impossible; the loop keeps the
    // promise that an identifier is never handed out twice.
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!session->CreateNewSession(nullptr)) break;
        KvObject* existing = nullptr;
        if (m_mapSession.Lookup(session->m_strSessionID, existing)) continue;
        if (!m_mapSession.SetAt(session->m_strSessionID, session)) break;
        return session;
    }
    delete session;
    return nullptr;
}

void KvSessionMgr::RemoveLongestIdle() {
    POSITION pos = m_mapSession.GetStartPosition();
    CString oldestKey;
    KvTime oldestTime;
    bool found = false;
    while (pos) {
        CString key;
        KvObject* value = nullptr;
        m_mapSession.GetNextAssoc(pos, key, value);
        const KvSession* s = static_cast<const KvSession*>(value);
        if (!found || !s || s->m_timeLastUsed < oldestTime) {
            oldestKey = key;
            oldestTime = s ? s->m_timeLastUsed : KvTime();
            found = true;
            if (!s) break;
        }
    }
    if (found) m_mapSession.RemoveKey(oldestKey);
}

int KvSessionMgr::Cleanup(int minutes) {
    KvTime limit = KvTime::GetCurTime();
    limit -= minutes / (24.0 * 60.0);
    std::vector<CString> expired;
    POSITION pos = m_mapSession.GetStartPosition();
    while (pos) {
        CString key;
        KvObject* value = nullptr;
        m_mapSession.GetNextAssoc(pos, key, value);
        const KvSession* s = static_cast<const KvSession*>(value);
        if (!s || s->m_timeLastUsed < limit) expired.push_back(key);
    }
    for (const CString& key : expired) m_mapSession.RemoveKey(key);
    return TRUE;
}
