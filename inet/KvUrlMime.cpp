#include "KvUrlMime.h"

#if __has_include("KvMime.h")
#include "KvMime.h"
CString KvUrlContentType(const CString& extension) {
    return KvMime::GetInstance()->GetMimeByExt(extension, "");
}
#else
// The MIME table is not part of this build yet: no extension has a type.
CString KvUrlContentType(const CString&) { return CString(); }
#endif
