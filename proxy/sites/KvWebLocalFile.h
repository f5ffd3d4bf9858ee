// KvWebLocalFile: a local web site made of plain files, one sub-directory
// of the base directory's "LocalWeb" directory, served as they are.
//
// The host name is the directory's name in lower case; files are read
// from the directory under its real name. "config.txt" in the directory
// may name the site ("hp_name") and describe it ("hp_desc") in its section
// "Configuration". A path ending with "/" serves its "index.html" (or
// "index.htm"); a directory named without the final "/" is redirected to
// it. Request paths are confined to the site's directory (see
// KvWebPath.h).
#pragma once

#include "proxy/web/KvWebObject.h"

class KvWebLocalFile : public KvWebObject {
    DECLARE_DYNCREATE(KvWebLocalFile)
public:
    KvWebLocalFile() = default;
    explicit KvWebLocalFile(const char* host);
    ~KvWebLocalFile() override = default;

    // The base path becomes "<base>/LocalWeb".
    void SetBasePath(const char* path) override;
    // The directory's real name (the manager passes it here; the host name
    // is its lower-case form).
    void SetDbFileName(const char* dirName) override;
    int Initiate() override;
    int DoGetResponse() override;

    // The site's directory.
    CString GetSiteDir() const { return m_strBasePath + "/" + m_strDirName; }

protected:
    // The index file of a directory path ("/" at its end): "index.html",
    // or "index.htm" when only that exists; false when the one found
    // resolves outside the site.
    bool ResolveIndex(const CString& dirPath, CString& file) const;

    CString m_strDirName;
};
