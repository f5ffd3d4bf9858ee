// Free text functions on zero-terminated byte strings.
//
// Every function accepts null pointers and treats them as empty text (the
// length of null is 0). Functions that return a new string allocate it with
// malloc; the caller frees it (StrDestroy frees and nulls the pointer).
// All functions are reentrant; none keeps state between calls.
//
// Bounded writers (StrCopy with max, StrAppend with max, StrCopyAppend)
// take max as the number of text bytes: the destination needs max + 1
// bytes for the terminator.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/str/CsString.h"

class CsStrList;

// Constant texts.
inline constexpr char CR[] = "\r";
inline constexpr char LF[] = "\n";
inline constexpr char CRLF[] = "\r\n";
inline constexpr char TAB[] = "\t";
inline constexpr char SPACE[] = " ";
// Upper-case hex digits: every hex output of the library uses this table.
inline constexpr char HEX_CHAR[] = "0123456789ABCDEF";

// --- Length, emptiness, allocation ------------------------------------------

int StrLength(const char* s);
bool StrIsEmpty(const char* s);
bool StrIsNull(const char* s);
// Non-null (readability cannot be probed here; a caller's max is advisory).
bool IsValidString(const char* s, int max);
bool StrIsValid(const char* s, int len = -1);
void StrEmpty(char* s);
// n copies of ch followed by a terminator; buf needs n + 1 bytes.
char* StrFill(char* buf, char ch, int n);
// n + 1 bytes, first and last 0; negative n fails.
bool StrAlloc(char*& out, int n);
char* StrAlloc(int n);
void StrDestroy(char*& p);
// Frees the old text and stores a copy of s.
void StrAssign(char*& p, const char* s);

// --- Copy and append --------------------------------------------------------

// New copy of the first n bytes (n = -1: all); null when n < 1 or s empty.
char* StrCopy(const char* s, int n = -1);
char* StrCopy(char* s, int n);
char* StrCopy(char* dst, char ch);
char* StrCopy(char* dst, const char* src);
// Copies min(length, max) bytes (overlap-safe) and terminates when asked;
// an empty src or max 0 makes dst empty.
char* StrCopy(char* dst, const char* src, int max, bool terminate);
char* StrAppend(char* dst, char ch);
char* StrAppend(char* dst, const char* src);
// Appends until dst holds at most max bytes in all.
char* StrAppend(char* dst, const char* src, int max, bool terminate);
// Appends count further const char* arguments.
char* StrAppendN(char* dst, int count, ...);
// s1 + s2 [+ s3 [+ s4]] into dst, at most max bytes, always terminated.
char* StrCopyAppend(char* dst, int max, const char* s1, const char* s2, const char* s3 = nullptr,
                    const char* s4 = nullptr);
// New a + b; null when both are empty.
char* GetStrConcat(const char* a, const char* b);
void StrConcat(char*& p, const char* b);
CString StrCat(const char* a, const char* b, const char* c = nullptr, const char* d = nullptr);
// dir + "/" + name (name unchanged when absolute or dir empty); null
// when name is empty. Both "\" and "/" count as separators.
char* StrMakePath(char* dst, const char* dir, const char* name);

// --- Case, trimming, comparison, search --------------------------------------

char* StrUpperCase(char* s);
char* StrLowerCase(char* s);
// Only for texts known to be lower-case (upper-case) ASCII letters.
void Str2Upper(char* s);
void Str2Lower(char* s);
// In place; null for null or empty input (and for a text of only spaces
// in StrTrim/StrTrimLeft, which leave it empty).
char* StrTrimLeft(char* s);
char* StrTrimRight(char* s);
char* StrTrim(char* s);
void StrTrim(CString& s);

// -1/0/1 on unsigned bytes; null sorts first, two nulls are equal.
int StrCompare(const char* a, const char* b);
int StrCompare(const char* a, const char* b, int n);
// Case-insensitive; <0/0/>0 with the same null rules. No allocation.
int StrICompare(const char* a, const char* b);
int StrICompare(const char* a, const char* b, int n);
bool StrIsEndWith(const char* s, const char* suffix);
// Case-insensitive search; a pointer into s, null when not found.
const char* StrIFindZ(const char* s, const char* sub);
char* StrIFindZ(char* s, const char* sub);
const char* StrIFindZ(const char* s, char ch);
char* StrIFindZ(char* s, char ch);

// h := h * 5 + (signed byte), wrapping.
unsigned StrHashValue(const char* s);

// Splits text in place at separator bytes (space and tab when null); a
// line feed or the terminator ends the text. Fields point into text.
// Returns the field count, or -1 for null text or too many fields.
int StrSplit(char* text, const char* separators, char** fields, int maxFields, bool skipEmpty,
             bool skipLeading);

// --- Escaping and hex ----------------------------------------------------------

// The value of one hex digit (either case), -1 for any other byte.
inline constexpr int StrHexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// URL-style escape into dst (size bytes with the terminator): space to
// "+", 0x21..0x7F kept, other bytes "%XX". Never writes past size; an
// escape that does not fit ends the output. Returns the length written.
int StrEscape(const char* src, char* dst, int size);
bool StrEscape(CString* s);
bool StrEscape(CsString* s);
// "+" to space, "%XX" decoded; in place.
void StrUnEscape(char* s);
bool StrUnEscape(CString* s);
bool StrUnEscape(CsString* s);
// The byte given by the two hex digits at p (both cases accepted).
char Esc2Char(const char* p);

// n bytes to 2n upper-case hex digits (no terminator).
void StrUnpack(const void* src, char* dst, int n);
bool StrUnpack(CsString& s);
// n hex digits (upper case) to n / 2 bytes.
void StrPack(const char* src, void* dst, int n);
bool StrPack(CsString& s);
// Reversible scrambling to upper-case hex text (not encryption).
bool StrEncrypt(CsString& s);
bool StrDecrypt(CsString& s);

// Colour (red in bits 0-7) to "#RRGGBB" and back.
CString RGB2Text(COLORREF colour);
COLORREF Text2RGB(const char* text);

// --- Formatting ------------------------------------------------------------------

CString StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Bounded formatting into buf (size bytes with the terminator); returns
// the length written (truncated to size - 1) or -1 on a format error.
int StrFormatV(char* buf, size_t size, const char* format, va_list args) __attribute__((format(printf, 3, 0)));
// Into a buffer of StrFormatLength() bytes; prefer the sized form.
int StrFormatV(char* buf, const char* format, va_list args) __attribute__((format(printf, 2, 0)));
// The buffer size for StrFormatV: at least 8192 and large enough for the
// formatted text of these arguments (args are not consumed).
int StrFormatLength(const char* format, va_list args) __attribute__((format(printf, 1, 0)));
int StrFormatLength();

// s when n >= its length, else its first n bytes and "...".
CString CutString(const char* s, int n);
// out := s without its first two and last two bytes; false (out empty)
// when s is shorter than 4.
bool RemoveDoubleBrackets(const char* s, CString& out);
void lpcstr_to_cstring(const char* s, CString& out);
void lpcwstr_to_cstring(const wchar_t* s, CString& out);

// --- Random text (not for secrets) -------------------------------------------------

// lo + round((hi - lo) * r / 32767) with r = rand() & 0x7FFF: within [lo, hi].
int Random(int lo, int hi);
CString GetStrRandom(int n);
CString GetStrRandomHexa(int n);

// --- String resources ----------------------------------------------------------------

// New copy of the registered text, null when missing.
char* StrResource(UINT id);
bool StrResource(UINT id, CString& out);
// text := resource id; when non-empty, filter := its first 3 bytes and
// text := the rest from byte 4.
bool FilterResource(UINT id, CString& text, CString& filter);

// --- Explode and break -----------------------------------------------------------------

// Non-empty lines (CR, LF, CR LF, LF CR end a line) appended to list.
bool StrLineExplode(const char* text, CsStrList& list);
// Pieces between separators, empty ones included (n separators, n + 1
// pieces). An empty separator splits nothing: false, nothing added.
bool StrExplode(const char* text, const char* sep, CsStrList& list);
// Exactly count tokens as KvString::GetToken with the delimiter set
// (null: the thread's previous set).
bool StrExplodeByChar(const char* text, const char* delimiters, CsStrList& list, int count);
// Like StrExplode into n elements; the rest of the text is dropped and
// elements without a piece are emptied. An empty separator puts the whole
// text into the first element.
bool StrExplodeToArray(const char* text, const char* sep, CsString* array, int n);
// Empties the list, then adds GetToken results until the first empty one
// (so "a,,b" gives only "a").
bool BreakTokens(const char* text, CsStrList& list, char delimiter);
bool BreakTokens(const char* text, CsStrList& list, const char* delimiters);
// left := first token, right := the rest after its delimiter (empty when
// there is none); both trimmed. True when the delimiter was found.
bool Break2String(const char* text, CString& left, CString& right, char delimiter);
// As Break2String; key lower-cased, value unquoted.
bool BreakKeyValue(const char* text, CString& key, CString& value, char delimiter);
