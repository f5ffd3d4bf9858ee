// Confining request paths to the directories they may read.
//
// A path from a request (after un-escaping) is refused outright when it
// holds "..", a backslash or a zero byte; what passes is joined below a
// root and resolved (links included) and must still lie below that root.
#pragma once

#include "base/platform/CString.h"

// False for a path holding "..", "\" or a zero byte (the whole length of
// the string counts, not only the text up to its first zero).
bool KvIsSafeRequestPath(const CString& path);
// out := root + "/" + relative (leading "/" of relative dropped), when the
// relative path is safe and the result, resolved through the file system
// as far as it exists, stays below root. False otherwise.
bool KvResolveBelow(const char* root, const CString& relative, CString& out);
// The entry of `dir` whose name equals `name` without regard to case (the
// exact spelling preferred); false when there is none. Only plain names
// (no "/") are looked up.
bool KvFindNameNoCase(const char* dir, const char* name, bool directory, CString& realName);
