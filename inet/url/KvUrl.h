// KvUrl: one URL broken into its parts.
//
// A KvUrl parses an absolute URL (through TqParseURL) or a relative one,
// resolving relative references against a base URL it keeps apart from the
// URL itself; it composes absolute and relative forms again and classifies
// the target by its file extension (through the shared MIME table).
//
// Parsing reads hostile input: any text is accepted without reading past its
// end, and every composed text is built on the heap, never in fixed buffers.
// A KvUrl is used by one thread at a time; distinct objects may be used on
// different threads at once.
#pragma once

#include "base/platform/CString.h"
#include "base/platform/Object.h"

class KvUrl : public CObject {
    DECLARE_SERIAL(KvUrl)

public:
    // File types of the target.
    enum FileType {
        typeNone = 0,
        typeHTML = 1,
        typeJPEG = 2,
        typeGIF = 3,
        typeImage = 4,
        typeCGI = 5,  // the URL has a query
        typeText = 6,
        typeAudio = 7,
        typeVideo = 8,
    };

    KvUrl();
    explicit KvUrl(const char* url);
    KvUrl(const KvUrl& other);
    KvUrl& operator=(const KvUrl& other);
    KvUrl& operator=(const char* url);
    ~KvUrl() override = default;

    // Clears the URL parts (not the base); the URL becomes invalid.
    void Empty();
    void EmptyBasePath();

    // Parses `url`; relative texts resolve against the base when one is set.
    // Returns the validity.
    int SetUrl(const char* url);
    // Copies every field of `other`, its base included.
    int SetUrl(const KvUrl& other);
    // Parses `url`; when valid, its scheme, host and directory become the base.
    int SetBasePath(const char* url);
    CString GetBasePath() const;
    // Makes the URL denote a local file ("C:\dir\a.htm" or "/dir/a.htm").
    // FALSE and unchanged when the path is not a valid file specification.
    int SetAsLocalUrl(const char* filePath);

    int IsValid() const { return m_bValid; }
    int IsValidPort() const { return m_nPort != 0; }
    int IsLocal() const { return m_nScheme == 4; }
    int IsHTTP() const { return m_nScheme == 2; }
    int IsFTP() const { return m_nScheme == 1; }
    int IsMail() const { return m_nScheme == 5; }
    int IsNews() const { return m_nScheme == 6; }
    int IsCGI() const { return m_nFileType == typeCGI; }
    int IsHTML() const { return m_nFileType == typeHTML; }
    int IsJPEG() const { return m_nFileType == typeJPEG; }
    int IsGIF() const { return m_nFileType == typeGIF; }
    int IsIMAGE() const { return m_nFileType >= typeJPEG && m_nFileType <= typeImage; }
    int GetDefaultPort() const;
    int IsSameHome(const KvUrl& other) const;
    int IsSameHome(const char* url) const;
    int IsSame(const KvUrl& other) const;
    bool operator==(const KvUrl& other) const { return IsSame(other) != 0; }
    bool operator!=(const KvUrl& other) const { return IsSame(other) == 0; }

    // Composition; each returns new text.
    CString GetHomePage(int withPort = 1) const;
    CString GetLongPath(int withPort = 1) const;
    CString GetFileName(int exact = 0, int withAnchor = 0) const;
    CString GetObjectA(const char* defaultName = nullptr) const;
    CString GetUrl(int withAnchor = 1) const;
    CString GetRelativeUrl(const KvUrl& target, int withAnchor = 1) const;
    CString GetRelativeUrl(const char* url, int withAnchor = 1) const;
    // The file below `root` that the URL names, every "." and ".." segment
    // resolved inside root so the result never leaves it. A file URL gives
    // its own path ("C:/dir/a.htm" with a drive).
    CString GetLocalFile(const char* root) const;

    // GetUrl(1), kept in this object until its next conversion or change.
    operator const char*() const;

    void Serialize(CArchive& ar) override;

    int m_nScheme = 0;
    CString m_strScheme;
    CString m_strHost;
    unsigned short m_nPort = 0;
    CString m_strPath;  // directory, ending with "/"
    CString m_strFile;  // file name without extension
    CString m_strExt;   // extension without dot
    CString m_strAnchor;
    CString m_strQuery;
    CString m_strContentType;
    int m_nFileType = typeNone;
    int m_bValid = FALSE;
    CString m_strBaseScheme;
    CString m_strBaseHost;
    CString m_strBasePath;

protected:
    // Content type and file type from the extension.
    void FindFileType();

private:
    bool HasBase() const;
    CString ResolveRelative(const CString& text) const;
    int ParsePath(CString path);
    void MarkDirectory(const CString& path);

    mutable CString m_strText;  // backing store of operator const char*
};
