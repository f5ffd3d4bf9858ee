// KvSimpleLinkItem: a link as URL, title and description, and the plain
// text and HTML forms of link lists.
//
// Text form: one link per line, "url<TAB>title<TAB>description" ended by
// CR LF; missing trailing fields are empty. Tabs and line breaks inside a
// field are written as blanks, so every item reads back as one line.
#pragma once

#include "base/containers/KvObject.h"
#include "base/platform/CString.h"

class KvObjectArray;

class KvSimpleLinkItem : public KvObject {
    DECLARE_DYNCREATE(KvSimpleLinkItem)
public:
    KvSimpleLinkItem() = default;
    KvSimpleLinkItem(const char* url, const char* title, const char* description) { Set(url, title, description); }
    KvSimpleLinkItem(const KvSimpleLinkItem& other) : KvObject() { CopyFrom(other); }
    KvSimpleLinkItem& operator=(const KvSimpleLinkItem& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvSimpleLinkItem() override = default;

    // By title, without regard to case.
    int Compare(const KvObject& other) const override;
    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvSimpleLinkItem(*this); }

    void Set(const char* url, const char* title, const char* description);
    void CopyFrom(const KvSimpleLinkItem& other);

    CString m_strUrl;
    CString m_strTitle;
    CString m_strDescription;
};

// Empties `links` and appends one KvSimpleLinkItem per non-empty line.
// 0 for a null array or an empty text, else 1.
int ConvertTextToSimpleLink(const char* text, KvObjectArray* links);
// The text form of the KvSimpleLinkItems of `links`. 0 for null arguments.
int ConvertSimpleLinkToText(const KvObjectArray* links, CString* text);
// A checkable definition list of the links; titles, descriptions and URLs
// are escaped, URLs with another scheme than http, https or ftp lead
// nowhere. 0 for null arguments.
int ConvertSimpleLinkToHtml(const KvObjectArray* links, CString* html);
// Merges source into target: a target item with exactly the same URL takes
// the longer title and the longer description; other items are appended
// as copies. 0 for null arguments.
int CombineSimpleLinks(KvObjectArray* target, const KvObjectArray* source);
