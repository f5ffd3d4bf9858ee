// Escaping for everything a page shows that its site's administrator did
// not write: request paths, queries, member names, feed titles, stored
// link texts.
//
// Pick the helper by where the text lands:
//   HtmlEscape        element text and double- or single-quoted attribute
//                     values ("&", "<", ">", '"', "'", and the template
//                     braces "{" "}", so inserted text is never expanded
//                     as a placeholder)
//   HtmlEscapeAttr    the same, and CR, LF and TAB as character references
//                     (a value that must keep its line breaks in a hidden
//                     field)
//   UrlEscapeComponent one query value or path segment: every byte but
//                     letters, digits, "-", ".", "_", "~" as "%XX"
//   UrlEscapePath     a whole path: as above, "/" kept
//   JsEscape          text inside a '...' or "..." script string, also
//                     inside an event handler or a "javascript:" link:
//                     every byte but letters, digits, blank, ",", ".",
//                     "_", "-", ":", "/" and "?" becomes "\xHH", so neither
//                     entity decoding nor percent decoding can end the
//                     string early
//   HtmlSafeHref      a URL from outside for an href: kept (attribute-
//                     escaped) when it is relative or uses http, https or
//                     ftp; "#" otherwise ("javascript:", "data:", ...)
//   KvIsWebAddress    whether a URL from outside may become a link or a
//                     redirect: an absolute http or https address with a
//                     host and no blank, control byte, quote, "<", ">",
//                     "\" or "`"
//
// The escapers take null as empty text and return a new string; none keeps
// state.
#pragma once

#include "base/platform/CString.h"

CString HtmlEscape(const char* text);
CString HtmlEscapeAttr(const char* text);
CString UrlEscapeComponent(const char* text);
CString UrlEscapePath(const char* path);
CString JsEscape(const char* text);
CString HtmlSafeHref(const char* url);
bool KvIsWebAddress(const CString& url);
