// KvString: the system's string class.
//
// A CString (byte string, any length) with search/replace, token, trim,
// case, number and wildcard operations. It holds no data of its own, so a
// KvString and a CString convert freely and cheaply.
//
// Positions are 0-based byte indices, except where noted:
// - Delete(pos, count) counts pos from 1 (Delete(1, 1) drops the first byte);
// - Insert(pos, x) puts x AFTER the byte at pos (Insert(0, 'x') on "abc"
//   gives "axbc").
// The CString forms (Find(ch, start), Replace(old, new), ...) remain
// available beside the forms added here.
//
// A KvString is not shared between threads without a lock. GetToken
// remembers the last delimiter per thread (see GetToken).
#pragma once

#include <string_view>

#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/str/KvCharSet.h"

class KvString : public CString {
public:
    KvString() = default;
    KvString(const KvString&) = default;
    KvString(KvString&&) noexcept = default;
    KvString(const CString& s) : CString(s) {}
    KvString(CString&& s) noexcept : CString(std::move(s)) {}
    KvString(const char* s) : CString(s) {}
    KvString(const char* s, int len) : CString(s, len) {}
    KvString(const wchar_t* ws) : CString(ws) {}
    KvString(std::string_view s) : CString(s) {}
    explicit KvString(std::string s) : CString(std::move(s)) {}
    KvString(char ch) : CString(ch, 1) {}
    KvString(char ch, int repeat) : CString(ch, repeat) {}
    // Decimal text of the number.
    KvString(int n) { *this = (long)n; }
    KvString(long n) { *this = n; }
    ~KvString() override = default;

    KvString& operator=(const KvString&) = default;
    KvString& operator=(KvString&&) noexcept = default;
    KvString& operator=(const CString& s) { CString::operator=(s); return *this; }
    KvString& operator=(CString&& s) noexcept { CString::operator=(std::move(s)); return *this; }
    KvString& operator=(const char* s) { CString::operator=(s); return *this; }
    KvString& operator=(const wchar_t* ws) { CString::operator=(ws); return *this; }
    KvString& operator=(const std::string& s) { CString::operator=(s); return *this; }
    KvString& operator=(char ch) { CString::operator=(ch); return *this; }
    KvString& operator=(int n) { return *this = (long)n; }
    KvString& operator=(long n);

    KvString& operator+=(const CString& s) { CString::operator+=(s); return *this; }
    KvString& operator+=(const char* s) { CString::operator+=(s); return *this; }
    KvString& operator+=(char ch) { CString::operator+=(ch); return *this; }
    KvString& operator+=(int n) { return *this += (long)n; }
    KvString& operator+=(long n);

    // A writable byte; an index outside the string gives a scratch byte.
    char& operator[](int i);
    char operator[](int i) const { return GetAt(i); }

    // Drops the first n bytes (all of them when n >= length).
    KvString& operator<<(int n);

    void Init() { Empty(); }
    void Swap(KvString& other) noexcept { m_str.swap(other.m_str); }

    // --- Searching (-1 when start < 0, start >= length or not found) -------
    using CString::Find;
    int Find(int start, char ch) const;
    int Find(int start, const char* s) const;
    bool IsContain(char ch) const { return Find(ch) >= 0; }
    bool IsContain(const char* s) const { return Find(s) >= 0; }
    using CString::FindOneOf;
    int FindOneOf(int start, const char* set) const;
    int FindOneOf(const KvCharSet& set) const { return FindOneOf(0, set); }
    int FindOneOf(int start, const KvCharSet& set) const;
    // Case-insensitive, without copying either side.
    int FindNoCase(char ch) const { return FindNoCase(0, ch); }
    int FindNoCase(const char* s) const { return FindNoCase(0, s); }
    int FindNoCase(int start, char ch) const;
    int FindNoCase(int start, const char* s) const;
    // Number of bytes equal to ch.
    int GetCount(char ch) const;
    // Case-sensitive; false when either side is empty.
    bool IsBeginWith(const char* s) const;
    bool IsEndWith(const char* s) const;

    // --- Editing -------------------------------------------------------------
    // Keeps Left(pos - 1) and Mid(pos + count - 1): pos counts from 1.
    int Delete(int pos, int count = 1);
    // Left(pos + 1) + text + Mid(pos + 1): the text goes after byte pos.
    int Insert(int pos, char ch);
    int Insert(int pos, const char* s);
    using CString::Replace;
    // Bytes first..last (inclusive) become ch / are replaced by s.
    void Replace(int first, int last, char ch);
    void Replace(int first, int last, const char* s);
    // Every occurrence replaced; the search resumes behind the inserted
    // text. Return the number of replacements (0 for an empty search text).
    int FindReplace(const char* from, const char* to);
    int FindReplace(char from, const char* to);
    int FindReplace(char from, char to);
    // Replaces each span from `begin` to the end of the next `end` by `to`.
    int FindReplaceExt(const char* begin, const char* end, const char* to);
    // Removes every byte that is a member.
    void Exclude(char ch);
    void Exclude(const char* s);
    void Exclude(const KvCharSet& set);
    KvString GetExclude(char ch) const;
    KvString GetExclude(const char* s) const;
    KvString GetExclude(const KvCharSet& set) const;
    // Every "|" becomes a zero byte; the length is kept.
    void BarToNull();

    // --- Trimming and case ------------------------------------------------------
    void LTrim() { TrimLeft(); }
    void RTrim() { TrimRight(); }
    void Trim() { CString::Trim(); }
    // Every run of white space becomes one space; the ends stay.
    void XTrim();
    KvString GetUpperCase() const;
    KvString GetLowerCase() const;
    KvString GetProperCase() const;
    // Upper-cases the first letter of each word (after start, space, comma,
    // full stop, semicolon) and lower-cases every other letter.
    void MakeProperCase();
    bool IsLowerCase() const;
    bool IsUpperCase() const;

    // --- Numbers ------------------------------------------------------------------
    // "." is a thousands separator and "," the decimal comma: "1.234,5".
    int GetInt() const;
    long GetNumber() const;
    double GetFloat() const;
    // Every byte in CSNumbers (true for the empty string).
    bool IsNumber() const;
    // A float in the user's notation (decimal separator from the regional
    // settings), with optional sign, exponent and surrounding white space.
    bool IsFloat() const;

    // --- Formatting -------------------------------------------------------------------
    // Formats and assigns (any length); returns the new length.
    int sprintf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // prefix + 8 random hex digits + "." + ext, assigned and returned.
    const KvString& RandomFileName(const char* prefix, const char* ext);

    // --- Tokens -------------------------------------------------------------------------
    // The token at pos up to the next delimiter (leading white space
    // skipped, trailing kept); pos moves behind the delimiter. A delimiter
    // of 0 / null means the last one used on this thread.
    KvString GetToken(int& pos, char delimiter = '\0') const;
    KvString GetToken(int& pos, const char* delimiters) const;
    KvString GetToken(int& pos, const KvCharSet& delimiters) const;
    int GetTokenCount(char delimiter) const;
    // The n-th token (1-based) from the start; empty for n <= 0.
    KvString GetList(int n, char delimiter) const;
    KvString GetList(int n, const char* delimiters) const;

    // --- Patterns -----------------------------------------------------------------------
    // Whole-string wildcard match: * ? \x [abc] [a-z] [!a-z] (or [^a-z]).
    bool IsMatch(const char* pattern) const;
    // Same phonetic code (both non-empty).
    bool IsLike(const char* s) const;
    KvString GetSoundexCode() const;

    // --- Resources, files, user interface ------------------------------------------------
    bool LoadStringA(UINT id);
    // Whole file into the string; false when it cannot be read or is empty.
    bool LoadFile(const char* path);
    // Replaces the file atomically; an empty string leaves it untouched.
    bool SaveFile(const char* path) const;
    bool GetWindowTextA(HWND wnd);
    bool SetWindowTextA(HWND wnd) const;
    int MsgBox(UINT type = 0, UINT help = 0) const;
    int MsgYesNo() const;
    int MsgYesNoCancel() const;
    int MsgInfo() const;
    int MsgOkCancel() const;
    int MsgAbort() const;
    int MsgFatal() const;
};
