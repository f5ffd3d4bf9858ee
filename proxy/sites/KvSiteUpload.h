// The file a site's upload form sent.
#pragma once

#include <cstring>

#include "inet/web/KvCGI.h"

// The file of the form field `field`, else the first file sent; null when
// none was sent.
inline KvCGIFile* KvUploadedFile(const KvCGI& cgi, const char* field) {
    for (int i = 0; i < cgi.GetFileCount(); ++i) {
        if (std::strcmp(cgi.GetFile(i)->m_strName.c_str(), field) == 0) return cgi.GetFile(i);
    }
    return cgi.GetFile(0);
}
