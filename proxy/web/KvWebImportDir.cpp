#include "proxy/web/KvWebImportDir.h"

namespace {

CString& Configured() {
    static CString dir;
    return dir;
}

}  // namespace

void KvSetImportDir(const char* dir) { Configured() = dir ? dir : ""; }

CString KvGetImportDir(const char* basePath) {
    CString dir = Configured();
    if (dir.IsEmpty()) dir = "Import";
    if (dir[0] == '/') return dir;
    return CString(basePath ? basePath : "") + "/" + dir;
}
