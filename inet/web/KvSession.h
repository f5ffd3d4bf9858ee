// KvSession: one server-side session of a local web site;
// KvSessionMgr: the sessions of one site, keyed by identifier.
//
// Identifiers are KV_SESSION_ID_LENGTH upper-case hexadecimal digits drawn
// from the system's cryptographic random source, never from rand(). The
// manager only hands out identifiers it made itself: an identifier it does
// not hold (a stale cookie, or one a page tried to plant in the browser)
// gets a new session under a fresh identifier, so no page can fix another
// browser's session. The caller learns that from GetSession's `created`
// flag and writes the new identifier to the browser.
//
// Memory is bounded: sessions idle for longer than the manager's idle limit
// are dropped when met, Cleanup removes those idle for a given time, and
// when the manager holds its maximum a new session replaces the one idle
// for the longest time.
//
// A session's values are kept as pairs in m_mapValue and serialised into
// m_strData as "name=value;" (CreateDataFromMap / CreateMap). A ";" or "%"
// inside a value (or "=" inside a name) is written as "%3B", "%25" ("%3D"),
// so a stored value can never turn into further pairs.
//
// Threads: a session belongs to one request at a time; the manager has no
// lock of its own (its owner, the site's web object, serialises requests).
#pragma once

#include "base/containers/CsList.h"
#include "base/containers/KvMap.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/str/KvString.h"
#include "base/time/KvTime.h"

constexpr int KV_SESSION_ID_LENGTH = 32;

class KvSession : public KvObject {
    DECLARE_DYNCREATE(KvSession)
public:
    KvSession() = default;
    KvSession(const KvSession& other) : KvObject() { Copy(other, 0); }
    KvSession& operator=(const KvSession& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvSession() override = default;

    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvSession(*this); }

    // Starts the session afresh under `id`, or under a new random
    // identifier when id is null or empty: data, member, address and values
    // emptied, first and last use now. FALSE (and nothing changed) when no
    // random identifier could be drawn.
    BOOL CreateNewSession(const char* id);
    // Empties identifier, data, address and values; member 0; times zero.
    void Reset();
    void ClearMap() { m_mapValue.RemoveAll(); }
    // m_strData into the values.
    void CreateMap();
    // The values into m_strData.
    void CreateDataFromMap();

    const char* GetValue(const char* name, const char* defaultValue) const;
    int GetIntValue(const char* name, int defaultValue) const;
    BOOL SetValue(const char* name, const char* value);

    CString m_strSessionID;
    KvString m_strData;
    int m_nUserID = 0;          // member signed in through this session; 0 for none
    CString m_strIPAddr;
    KvTime m_timeFirstUsed;
    KvTime m_timeLastUsed;      // refreshed by the site on every request
    CsStrMap m_mapValue;
};

class KvSessionMgr : public CObject {
    DECLARE_DYNCREATE(KvSessionMgr)
public:
    static constexpr int kDefaultMaxSessions = 4096;
    static constexpr int kDefaultMaxIdleMinutes = 24 * 60;

    KvSessionMgr();
    ~KvSessionMgr() override = default;
    KvSessionMgr(const KvSessionMgr&) = delete;
    KvSessionMgr& operator=(const KvSessionMgr&) = delete;

    // The session of `id` when the manager holds it (and it is not idle
    // beyond the idle limit); otherwise a new session under a fresh
    // identifier, with *created set. Null when none can be made.
    KvSession* GetSession(const char* id, BOOL* created = nullptr);
    // Removes every session last used more than `minutes` minutes ago. TRUE.
    int Cleanup(int minutes);

    int GetCount() const { return m_mapSession.GetCount(); }
    // At most `count` sessions (at least 1); extra ones go, longest idle first.
    void SetMaxSessions(int count);
    int GetMaxSessions() const { return m_nMaxSessions; }
    // Sessions idle for longer are not handed out again (0: no limit).
    void SetMaxIdleMinutes(int minutes) { m_nMaxIdleMinutes = minutes < 0 ? 0 : minutes; }
    int GetMaxIdleMinutes() const { return m_nMaxIdleMinutes; }

    KvMapStringToObject m_mapSession;  // identifier -> KvSession, owned

private:
    KvSession* _CreateNewSession();
    // Deletes the session idle for the longest time.
    void RemoveLongestIdle();

    int m_nMaxSessions = kDefaultMaxSessions;
    int m_nMaxIdleMinutes = kDefaultMaxIdleMinutes;
};

// n bytes from the system's cryptographic random source; false when it
// cannot deliver (nothing weaker is used instead).
bool KvSecureRandom(void* buffer, size_t n);
// n upper-case hexadecimal digits from KvSecureRandom; empty on failure.
CString KvSecureRandomHex(int n);
