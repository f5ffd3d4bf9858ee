#include "base/str/KvCharSet.h"

#include "base/platform/Archive.h"

IMPLEMENT_SERIAL(KvCharSet, CObject, 1)

void KvCharSet::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar.Write(m_bits, sizeof m_bits);
    } else if (ar.Read(m_bits, sizeof m_bits) != sizeof m_bits) {
        AllOff();  // a short archive leaves an empty set, never stale bits
    }
}

// Each set is built from its member text at compile time; unions are
// written as concatenated texts so no set depends on another's
// initialisation. The filter sets add backspace and tab for edit fields.
#define KV_UPPER "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
#define KV_LOWER "abcdefghijklmnopqrstuvwxyz"
#define KV_NUMBERS "+-1234567890,."
// 33 characters; the space appears twice, as in the historical table.
#define KV_PUNCT ",. ;:`~!@#$%^&*()_-+|\\{}[]\"'?/<>= "
#define KV_EDIT_KEYS "\b\t"

constinit const KvCharSet CSUpperCase(KV_UPPER);
constinit const KvCharSet CSLowerCase(KV_LOWER);
constinit const KvCharSet CSLetters(KV_UPPER KV_LOWER);
constinit const KvCharSet CSNumbers(KV_NUMBERS);
constinit const KvCharSet CSFloats("+-1234567890EeDe.,");
constinit const KvCharSet CSAlphaNum(KV_UPPER KV_LOWER KV_NUMBERS);
constinit const KvCharSet CSWords(KV_UPPER KV_LOWER KV_NUMBERS " -");
constinit const KvCharSet CSPunct(KV_PUNCT);
constinit const KvCharSet CSPrintable(KV_UPPER KV_LOWER KV_NUMBERS KV_PUNCT);
constinit const KvCharSet FilterBool("01" KV_EDIT_KEYS);
constinit const KvCharSet FilterDate("0123456789/-" KV_EDIT_KEYS);
constinit const KvCharSet FilterDateTime("0123456789/-:apmAPM" KV_EDIT_KEYS);
constinit const KvCharSet FilterTime("0123456789/-:apmAPM" KV_EDIT_KEYS);
constinit const KvCharSet FilterNumbers("+-1234567890" KV_EDIT_KEYS);
constinit const KvCharSet FilterFloats("+-1234567890EeDe.," KV_EDIT_KEYS);
constinit const KvCharSet FilterText(KV_UPPER KV_LOWER KV_NUMBERS KV_PUNCT KV_EDIT_KEYS);
