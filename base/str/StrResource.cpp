// String resources from the registered string table.
#include "base/platform/StringTable.h"
#include "base/str/StrFunc.h"

char* StrResource(UINT id) {
    const char* text = KvLookupString(id);
    return text ? StrCopy(text, -1) : nullptr;
}

bool StrResource(UINT id, CString& out) {
    const char* text = KvLookupString(id);
    out = text;
    return text != nullptr;
}

bool FilterResource(UINT id, CString& text, CString& filter) {
    if (!StrResource(id, text)) return false;
    if (!text.IsEmpty()) {
        // "ext|rest": three filter bytes, one separator, then the text.
        filter = text.Left(3);
        text = text.Mid(4);
    }
    return true;
}
