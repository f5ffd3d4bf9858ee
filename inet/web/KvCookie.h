// KvCookie: the name/value pairs of a cookie header, in order.
//
// SetCookie reads a "Cookie" or "Set-Cookie" text: pieces separated by
// ";", each split at its first "=", names lower-cased, values trimmed and
// unquoted; attributes such as "path" or "expires" are entries like any
// other. GetCookie writes every entry as "name=value;" without blanks.
// A cookie belongs to one request at a time.
#pragma once

#include "base/containers/CsList.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"

class KvCookie : public KvObject {
    DECLARE_DYNCREATE(KvCookie)
public:
    KvCookie() = default;
    KvCookie(const KvCookie& other) : KvObject() { Copy(other, 0); }
    KvCookie& operator=(const KvCookie& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvCookie() override = default;

    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvCookie(*this); }

    // Replaces the entries with those of the text (null: none).
    void SetCookie(const char* text);
    CString GetCookie() const;
    void ResetCookie() { m_mapValue.RemoveAll(); }

    // The value of the first entry of that name (any case), else defaultValue.
    const char* GetValue(const char* name, const char* defaultValue) const;
    // Its integer value (0 for an empty value); defaultValue when absent.
    int GetIntValue(const char* name, int defaultValue) const;
    // Replaces the first entry of that name (any case) or appends one.
    BOOL SetValue(const char* name, const char* value);

    CsStrMap m_mapValue;
};

// The look-ups shared by cookies, sessions and CGI parameters.
const char* KvMapGetValue(const CsStrMap& map, const char* name, const char* defaultValue);
int KvMapGetIntValue(const CsStrMap& map, const char* name, int defaultValue);
BOOL KvMapSetValue(CsStrMap& map, const char* name, const char* value);
// The leading decimal integer of the text (optional blanks and sign), as
// atoi reads it but clamped to the int range; 0 when there is none.
int KvTextToInt(const char* text);
// Appends every piece of text between `separator`s that has a non-empty
// name to the map: split at the first "=", name lower-cased, value trimmed
// and unquoted.
void KvMapAddPairs(CsStrMap& map, const char* text, char separator);
