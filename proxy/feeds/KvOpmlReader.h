// The outline list that feed readers exchange (OPML): an XML document
// <opml><head/><body><outline .../></body></opml> whose outlines are
// folders (outlines holding outlines) and feeds (outlines with an
// "xmlUrl"). Read with the XML parser; nothing is checked here beyond the
// shape (the caller decides which feed addresses to keep).
//
// Bounds: outlines deeper than `maxDepth` and beyond `maxEntries` are
// skipped and counted.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/platform/CString.h"

struct KvOpmlOutline {
    CString title;    // "title", else "text"
    CString xmlUrl;   // the feed's address: empty for a folder
    CString htmlUrl;  // the site of the feed
    CString desc;     // "description"
    std::vector<std::unique_ptr<KvOpmlOutline>> children;
};

struct KvOpmlFile {
    KvOpmlOutline root;  // holds the outlines of the body
    int entries = 0;
    int skipped = 0;
};

// False, with `error` set, when the text is not an OPML document.
bool KvReadOpml(const char* text, size_t length, int maxDepth, int maxEntries, KvOpmlFile& out, CString& error);
