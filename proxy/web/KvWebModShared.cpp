// The checks shared by the management modules.
#include "proxy/web/KvWebModShared.h"

namespace kvmod {

CString GetOp(KvWebObjectEx& site, const char* fallback) {
    CString op = site.GetCGI().GetValue("op", "");
    op.MakeLower();
    return op.IsEmpty() ? CString(fallback) : op;
}

bool MayChange(KvWebObjectEx& site, bool formPost) {
    if (formPost && site.GetCGI().m_strMethod != "POST") return false;
    return site.IsStateChangeAllowed() != 0;
}

CString GetHtmlField(KvWebObjectEx& site, const char* name) {
    const CString editor = CString(name) + "_editor";
    const char* value = site.GetCGI().GetValue(editor, "");
    return *value ? CString(value) : CString(site.GetCGI().GetValue(name, ""));
}

}  // namespace kvmod
