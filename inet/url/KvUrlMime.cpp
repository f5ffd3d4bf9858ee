#include "inet/url/KvUrlMime.h"

#include "inet/web/KvMime.h"

CString KvUrlContentType(const CString& extension) {
    return KvMime::GetInstance()->GetMimeByExt(extension, "");
}
