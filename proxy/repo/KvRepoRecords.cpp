// Construction and copying of the folder, link and page records.
#include "proxy/repo/KvRepoRecords.h"

IMPLEMENT_DYNCREATE(KvWebFolder, KvObject)
IMPLEMENT_DYNCREATE(KvWebFolderRSS, KvWebFolder)
IMPLEMENT_DYNCREATE(KvLinkItem, KvObject)
IMPLEMENT_DYNCREATE(KvWebPage, KvObject)

KvWebFolder::KvWebFolder(const char* name, const char* title, const char* description)
    : m_strName(name ? name : ""), m_strLabel(m_strName), m_strTitle(title ? title : ""),
      m_strDesc(description ? description : "") {}

void KvWebFolder::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvWebFolder*>(&other)) CopyFrom(*o);
}

void KvWebFolder::CopyFrom(const KvWebFolder& o) {
    if (&o == this) return;
    m_nID = o.m_nID;
    m_strName = o.m_strName;
    m_strLabel = o.m_strLabel;
    m_strTitle = o.m_strTitle;
    m_strDesc = o.m_strDesc;
    m_strContent = o.m_strContent;
    m_strKeywords = o.m_strKeywords;
    m_strRobots = o.m_strRobots;
    m_strSidebar = o.m_strSidebar;
    m_strRedirect = o.m_strRedirect;
    m_nParent = o.m_nParent;
    m_bShow = o.m_bShow;
    m_bActive = o.m_bActive;
    m_nOrder = o.m_nOrder;
    m_nFlags = o.m_nFlags;
    m_nHits = o.m_nHits;
    m_nReadLevel = o.m_nReadLevel;
    m_nWriteLevel = o.m_nWriteLevel;
    m_strUploadBy = o.m_strUploadBy;
    m_timeUploadOn = o.m_timeUploadOn;
    m_timeUpdateOn = o.m_timeUpdateOn;
}

void KvWebFolderRSS::Copy(const KvObject& other, int) {
    if (const auto* rss = dynamic_cast<const KvWebFolderRSS*>(&other)) {
        CopyFrom(*rss);
    } else if (const auto* folder = dynamic_cast<const KvWebFolder*>(&other)) {
        KvWebFolder::CopyFrom(*folder);
    }
}

void KvWebFolderRSS::CopyFrom(const KvWebFolderRSS& o) {
    if (&o == this) return;
    KvWebFolder::CopyFrom(o);
    m_strRssUrl = o.m_strRssUrl;
    m_strRssCopyright = o.m_strRssCopyright;
    m_nRssPeriode = o.m_nRssPeriode;
    m_strRssPeriodeStr = o.m_strRssPeriodeStr;
    m_bRssDownloading = o.m_bRssDownloading;
    m_timeRssLastDownload = o.m_timeRssLastDownload;
}

void KvLinkItem::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvLinkItem*>(&other)) CopyFrom(*o);
}

void KvLinkItem::Set(const char* url, const char* title, const char* description) {
    m_nID = 0;
    m_strUrl = url ? url : "";
    m_strTitle = title ? title : "";
    m_strDesc = description ? description : "";
}

void KvLinkItem::CopyFrom(const KvLinkItem& o) {
    if (&o == this) return;
    m_nFolder = o.m_nFolder;
    m_nID = o.m_nID;
    m_strUrl = o.m_strUrl;
    m_strShowAs = o.m_strShowAs;
    m_strTitle = o.m_strTitle;
    m_strDesc = o.m_strDesc;
    m_strKeywords = o.m_strKeywords;
    m_strNote = o.m_strNote;
    m_bShow = o.m_bShow;
    m_bActive = o.m_bActive;
    m_bGreat = o.m_bGreat;
    m_nRank = o.m_nRank;
    m_nHits = o.m_nHits;
    m_nAfd = o.m_nAfd;
    m_nFlags = o.m_nFlags;
    m_strUploadBy = o.m_strUploadBy;
    m_timeUploadOn = o.m_timeUploadOn;
    m_timeChecked = o.m_timeChecked;
}

KvWebPage::KvWebPage(const char* name, const char* title, const char* description)
    : m_strName(name ? name : ""), m_strLabel(title ? title : ""), m_strTitle(m_strLabel),
      m_strDesc(description ? description : "") {}

void KvWebPage::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvWebPage*>(&other)) CopyFrom(*o);
}

void KvWebPage::CopyFrom(const KvWebPage& o) {
    if (&o == this) return;
    m_nID = o.m_nID;
    m_nFolder = o.m_nFolder;
    m_strName = o.m_strName;
    m_strLabel = o.m_strLabel;
    m_strTitle = o.m_strTitle;
    m_strDesc = o.m_strDesc;
    m_strKeywords = o.m_strKeywords;
    m_strRobots = o.m_strRobots;
    m_strAuthor = o.m_strAuthor;
    m_strContent = o.m_strContent;
    m_strSeeAlso = o.m_strSeeAlso;
    m_strSeeAlsoTitle = o.m_strSeeAlsoTitle;
    m_strRedirect = o.m_strRedirect;
    m_bShow = o.m_bShow;
    m_bActive = o.m_bActive;
    m_nOrder = o.m_nOrder;
    m_nType = o.m_nType;
    m_nFlags = o.m_nFlags;
    m_fRating = o.m_fRating;
    m_nVotes = o.m_nVotes;
    m_nHits = o.m_nHits;
    m_bExternal = o.m_bExternal;
    m_strSrcDesc = o.m_strSrcDesc;
    m_strUploadBy = o.m_strUploadBy;
    m_timeUploadOn = o.m_timeUploadOn;
    m_timeUpdateOn = o.m_timeUpdateOn;
}
