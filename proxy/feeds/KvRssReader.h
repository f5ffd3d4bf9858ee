// Feeds and XML search answers read into link records (KvLinkItem, owned
// by the array, which every reader empties first).
//
// A record from a feed item has the item's link, title and description
// (the description ends with a full stop and names the author and the
// date as written: "Hello. Author:Ann. Pubdate:Sun, 06 Nov 1994 ...."),
// the caller's keywords, and the item's date as its upload time (local
// time, as every upload time; the current time for an item without one).
#pragma once

#include "base/platform/CString.h"

class KvObjectArray;

// Downloads the feed (through this system's own proxy for plain http) and
// reads it. False when the download fails or answers with a status other
// than 2xx (the message says which), or when the feed cannot be read.
bool DownloadRssRdfToLinks(const char* url, KvObjectArray* links, const char* keywords, CString& title,
                           CString& description, CString& copyright, CString& message);
// Reads a feed document (RSS 0.9x/1.0/2.0, Atom 0.3/1.0, see
// KvFeedParse.h). The channel's title, description and copyright are
// stored when present. False with a message for a document that is no
// well-formed XML or no feed; on success message says how many items
// were found.
bool ConvertRssRdfStringToLinks(const CString& text, KvObjectArray* links, const char* keywords, CString& title,
                                CString& description, CString& copyright, CString& message);
// The same with the feed's own address, against which relative links
// are resolved.
bool KvConvertFeedToLinks(const CString& text, const char* feedUrl, KvObjectArray* links, const char* keywords,
                          CString& title, CString& description, CString& copyright, CString& message);

// The configured web search's XML answer for the query (URL-encoded into
// the address): one record per result with an address. False without a
// configured service, on a failed download or an answer without its
// "response" element.
bool SearchGigablastToLinks(const char* query, KvObjectArray* links, const char* keywords);
// The configured book service's answer for the query: one record per book,
// linking to the bookseller's product page. False without a configured
// service or when a level of the answer is missing.
bool SearchAmazonToLinks(const char* query, KvObjectArray* links, const char* keywords);
// The two readers' parsing steps, for answers already at hand.
bool KvReadWebSearchAnswer(const CString& text, KvObjectArray* links, const char* keywords);
bool KvReadBookAnswer(const CString& text, KvObjectArray* links, const char* keywords);
