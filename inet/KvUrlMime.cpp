#include "KvUrlMime.h"

#include "KvMime.h"

CString KvUrlContentType(const CString& extension) {
    return KvMime::GetInstance()->GetMimeByExt(extension, "");
}
