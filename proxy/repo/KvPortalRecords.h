// The records of the portal and keyword stores: advertised links, query
// targets, book offers and cached directory pages.
//
// As the folder records: copying copies every field, Clone makes a record
// of the same class.
#pragma once

#include "base/containers/KvObject.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/CString.h"
#include "base/time/KvTime.h"

// An advertised link (table advitem).
class KvAdvItem : public KvObject {
    DECLARE_DYNCREATE(KvAdvItem)
public:
    KvAdvItem() = default;
    KvAdvItem(const char* url, const char* title, const char* description) { Set(url, title, description); }
    KvAdvItem(const KvAdvItem& other) : KvObject() { CopyFrom(other); }
    KvAdvItem& operator=(const KvAdvItem& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvAdvItem() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvAdvItem(*this); }
    void CopyFrom(const KvAdvItem& other);
    // id := 0 and the three texts.
    void Set(const char* url, const char* title, const char* description);

    int m_nID = 0;
    CString m_strUrl;
    CString m_strShowAs;
    CString m_strTitle;
    CString m_strDesc;
    CString m_strNote;
    int m_nShown = 0;
    int m_bActive = 1;
    int m_bGreat = 0;
    int m_nHits = 0;
    int m_nFlags = 0;
    CString m_strUploadBy;
    KvTime m_timeUploadOn;
};

// A query target (table query_target): a code, its text and whether it
// is advertised.
class KvQTItem : public KvObject {
    DECLARE_DYNCREATE(KvQTItem)
public:
    KvQTItem() = default;
    KvQTItem(const char* code, const char* text, int adv) { Set(code, text, adv); }
    KvQTItem(const KvQTItem& other) : KvObject() { CopyFrom(other); }
    KvQTItem& operator=(const KvQTItem& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvQTItem() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvQTItem(*this); }
    void CopyFrom(const KvQTItem& other);
    void Set(const char* code, const char* text, int adv);

    CString m_strCode;
    CString m_strText;
    int m_bAdv = 0;
};

// A book offer (table amazon_book_items).
class KvAmazonBook : public KvObject {
    DECLARE_DYNCREATE(KvAmazonBook)
public:
    KvAmazonBook() = default;
    KvAmazonBook(const KvAmazonBook& other) : KvObject() { CopyFrom(other); }
    KvAmazonBook& operator=(const KvAmazonBook& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvAmazonBook() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvAmazonBook(*this); }
    void CopyFrom(const KvAmazonBook& other);

    int m_nID = 0;
    CString m_strAsin;
    int m_nSalesRank = 0;
    CString m_strImageUrl;
    int m_nImageHeight = 60;
    int m_nImageWidth = 40;
    CString m_strTitle;
    CString m_strAuthor;
    CString m_strPublisher;
    KvTime m_timePublished;
    CString m_strBinding;
    CString m_strIsbn;
    CString m_strPrice;
};

// A cached directory page (table dircache): its links both as text (the
// stored form, see KvSimpleLink.h) and as KvSimpleLinkItems.
class KvDirCache : public KvObject {
    DECLARE_DYNCREATE(KvDirCache)
public:
    KvDirCache() = default;
    // Copies the link array deeply: each side owns its own items.
    KvDirCache(const KvDirCache& other) : KvObject() { CopyFrom(other); }
    KvDirCache& operator=(const KvDirCache& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvDirCache() override = default;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvDirCache(*this); }
    void CopyFrom(const KvDirCache& other);

    // The array from the text, and the text from the array. 1 on success.
    int ConvertLinksFromStringToArray();
    int ConvertLinksFromArrayToString();

    CString m_strPath;
    CString m_strCategory;
    CString m_strLinks;
    KvObjectArray m_arrLinks;
    KvTime m_timeUpdated;
};
