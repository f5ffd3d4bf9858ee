// A feed's bytes made into well-formed UTF-8 XML text for the parser.
//
// - A UTF-8 byte-order mark is skipped; UTF-16 (told by its mark) and any
//   encoding the XML declaration names that glibc's iconv knows
//   (ISO-8859-1, Windows-1252, ...) are converted to UTF-8, and the
//   declaration then names UTF-8.
// - White space before the XML declaration is dropped.
// - What the parser lets through but XML forbids is refused here: bytes
//   that are not UTF-8, control characters, "&" that starts no reference,
//   and entity names no DOCTYPE declares.
#pragma once

#include <cstddef>
#include <string>

#include "base/platform/CString.h"

// True with the text in `out`; false with the reason and its line and
// column (from 1) in `error` when the bytes cannot be made into XML text.
struct KvFeedTextError {
    CString message;
    int line = 0;
    int column = 0;
};
bool KvFeedToUtf8(const char* bytes, size_t length, std::string& out, KvFeedTextError& error);
