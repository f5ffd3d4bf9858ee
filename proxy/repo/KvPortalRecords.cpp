// Construction and copying of the portal and keyword records.
#include "proxy/repo/KvPortalRecords.h"

#include "inet/html/KvSimpleLink.h"

IMPLEMENT_DYNCREATE(KvAdvItem, KvObject)
IMPLEMENT_DYNCREATE(KvQTItem, KvObject)
IMPLEMENT_DYNCREATE(KvAmazonBook, KvObject)
IMPLEMENT_DYNCREATE(KvDirCache, KvObject)

void KvAdvItem::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvAdvItem*>(&other)) CopyFrom(*o);
}

void KvAdvItem::Set(const char* url, const char* title, const char* description) {
    m_nID = 0;
    m_strUrl = url ? url : "";
    m_strTitle = title ? title : "";
    m_strDesc = description ? description : "";
}

void KvAdvItem::CopyFrom(const KvAdvItem& o) {
    if (&o == this) return;
    m_nID = o.m_nID;
    m_strUrl = o.m_strUrl;
    m_strShowAs = o.m_strShowAs;
    m_strTitle = o.m_strTitle;
    m_strDesc = o.m_strDesc;
    m_strNote = o.m_strNote;
    m_nShown = o.m_nShown;
    m_bActive = o.m_bActive;
    m_bGreat = o.m_bGreat;
    m_nHits = o.m_nHits;
    m_nFlags = o.m_nFlags;
    m_strUploadBy = o.m_strUploadBy;
    m_timeUploadOn = o.m_timeUploadOn;
}

void KvQTItem::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvQTItem*>(&other)) CopyFrom(*o);
}

void KvQTItem::Set(const char* code, const char* text, int adv) {
    m_strCode = code ? code : "";
    m_strText = text ? text : "";
    m_bAdv = adv;
}

void KvQTItem::CopyFrom(const KvQTItem& o) {
    if (&o == this) return;
    Set(o.m_strCode, o.m_strText, o.m_bAdv);
}

void KvAmazonBook::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvAmazonBook*>(&other)) CopyFrom(*o);
}

void KvAmazonBook::CopyFrom(const KvAmazonBook& o) {
    if (&o == this) return;
    m_nID = o.m_nID;
    m_strAsin = o.m_strAsin;
    m_nSalesRank = o.m_nSalesRank;
    m_strImageUrl = o.m_strImageUrl;
    m_nImageHeight = o.m_nImageHeight;
    m_nImageWidth = o.m_nImageWidth;
    m_strTitle = o.m_strTitle;
    m_strAuthor = o.m_strAuthor;
    m_strPublisher = o.m_strPublisher;
    m_timePublished = o.m_timePublished;
    m_strBinding = o.m_strBinding;
    m_strIsbn = o.m_strIsbn;
    m_strPrice = o.m_strPrice;
}

void KvDirCache::Copy(const KvObject& other, int) {
    if (const auto* o = dynamic_cast<const KvDirCache*>(&other)) CopyFrom(*o);
}

void KvDirCache::CopyFrom(const KvDirCache& o) {
    if (&o == this) return;
    m_strPath = o.m_strPath;
    m_strCategory = o.m_strCategory;
    m_strLinks = o.m_strLinks;
    m_timeUpdated = o.m_timeUpdated;
    m_arrLinks.RemoveAll();
    for (int i = 0; i < o.m_arrLinks.GetSize(); i++) {
        const KvObject* link = o.m_arrLinks.GetAt(i);
        KvObject* copy = link ? link->Clone() : nullptr;
        if (m_arrLinks.Add(copy) < 0) delete copy;
    }
}

int KvDirCache::ConvertLinksFromStringToArray() { return ConvertTextToSimpleLink(m_strLinks, &m_arrLinks); }

int KvDirCache::ConvertLinksFromArrayToString() { return ConvertSimpleLinkToText(&m_arrLinks, &m_strLinks); }
