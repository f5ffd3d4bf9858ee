// KvHtmlGrab: the addresses a page refers to.
//
// Grab scans the page's tags: "a" href and "frame" src are links, "img"
// src images, "link" href style sheets, "script" src scripts. Each value
// is resolved against the base address (http or https), un-escaped, cut
// at its fragment, listed once, and passed through IsExcludeURL first.
//
// An object is used by one thread at a time.
#pragma once

#include "base/containers/KvGenBuffer.h"
#include "base/platform/CString.h"
#include "base/platform/Object.h"

class CsStrList;

class KvHtmlGrab : public CObject {
    DECLARE_DYNCREATE(KvHtmlGrab)
public:
    KvHtmlGrab() = default;
    ~KvHtmlGrab() override = default;

    void Reset() { m_bufContent.Empty(); }
    // Hands a buffer's memory in (the buffer is left empty) or out.
    void AttachBuffer(KvGenBuffer* buffer);
    void DetachBuffer(KvGenBuffer* buffer);
    int Load(const char* path);
    int Save(const char* path);
    // length -1: the whole text.
    void SetContent(const char* text, int length = -1);
    CString GetContent() const;

    // TRUE when the page was scanned (an empty page too); FALSE without a
    // base address or link list. Null style, image or script lists skip
    // values of that kind.
    int Grab(const char* baseUrl, CsStrList* links, CsStrList* styles, CsStrList* images, CsStrList* scripts);

    int m_bSleepMode = 1;  // 1: Break pauses (a stop request ends it); 0: serves the message queue

protected:
    // Reads the attribute value at `p` (white space, quotes and "=" before
    // it skipped), resolves it and adds it to `list`. Returns where the
    // value ended.
    const char* GrabProspect(const char* p, const char* end, const CString& base, CsStrList* list);
    // Gives other work a turn between values.
    void Break(int ms);
    virtual int IsExcludeURL(const char* url) { (void)url; return FALSE; }

    KvGenBuffer m_bufContent{4096};
};
