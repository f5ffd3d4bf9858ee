// KvParseImp: the named values a page template is filled with.
//
// One ordered list of name/value pairs. Names may repeat; lookups compare
// names without regard to case and take the first match, so the value added
// first wins. A derived store answers function placeholders ({#name ...})
// and path placeholders ({{name}}) by overriding Function and Path.
//
// Used by one thread at a time (the request that renders the page).
#pragma once

#include "base/containers/CsList.h"
#include "base/containers/KvObject.h"
#include "base/platform/CString.h"

class KvParseImp : public KvObject {
    DECLARE_DYNCREATE(KvParseImp)

public:
    KvParseImp() = default;
    KvParseImp(const KvParseImp& other) : KvObject() { Copy(other, 0); }
    KvParseImp& operator=(const KvParseImp& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvParseImp() override = default;

    // Appends a pair (null texts count as empty).
    void AddVariable(const char* name, const char* value);
    void AddVariable(const char* name, int value);     // "%d"
    void AddVariable(const char* name, double value);  // "%f"
    // Replaces the value of the first pair with that name, or appends one.
    void SetValue(const char* name, const char* value);
    // The value of the first match; empty when there is none.
    CString GetValue(const char* name) const;
    int IsExist(const char* name) const;
    void ResetVariable();
    const CsStrMap& GetVariables() const { return m_vars; }

    // out := the value of the first match; 1 when found, else 0 (out kept).
    int Variable(const char* name, CString& out) const;
    // A function placeholder: `name` lower-case, `params` its parameters.
    // 1 with `out` filled, or 0 (nothing to insert, the default).
    virtual int Function(const char* name, CsStrMap& params, CString& out);
    // A path placeholder; 1 with `out` filled, or 0 (the default).
    virtual int Path(const char* name, CString& out);

    void Copy(const KvObject& other, int flag) override;
    KvObject* Clone() const override { return new KvParseImp(*this); }

protected:
    CsStrMap m_vars;
};
