#include "proxy/web/KvParseImp.h"

#include <cstdio>

IMPLEMENT_DYNCREATE(KvParseImp, KvObject)

void KvParseImp::AddVariable(const char* name, const char* value) {
    m_vars.AddTail(name ? name : "", value ? value : "");
}

void KvParseImp::AddVariable(const char* name, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    AddVariable(name, text);
}

void KvParseImp::AddVariable(const char* name, double value) {
    CString text;
    text.Format("%f", value);
    AddVariable(name, text);
}

void KvParseImp::SetValue(const char* name, const char* value) {
    if (CsStrMapItem* item = m_vars.IFind(name ? name : ""))
        item->m_value = value ? value : "";
    else
        AddVariable(name, value);
}

CString KvParseImp::GetValue(const char* name) const {
    const char* value = m_vars.ILookup(name ? name : "");
    return CString(value);
}

int KvParseImp::IsExist(const char* name) const { return m_vars.IFind(name ? name : "") ? 1 : 0; }

void KvParseImp::ResetVariable() { m_vars.RemoveAll(true); }

int KvParseImp::Variable(const char* name, CString& out) const {
    const char* value = m_vars.ILookup(name ? name : "");
    if (!value) return 0;
    out = value;
    return 1;
}

int KvParseImp::Function(const char*, CsStrMap&, CString&) { return 0; }

int KvParseImp::Path(const char*, CString&) { return 0; }

void KvParseImp::Copy(const KvObject& other, int) {
    if (const KvParseImp* imp = dynamic_cast<const KvParseImp*>(&other)) {
        if (imp != this) m_vars.CopyFrom(imp->m_vars);
    }
}
