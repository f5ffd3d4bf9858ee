// Copying and resetting the site database records.
#include "proxy/web/KvWebRecords.h"

IMPLEMENT_DYNCREATE(KvUserInfo, KvObject)
IMPLEMENT_DYNCREATE(KvAdvText, KvObject)
IMPLEMENT_DYNCREATE(KvAdvRandom, KvObject)
IMPLEMENT_DYNCREATE(KvSimpleFile, KvObject)

void KvUserInfo::Reset() {
    m_nID = m_nLevel = m_nCountryCode = 0;
    m_strName.Empty();
    m_strFullName.Empty();
    m_strPassword.Empty();
    m_strEmail.Empty();
    m_strHomePage.Empty();
    m_strStartPage.Empty();
    m_bViewEmail = m_bViewProfile = 1;
    m_strTheme = KV_DEFAULT_THEME;
    m_bPhoto = 0;
    m_strDesc.Empty();
    m_strPage.Empty();
    m_nVisit = m_nHits = 0;
    m_nMaxItemPerPage = 10;
    m_timeRegistered.Empty();
}

void KvUserInfo::Copy(const KvObject& other, int) {
    const auto* o = dynamic_cast<const KvUserInfo*>(&other);
    if (!o || o == this) return;
    m_nID = o->m_nID;
    m_nLevel = o->m_nLevel;
    m_nCountryCode = o->m_nCountryCode;
    m_strName = o->m_strName;
    m_strFullName = o->m_strFullName;
    m_strPassword = o->m_strPassword;
    m_strEmail = o->m_strEmail;
    m_strHomePage = o->m_strHomePage;
    m_strStartPage = o->m_strStartPage;
    m_bViewEmail = o->m_bViewEmail;
    m_bViewProfile = o->m_bViewProfile;
    m_strTheme = o->m_strTheme;
    m_bPhoto = o->m_bPhoto;
    m_strDesc = o->m_strDesc;
    m_strPage = o->m_strPage;
    m_nVisit = o->m_nVisit;
    m_nHits = o->m_nHits;
    m_nMaxItemPerPage = o->m_nMaxItemPerPage;
    m_timeRegistered = o->m_timeRegistered;
}

void KvAdvText::Copy(const KvObject& other, int) {
    const auto* o = dynamic_cast<const KvAdvText*>(&other);
    if (!o || o == this) return;
    m_strKey = o->m_strKey;
    m_strTitle = o->m_strTitle;
    m_strText = o->m_strText;
    m_bActive = o->m_bActive;
    m_nHits = o->m_nHits;
}

void KvAdvRandom::Copy(const KvObject& other, int) {
    const auto* o = dynamic_cast<const KvAdvRandom*>(&other);
    if (!o || o == this) return;
    m_nID = o->m_nID;
    m_strKey = o->m_strKey;
    m_strTitle = o->m_strTitle;
    m_strText = o->m_strText;
    m_bActive = o->m_bActive;
    m_nHits = o->m_nHits;
}

void KvSimpleFile::Copy(const KvObject& other, int) {
    const auto* o = dynamic_cast<const KvSimpleFile*>(&other);
    if (!o || o == this) return;
    m_strType = o->m_strType;
    m_strPath = o->m_strPath;
    m_strMime = o->m_strMime;
    m_timeModified = o->m_timeModified;
    m_bufContent.Empty();
    m_bufContent.PutString(o->m_bufContent.GetData(), o->m_bufContent.GetCount());
}
