// What the management modules share.
#include "proxy/web/KvWebModShared.h"

namespace kvmod {

CString GetOp(KvWebObjectEx& site, const char* fallback) {
    CString op = site.GetCGI().GetValue("op", "");
    op.MakeLower();
    return op.IsEmpty() ? CString(fallback) : op;
}

CString GetHtmlField(KvWebObjectEx& site, const char* name) {
    const CString editor = CString(name) + "_editor";
    const char* value = site.GetCGI().GetValue(editor, "");
    return *value ? CString(value) : CString(site.GetCGI().GetValue(name, ""));
}

}  // namespace kvmod
