#include "proxy/feeds/KvResearchStack.h"

#include <cstdlib>
#include <cstring>

#include "base/containers/CsList.h"
#include "base/containers/KvObjectArray.h"
#include "base/str/StrFunc.h"

IMPLEMENT_DYNCREATE(KvResearchStackObj, KvObject)

void KvResearchStackObj::Set(const char* text, int first, int second) {
    m_strText = text ? text : "";
    m_nFirst = first;
    m_nSecond = second;
}

bool ConvertResearchStackToText(KvObjectArray* stack, CString* text) {
    if (!stack || !text) return false;
    text->Empty();
    for (int i = 0; i < stack->GetSize(); ++i) {
        const auto* r = dynamic_cast<const KvResearchStackObj*>(stack->GetAt(i));
        if (r) text->AppendFormat("%s\t%d\t%d\r\n", r->m_strText.c_str(), r->m_nFirst, r->m_nSecond);
    }
    return true;
}

bool ConvertTextToResearchStack(CString* text, KvObjectArray* stack) {
    if (!text || !stack) return false;
    stack->RemoveAll();
    CsStrList lines;
    if (!StrLineExplode(*text, lines)) return text->IsEmpty();
    bool ok = true;
    lines.ForEach([&](CsStrListItem* line) {
        CsString parts[3];
        if (!ok || !StrExplodeToArray(line->GetStr(), "\t", parts, 3)) {
            ok = false;
            return;
        }
        auto* r = new KvResearchStackObj;
        r->Set(parts[0].GetStr(), std::atoi(parts[1].GetStr()), std::atoi(parts[2].GetStr()));
        stack->Add(r);
    });
    return ok;
}

bool IsExistOnResearchStack(KvObjectArray* stack, const char* text) {
    for (int i = 0; stack && text && i < stack->GetSize(); ++i) {
        const auto* r = dynamic_cast<const KvResearchStackObj*>(stack->GetAt(i));
        if (r && std::strcmp(r->m_strText.c_str(), text) == 0) return true;
    }
    return false;
}
