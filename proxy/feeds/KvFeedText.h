// Text helpers of the feed reader and writer.
//
// Feed text reaches the reader as UTF-8 (KvFeedEncoding.h converts
// everything else first); these helpers keep it UTF-8.
#pragma once

#include "base/platform/CString.h"

namespace tinyxml2 {
class XMLNode;
}

// When s begins with "<![CDATA[" and ends with "]]>", s becomes the text
// between them; anything else is left as it is.
void CleanCData(CString& s);
// Turns the XML character references "&apos;", "&quot;", "&amp;", "&lt;",
// "&gt;" and numeric ones ("&#38;", "&#x26;") into text, each once.
void CleanRssString(CString& s);
// The children of an element printed as XML and concatenated, then
// CleanCData and CleanRssString; empty for a null node.
CString XmlNode2String(const tinyxml2::XMLNode* node);
// pattern with every "{q}" replaced by query as it is.
CString StrQueryFormat(const char* pattern, const char* query);

// Decodes HTML character references once: numeric ones and the named
// ones of HTML (Latin-1 names, typographic marks); unknown names stay.
CString KvDecodeHtmlEntities(const char* text);
// HTML reduced to its text: tags, comments, scripts and styles removed,
// block ends made blanks, references decoded once, white space collapsed.
CString KvHtmlToText(const char* html);
// Runs of white space made one blank, the ends trimmed.
CString KvCollapseSpace(const char* text);
// The UTF-8 bytes of a code point (nothing for an invalid one).
void KvAppendUtf8(CString& out, unsigned long codePoint);
// Escapes "&", "<", ">", '"' and "'" for XML text and attributes; bytes
// that are no UTF-8 become U+FFFD and control characters are dropped, so
// the result is always XML text.
CString KvXmlEscape(const char* text);
