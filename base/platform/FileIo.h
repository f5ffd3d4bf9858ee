// Whole-file helpers at the file-system boundary.
//
// Paths may use "\" or "/" as separators; KvNativePath maps them to "/".
// Writers go through a temporary file in the same directory and a rename,
// so a crash never leaves a half-written file behind: readers see either
// the old content or the new one.
#pragma once

#include <string>

#include "base/platform/WinTypes.h"

// The path with every backslash turned into "/".
std::string KvNativePath(const char* path);

// Reads the whole file; false when it cannot be opened or read.
bool KvReadWholeFile(const char* path, std::string& out);

// Replaces the file's content atomically (temporary file, fsync, rename).
bool KvWriteFileAtomic(const char* path, const void* data, size_t size);

// Appends to the file, creating it when missing (one write call).
bool KvAppendToFile(const char* path, const void* data, size_t size);

// Writes all n bytes to the descriptor, retrying after signals.
bool KvWriteAll(int fd, const void* data, size_t n);

// Size of a regular file, or -1.
long long KvFileSize(const char* path);
