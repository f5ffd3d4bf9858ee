// KvCGI: the parameters of a request to a local web site: the query of a
// GET, the form body of a POST, or the fields and files of a multipart
// upload. KvCGIFile: one uploaded file.
//
// Form and query parameters: pieces between "&" up to the first empty one,
// each split at its first "="; the name trimmed and lower-cased, the value
// trimmed and un-escaped ("+" and "%XX"). A repeated name keeps one entry
// whose values are joined by "|". Multipart fields keep their names as
// written and are never joined; a part with a file name becomes a
// KvCGIFile.
//
// Multipart bodies: a part's content is exactly the bytes between the blank
// line that ends its head and the line break that precedes the next
// delimiter line ("--" and the boundary), so a file ending in CR, LF or
// dashes arrives intact. Bodies beyond the bounds (kMaxParts parts, part
// heads longer than kMaxPartHead bytes, boundaries longer than
// kMaxBoundary) are refused: Parse returns FALSE and keeps what it parsed.
//
// A KvCGI is reused per request (Parse starts with Reset) and used by one
// thread at a time.
#pragma once

#include <cstddef>

#include "base/containers/CsList.h"
#include "base/containers/KvGenBuffer.h"
#include "base/containers/KvObject.h"
#include "base/containers/KvObjectArray.h"
#include "base/platform/CString.h"
#include "base/str/KvString.h"

class KvHttpRequest;

class KvCGIFile : public KvObject {
    DECLARE_DYNCREATE(KvCGIFile)
public:
    KvCGIFile() = default;
    ~KvCGIFile() override = default;
    KvCGIFile(const KvCGIFile&) = delete;
    KvCGIFile& operator=(const KvCGIFile&) = delete;
    KvObject* Clone() const override;

    CString m_strName;         // form field name
    CString m_strFileName;     // file name the browser gave
    CString m_strContentType;  // type the browser gave
    KvGenBuffer m_bufContent{4096};  // the file's bytes
};

class KvCGI : public KvObject {
    DECLARE_DYNCREATE(KvCGI)
public:
    static constexpr int kMaxParts = 1000;
    static constexpr size_t kMaxPartHead = 16 * 1024;
    static constexpr size_t kMaxBoundary = 200;

    KvCGI() = default;
    ~KvCGI() override = default;
    KvCGI(const KvCGI&) = delete;
    KvCGI& operator=(const KvCGI&) = delete;

    // Fills the object from the request: TRUE, or FALSE for a null request
    // or a multipart body without a usable boundary or beyond the bounds.
    int Parse(KvHttpRequest* request);
    // Empties parameters, files, method, host and path.
    void Reset();

    // The first parameter of that name (any case), else defaultValue.
    const char* GetValue(const char* name, const char* defaultValue) const;
    // Its integer value, 0 for an empty value; defaultValue when absent.
    int GetIntValue(const char* name, int defaultValue) const;
    CsStrMap* GetMap() { return &m_mapParam; }
    CsStrMapItem* Head() const { return m_mapParam.Head(); }
    // Null for an index outside the files.
    KvCGIFile* GetFile(int index) const;
    int GetFileCount() const { return m_arrFile.GetSize(); }

    CsStrMap m_mapParam;      // parameters in order of arrival
    KvObjectArray m_arrFile;  // KvCGIFile, owned, in order of arrival
    CString m_strMethod;      // the request method in upper case
    CString m_strHost;        // the request's "Host" header
    CString m_strPath;        // the request path; for GET without its query

protected:
    // Parameters of a query or form body.
    void DoParse(const char* text);
    // One "name=value" piece.
    void ParseField(KvString& pair);
    // All parts of a multipart body; FALSE for a null body, an empty
    // boundary or a body beyond the bounds. The read position is back at
    // the start afterwards.
    int DoParseMultipart(KvGenBuffer* body, const char* boundary);
    // One part, the read position just behind its delimiter line: FALSE
    // when its head is beyond the bounds.
    int DoParseMultipartComponent(KvGenBuffer* body, const char* boundary, int boundaryLength);
    // Copies the bytes up to the next delimiter line (left unread) into
    // `to`, the line break before it included; the count copied.
    size_t DoTransferContent(KvGenBuffer* from, KvGenBuffer* to, const char* boundary, int boundaryLength);
    // Removes the one line break at the end of a part's content that
    // belongs to the delimiter after it.
    void DoCleanComponentContent(KvGenBuffer* content);
    // One line of a part's head ("Content-Disposition", "Content-Type").
    void DoParseFileAttr(KvCGIFile* file, const CString& line);

private:
    void AddField(const CString& name, const CString& value);
    void AddPart(KvCGIFile& part);
};

// The boundary named in a multipart "Content-Type" value (surrounding
// quotes removed); empty when there is none.
CString KvGetMultipartBoundary(const char* contentType);
