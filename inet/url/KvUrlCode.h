// URL encoders and decoders, and small validators and clean-ups of
// URL-like input (host and port, domain, password, CGI parameters, paths).
//
// All work on bytes, accept any input (null counts as empty) and are
// reentrant. The encoders grow the text at most threefold.
#pragma once

#include "base/platform/CString.h"
#include "base/str/CsString.h"

class KvString;

// In place. FALSE for a null or empty text, else TRUE.
// UrlEncode: letters, digits, "-", ",", "." and "_" stay; every other byte,
// the blank and "+" included, becomes "%XX" (upper-case hex).
int UrlEncode(CString* text);
// As UrlEncode, except that a blank becomes "+".
int RawUrlEncode(CString* text);
// "%" followed by two more bytes becomes the byte they give; a "%" among the
// last two bytes and every other byte ("+" included) stay.
int UrlDecode(CString* text);
// As UrlDecode, and "+" becomes a blank.
int RawUrlDecode(CString* text);

// "host:port" (or "[v6 address]:port") into its parts; port 0 when there is none (or it is not a
// number that fits); an empty text gives "127.0.0.1". Always TRUE.
int BreakHostPort(const char* text, CsString& host, int& port);

// Begins with "/", "http:", "https:", "ftp:" or "news:".
int IsUrlValid(const KvString& url);
int IsUrlValid(const char* url);
// Not empty and contains a dot.
int IsDomainValid(const char* text);
// Accepted as given: addresses are not checked.
int IsEmailValid(const char* text);
// Not empty and holds at least four consecutive letters, digits, "_" or "|".
int IsPasswordValid(const char* text);

CString CleanupCgiParam(const char* text);       // unchanged
CString CleanupCgiParamEmail(const char* text);  // unchanged
CString CleanupCgiParamName(const char* text);   // every "/" becomes "_"
CString CleanupCgiParamUrl(const char* text);    // white space trimmed at both ends

// The text up to and including its last "/"; empty when it has none.
CString GetUrlPathOnly(const char* url);

// Trims both ends and ends a non-empty text with a full stop.
void EnsureEndPoint(CString& name);
// Leaves the text as it is.
void CleanupEndPoint(CString& name);
