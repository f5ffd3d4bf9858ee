// The records of a site database: members, advertising blocks and stored
// files (see KvWebDB).
#pragma once

#include "base/containers/KvGenBuffer.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/time/KvTime.h"

// The theme every site wears until its administrator picks another.
inline constexpr char KV_DEFAULT_THEME[] = "VuvUrad";

// Member levels.
enum : int {
    KV_LEVEL_GUEST = 0,
    KV_LEVEL_MEMBER = 1,
    KV_LEVEL_ADMIN = 9,
    KV_LEVEL_DEVELOPER = 10,
};

class KvUserInfo : public KvObject {
    DECLARE_DYNCREATE(KvUserInfo)
public:
    KvUserInfo() { Reset(); }
    KvUserInfo(const KvUserInfo& other) : KvObject() { Copy(other, 0); }
    KvUserInfo& operator=(const KvUserInfo& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvUserInfo() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvUserInfo(*this); }

    // Texts empty, id/level/country 0, both view flags 1, theme "VuvUrad",
    // photo and counters 0, 10 items per page, no registration time.
    void Reset();

    int m_nID;
    int m_nLevel;
    int m_nCountryCode;
    CString m_strName;
    CString m_strFullName;
    CString m_strPassword;  // MD5 hex digest
    CString m_strEmail;
    CString m_strHomePage;
    CString m_strStartPage;
    int m_bViewEmail;
    int m_bViewProfile;
    CString m_strTheme;
    int m_bPhoto;
    CString m_strDesc;
    CString m_strPage;
    int m_nVisit;
    int m_nHits;
    int m_nMaxItemPerPage;
    KvTime m_timeRegistered;
};

class KvAdvText : public KvObject {
    DECLARE_DYNCREATE(KvAdvText)
public:
    KvAdvText() = default;
    KvAdvText(const KvAdvText& other) : KvObject() { Copy(other, 0); }
    KvAdvText& operator=(const KvAdvText& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvAdvText() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvAdvText(*this); }

    CString m_strKey;
    CString m_strTitle;
    CString m_strText;
    int m_bActive = 1;
    int m_nHits = 0;
};

class KvAdvRandom : public KvObject {
    DECLARE_DYNCREATE(KvAdvRandom)
public:
    KvAdvRandom() = default;
    KvAdvRandom(const KvAdvRandom& other) : KvObject() { Copy(other, 0); }
    KvAdvRandom& operator=(const KvAdvRandom& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvAdvRandom() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvAdvRandom(*this); }

    int m_nID = 0;
    CString m_strKey;
    CString m_strTitle;
    CString m_strText;
    int m_bActive = 1;
    int m_nHits = 0;
};

// A file kept in the site database: a folder ("type", e.g. "_images") and
// a name below it ("path", e.g. "logo.gif" or "VuvUrad/style.css").
class KvSimpleFile : public KvObject {
    DECLARE_DYNCREATE(KvSimpleFile)
public:
    KvSimpleFile() = default;
    KvSimpleFile(const KvSimpleFile& other) : KvObject() { Copy(other, 0); }
    KvSimpleFile& operator=(const KvSimpleFile& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvSimpleFile() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvSimpleFile(*this); }

    CString m_strType;
    CString m_strPath;
    CString m_strMime = "text/html";
    KvTime m_timeModified;
    KvGenBuffer m_bufContent{4096};
};
