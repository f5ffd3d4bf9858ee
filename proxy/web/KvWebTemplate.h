// KvWebTemplate: fills the placeholders of a page template.
//
// A page handler collects named values in a KvParseImp, loads the template
// into a KvGenBuffer and calls Parse, which replaces in place:
//   {name}                   a variable (KvParseImp::Variable)
//   {#name a=1 b="x" c='y'}  a function with parameters (KvParseImp::Function)
//   {{name}}                 a path (KvParseImp::Path)
// Placeholders without a value stay as they are; {} is left alone. Inserted
// values are scanned again, so a value may hold placeholders of its own.
// Values are inserted as they are (no HTML escaping). After at least one
// replacement, "&#123;" and "&#125;" become "{" and "}".
//
// Rescanning is bounded: one Parse performs at most kMaxReplacements
// replacements and inserts at most kMaxInsertedBytes bytes. Past either
// bound the rest of the text stays unexpanded and one line goes to the
// template log hook, so a value that contains its own placeholder neither
// hangs nor exhausts memory.
//
// A template is used by one thread at a time.
#pragma once

#include <cstddef>

#include "base/platform/CString.h"
#include "base/platform/Object.h"

class CsStrMap;
class KvGenBuffer;
class KvParseImp;

// Receives the diagnostic line written when an expansion is cut short.
typedef void (*KvTemplateLogHook)(const char* line);
// Installs the receiver (process-wide, thread-safe); null restores the
// default, which writes the line to stderr.
void KvSetTemplateLogHook(KvTemplateLogHook hook);

class KvWebTemplate : public CObject {
    DECLARE_DYNCREATE(KvWebTemplate)

public:
    static constexpr int kMaxReplacements = 100000;
    static constexpr size_t kMaxInsertedBytes = 8u << 20;

    KvWebTemplate() = default;
    explicit KvWebTemplate(KvParseImp* imp, int owns = 0) { SetImp(imp, owns); }
    ~KvWebTemplate() override;
    KvWebTemplate(const KvWebTemplate&) = delete;
    KvWebTemplate& operator=(const KvWebTemplate&) = delete;

    // Releases the current store (deleting it when owned), then keeps imp;
    // with `owns` set the template deletes it later.
    void SetImp(KvParseImp* imp, int owns);
    KvParseImp* GetImp() const { return m_pImp; }

    // Expands the unread text of `buffer` in place. 0 without a store or
    // buffer (buffer untouched) or when the buffer cannot be refilled;
    // else 1. Without any replacement the buffer is left exactly as it was.
    int Parse(KvGenBuffer* buffer);
    int Parse(KvGenBuffer& buffer) { return Parse(&buffer); }

protected:
    // Splits "a=1 b="x" c='y' d" into pairs (a=1, b=x, c=y; d is ignored).
    void ParseParams(CsStrMap& params, const char* text);

private:
    KvParseImp* m_pImp = nullptr;
    int m_bOwnsImp = 0;
};
