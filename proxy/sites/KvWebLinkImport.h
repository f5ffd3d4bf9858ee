// The bulk link import of link directories: pasted text in one of four
// formats turned into links.
//   "url"    one link a line: URL | title | description
//   "title"  one link a line: title | URL | description
//   "dmoz"   text copied from an open-directory listing (title, URL and
//            description of each entry on its own lines)
//   "ul"     an HTML list of links ("<li><a href="URL">title</a> text")
#pragma once

#include "base/platform/CString.h"

class KvObjectArray;

// The text as lines of three fields separated by "|"; false for an unknown
// format.
bool KvLinkImportLines(const char* format, const char* text, CString& lines);
// One KvSimpleLinkItem per line whose URL is an http or https address
// (others are skipped); an empty title becomes "@". `titleFirst` when the
// title is the first field. The number added.
int KvParseImportLines(const char* lines, bool titleFirst, KvObjectArray& out);
