// Copying a folder tree into another without touching what is there.
#pragma once

#include <functional>
#include <string>

#include "base/platform/CString.h"

// Copies every regular file below `from` that `to` lacks at the same
// relative path, making folders as needed (`to` and its missing parents
// private to the owner, 0755 below). A file already present in `to` is
// never replaced, and a file appears there whole or not at all. `skip` is
// asked with each entry's relative path ("Template/x.htm"); true leaves it
// out, a folder with everything below it. Links and special files are left out.
//
// Returns the number of files copied, or -1 when `from` cannot be read or
// something cannot be made in `to` (`failed` then names it); the copies
// made before the failure stay.
int KvCopyMissingFiles(const char* from, const char* to, const std::function<bool(const std::string&)>& skip,
                       CString* failed = nullptr);
