// KvParseFeed: RSS 0.9x, 1.0 (RDF), 2.0 and Atom 0.3 and 1.0 read into
// plain records.
//
// Elements are matched by namespace and local name, not by prefix, so a
// feed that prefixes its own elements ("a:feed") or uses a default
// namespace reads the same. Per item:
// - link: RSS "link" (else a permanent "guid", else an "atom:link"); Atom
//   the link with rel="alternate" (text/html first) or without rel;
//   resolved against xml:base in scope and the feed's own address;
// - title: text; Atom titles of type "html" (0.3: mode "escaped") are
//   reduced to their text;
// - description: RSS "description", else "content:encoded"; Atom
//   "summary", else "content"; HTML reduced to text;
// - author: RSS "author", else "dc:creator"; Atom "author/name";
// - date: RSS "pubDate", else "dc:date"; Atom 1.0 "published", else
//   "updated"; Atom 0.3 "issued", "modified", "created".
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "base/platform/CString.h"

struct KvFeedItem {
    CString link, title, description, author;
    CString dateText;  // as written
    bool hasDate = false;
    time_t date = 0;  // UTC, when hasDate
};

struct KvFeed {
    // "rss0.90", "rss0.91", "rss0.92", "rss1.0", "rss2.0", "rss" (no
    // version), "atom0.3", "atom1.0".
    CString kind;
    CString title, description, copyright, link;
    std::vector<KvFeedItem> items;
};

// Reads the feed in `bytes` (any encoding KvFeedEncoding.h takes);
// `feedUrl` resolves relative links (may be empty). False with a message
// for a document that is not well-formed XML ("Error in <docName>[line,
// column]: ...") or not a feed.
bool KvParseFeed(const char* bytes, size_t length, const char* feedUrl, const char* docName, KvFeed& feed,
                 CString& message);
