// The outside services and texts the feed functions use, from the
// configuration's [Services] section and [General] FeedCopyright. None is
// shipped: a reader without its service fails cleanly, the feed badge
// leaves out the reader's cell.
//
// Set at start-up; readers take a copy.
#pragma once

#include "base/platform/CString.h"

class KvIniFile;

struct KvFeedSettings {
    CString webSearch;       // base address of the web search's XML interface
    CString bookService;     // base address of the book web service
    CString subscriptionId;  // the book service's subscription id
    CString associateTag;    // the associate tag appended to product pages
    CString bookShop;        // base address of the bookseller's product pages
    CString feedReader;      // base address of an outside feed reader's subscription page
    CString copyright;       // the copyright notice of generated feeds
};

KvFeedSettings KvGetFeedSettings();
void KvSetFeedSettings(const KvFeedSettings& settings);
// From the file's values (defaults for what it leaves out).
void KvApplyFeedSettings(const KvIniFile& ini);
