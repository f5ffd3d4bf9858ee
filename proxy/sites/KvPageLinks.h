// The links of an HTML page: each "<a href=...>text</a>" as the address,
// resolved against the page's own address (or its <base href>), and the
// link's text reduced to plain text. Scripts, styles and comments are
// skipped. Only http and https addresses are kept; the text is not
// escaped here (the page that shows it escapes it).
#pragma once

#include <utility>
#include <vector>

#include "base/platform/CString.h"

struct KvPageLink {
    CString url;
    CString text;
};

// At most `limit` links, in page order.
std::vector<KvPageLink> KvExtractPageLinks(const char* html, const char* pageUrl, size_t limit = 2000);
