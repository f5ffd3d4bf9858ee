// The content type of a file extension, as KvUrl classifies its targets:
// the shared MIME table's type, or an empty text when it has none.
#pragma once

#include "base/platform/CString.h"

CString KvUrlContentType(const CString& extension);
