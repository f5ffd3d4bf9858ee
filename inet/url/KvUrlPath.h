// Path helpers behind KvUrl's local-file forms.
#pragma once

#include "base/platform/CString.h"

// A local file path split the way a file URL holds it.
struct KvLocalPath {
    CString drive;      // "C" or empty (POSIX path)
    CString directory;  // "/dir/", forward slashes
    CString baseName;   // file name before its last "."
    CString extension;  // after the last "."
};

// Splits "C:\dir\name.ext", "C:/dir/name.ext" or "/dir/name.ext". False for
// an empty or relative path, or one with characters no file name may hold
// (control bytes, < > " | and, in the directory, : ? *; in the name, : / \).
bool KvSplitLocalPath(const char* path, KvLocalPath& out);

// Joins `relative` below `root` with every "." and ".." segment resolved
// and "\" taken as a separator, so the result never leaves root. Segments
// are joined with "/"; the result starts with root followed by "/".
CString KvConfinePath(const char* root, const CString& relative);
