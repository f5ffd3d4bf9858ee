// Reading the title, description and keywords of an HTML page.
//
// The scan looks at tags from the start of the page: the text after
// <title> up to the next "<" is the title; a <meta> tag whose name is
// "description" or "keywords" (any letter case, attributes in any order,
// quoted with " or ' or not at all) gives its content; <body> ends the
// scan, as does the end of the text. Comments are skipped whole. Every
// other tag is passed over.
//
// Only the first KV_PAGEMETA_MAX_SCAN bytes of a page are read, and never a
// byte past the length given (nor past a zero byte when no length is
// given). Each text found is trimmed of blanks and cut to
// KV_PAGEMETA_MAX_TEXT bytes. Entities are left as written.
#pragma once

#include <cstddef>

#include "base/platform/CString.h"

class KvLinkItem;

constexpr size_t KV_PAGEMETA_MAX_SCAN = 64 * 1024;
constexpr int KV_PAGEMETA_MAX_TEXT = 4096;

struct KvPageMeta {
    CString title;
    CString description;
    CString keywords;
    bool hasTitle = false;
    bool hasDescription = false;
    bool hasKeywords = false;
};

// Fills meta from text[0..length); a later tag of the same kind replaces
// an earlier one. Null text reads as empty.
void ScanPageMeta(const char* text, size_t length, KvPageMeta& meta);
// The same up to the first zero byte (at most KV_PAGEMETA_MAX_SCAN bytes).
void ScanPageMeta(const char* text, KvPageMeta& meta);

// The page's title, description and keywords into the link (a field the
// page does not give is left as it was). 0 for a null text or link.
int GrabMetaDataFromString(const char* html, KvLinkItem* item);
