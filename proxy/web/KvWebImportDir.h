// The import folder: the only place on disk from which a site's directory
// upload ("upload.php", op "dir") may read ([General] ImportDir).
#pragma once

#include "base/platform/CString.h"

// The configured folder: an absolute path, or one taken from the base
// directory; empty goes back to the default. Start-up (and tests) only:
// request threads read the value unlocked.
void KvSetImportDir(const char* dir);
// The import folder of a site whose base directory is `basePath`: the
// configured one, else "<basePath>/Import".
CString KvGetImportDir(const char* basePath);
