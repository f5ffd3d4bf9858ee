// RSS 2.0 documents from link records, and the feed badge of a page.
//
// The document is UTF-8 and well-formed XML for any input: every text and
// address is escaped, bytes that are no UTF-8 become U+FFFD and control
// characters are dropped. Titles and descriptions are taken as text that
// may already hold "&amp;" (made "&" first, so it is not doubled) and
// "&middot;" (made "."); any other reference stays visible as written
// ("A &amp; B &lt;" is written "A &amp; B &amp;lt;"). Each item carries
// its own date when it has one, else the build date.
#pragma once

#include "base/platform/CString.h"

class KvObjectArray;

// From KvLinkItem records.
CString RssGenerateFromLinks(const char* title, const char* link, const char* description, KvObjectArray* links);
// From KvSimpleLinkItem records.
CString RssGenerateFromSimpleLinks(const char* title, const char* link, const char* description,
                                   KvObjectArray* links);
// A small table linking to the feed (the XML badge) and, when an outside
// feed reader is configured, to its subscription page for the feed.
CString RenderRssVersion(const char* rssUrl);
