// The records of the folder repositories: one table row each, field for
// field (folders, feed folders, links, pages).
//
// Records travel between the repositories and the site pages in
// KvObjectArrays, which own them. Copy construction, assignment, Copy and
// CopyFrom copy every field; Clone makes a record of the same class.
// Times are KvTime values, stored as day numbers; an empty time is stored
// as 0 and reads back empty.
#pragma once

#include "base/containers/KvObject.h"
#include "base/platform/CString.h"
#include "base/time/KvTime.h"

// A folder of a link directory or local web site (table web_folder).
class KvWebFolder : public KvObject {
    DECLARE_DYNCREATE(KvWebFolder)
public:
    KvWebFolder() = default;
    // A folder whose label is its name.
    KvWebFolder(const char* name, const char* title, const char* description);
    KvWebFolder(const KvWebFolder& other) : KvObject() { CopyFrom(other); }
    KvWebFolder& operator=(const KvWebFolder& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvWebFolder() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvWebFolder(*this); }
    void CopyFrom(const KvWebFolder& other);

    int m_nID = 0;
    CString m_strName;
    CString m_strLabel;
    CString m_strTitle;
    CString m_strDesc;
    CString m_strContent;
    CString m_strKeywords;
    CString m_strRobots = "index, follow";
    CString m_strSidebar;
    CString m_strRedirect;
    int m_nParent = 0;
    int m_bShow = 1;
    int m_bActive = 1;
    int m_nOrder = 9999;
    int m_nFlags = 0;
    int m_nHits = 0;
    int m_nReadLevel = 0;
    int m_nWriteLevel = 9;
    CString m_strUploadBy;
    KvTime m_timeUploadOn;
    KvTime m_timeUpdateOn;
};

// A folder of the feed reader: a folder plus its feed and refresh state.
class KvWebFolderRSS : public KvWebFolder {
    DECLARE_DYNCREATE(KvWebFolderRSS)
public:
    KvWebFolderRSS() = default;
    // The folder fields of `folder`; the feed fields keep their defaults.
    explicit KvWebFolderRSS(const KvWebFolder& folder) : KvWebFolder(folder) {}
    KvWebFolderRSS(const KvWebFolderRSS& other) : KvWebFolder() { CopyFrom(other); }
    KvWebFolderRSS& operator=(const KvWebFolderRSS& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvWebFolderRSS() override = default;
    // From a plain folder only the folder fields are copied.
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvWebFolderRSS(*this); }
    void CopyFrom(const KvWebFolderRSS& other);
    using KvWebFolder::CopyFrom;

    CString m_strRssUrl;
    CString m_strRssCopyright;
    int m_nRssPeriode = 0;
    CString m_strRssPeriodeStr;
    int m_bRssDownloading = 0;
    KvTime m_timeRssLastDownload;
};

// A link (table link_item). m_nFolder is not stored: it names the folder
// through which a listing found the link.
class KvLinkItem : public KvObject {
    DECLARE_DYNCREATE(KvLinkItem)
public:
    KvLinkItem() = default;
    KvLinkItem(const char* url, const char* title, const char* description) { Set(url, title, description); }
    KvLinkItem(const KvLinkItem& other) : KvObject() { CopyFrom(other); }
    KvLinkItem& operator=(const KvLinkItem& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvLinkItem() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvLinkItem(*this); }
    void CopyFrom(const KvLinkItem& other);
    // id := 0 and the three texts.
    void Set(const char* url, const char* title, const char* description);

    int m_nFolder = 0;
    int m_nID = 0;
    CString m_strUrl;
    CString m_strShowAs;
    CString m_strTitle;
    CString m_strDesc;
    CString m_strKeywords;
    CString m_strNote;
    int m_bShow = 1;
    int m_bActive = 1;
    int m_bGreat = 0;
    int m_nRank = 40;
    int m_nHits = 0;
    int m_nAfd = 0;
    int m_nFlags = 0;
    CString m_strUploadBy;
    KvTime m_timeUploadOn;
    KvTime m_timeChecked;
};

// A page of a local web site (table web_page).
class KvWebPage : public KvObject {
    DECLARE_DYNCREATE(KvWebPage)
public:
    KvWebPage() = default;
    // A page whose label is its title.
    KvWebPage(const char* name, const char* title, const char* description);
    KvWebPage(const KvWebPage& other) : KvObject() { CopyFrom(other); }
    KvWebPage& operator=(const KvWebPage& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvWebPage() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvWebPage(*this); }
    void CopyFrom(const KvWebPage& other);

    int m_nID = 0;
    int m_nFolder = 0;
    CString m_strName;
    CString m_strLabel;
    CString m_strTitle;
    CString m_strDesc;
    CString m_strKeywords;
    CString m_strRobots = "index, follow";
    CString m_strAuthor = "admin";
    CString m_strContent;
    CString m_strSeeAlso;
    CString m_strSeeAlsoTitle;
    CString m_strRedirect;
    int m_bShow = 1;
    int m_bActive = 1;
    int m_nOrder = 9999;
    int m_nType = 0;
    int m_nFlags = 0;
    float m_fRating = 0;
    int m_nVotes = 0;
    int m_nHits = 0;
    int m_bExternal = 0;
    CString m_strSrcDesc;
    CString m_strUploadBy;
    KvTime m_timeUploadOn;
    KvTime m_timeUpdateOn;
};
