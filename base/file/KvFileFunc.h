// Path and file helpers.
//
// Paths may use "/" or "\" as separators; every function accepts both and
// maps "\" to "/" only where it reaches the file system. A drive ("C:") is
// recognised by the path splitter so that such texts split as expected,
// but it means nothing to the file system here. Failures are returned as
// false or an empty result; nothing is reported.
#pragma once

#include <string>
#include <vector>

#include "base/platform/Collections.h"
#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"
#include "base/time/KvTime.h"

class CsStrList;

constexpr int KV_MAX_PATH = 4096;
constexpr int KV_MAX_DRIVE = 3;
constexpr int KV_MAX_DIR = 4096;
constexpr int KV_MAX_FNAME = 256;
constexpr int KV_MAX_EXT = 256;

// The parts of a path as FileSplit gives them (extension without the dot).
struct tagFilePath {
    char szDrive[KV_MAX_DRIVE];
    char szDir[KV_MAX_DIR];
    char szFileName[KV_MAX_FNAME];
    char szExt[KV_MAX_EXT];
};

// The same parts without size limits.
struct KvPathParts {
    std::string drive;  // "C:" or empty
    std::string dir;    // up to and including the last separator
    std::string name;   // base name
    std::string ext;    // after the last "." of the file name, without it
};

// Pure text splitting: a leading letter and ":" is the drive, the text up to
// the last "/" or "\" the directory, the rest is split at its last ".".
void KvSplitPath(const char* path, KvPathParts& parts);
// The same into fixed fields; false (and all fields empty) when a part does
// not fit its field.
bool FileSplit(const char* path, tagFilePath* parts);

// File attributes (the bits of the classic attribute byte).
enum KvFileAttribute : BYTE {
    KV_ATTR_NORMAL = 0x00,
    KV_ATTR_READONLY = 0x01,
    KV_ATTR_HIDDEN = 0x02,
    KV_ATTR_SYSTEM = 0x04,
    KV_ATTR_VOLUME = 0x08,
    KV_ATTR_DIRECTORY = 0x10,
    KV_ATTR_ARCHIVE = 0x20,
};

// Facts about one file; the times are local time.
struct KvFileStatus {
    KvTime m_ctime;  // creation (the write time when the system keeps none)
    KvTime m_mtime;  // last write
    KvTime m_atime;  // last access (the write time when unknown)
    long long m_size = 0;
    BYTE m_attribute = 0;
    CString m_szFullName;
};

// false for an empty path, else FileGetStatus succeeds.
bool IsFileExist(const char* path);
// true when the path names a directory (a final separator is ignored).
bool IsPathExist(const char* path);
bool FileGetStatus(const char* path, KvFileStatus& status);
// Absolute path with "\" mapped to "/" and "." and ".." resolved by text
// alone (links are not followed); empty for an empty path.
CString KvAbsolutePath(const char* path);
// The same; in addition a last component that exists
// only in another letter case takes the spelling on disk. On failure dst
// is the path itself and the result false.
bool FileGetFullPath(CString& dst, const char* path);
// The mount point holding the path, ending with "/".
bool FileGetRoot(const char* path, CString& root);
// Copies, replacing dst (written beside dst and renamed into place).
bool KvFileCopy(const char* src, const char* dst);
// Moves src to dst (rename, or copy then delete across file systems).
bool KvFileMove(const char* src, const char* dst);

// The name without the text from the last "." of its last component.
CString ExcludeFileExt(const char* name);
// The text after the last "." of the last component; empty without one.
CString GetFileExt(const char* name);
// The last component (base name and extension).
CString GetFileNameOnly(const char* path);

// Windows-style name pattern ("*", "?", "*.*" matches every name),
// compared without letter case.
bool KvMatchFilePattern(const char* pattern, const char* name);

// The names in dir (sorted without letter case) matching pattern, of
// directories or of other entries, leaving out names starting with ".".
// False when dir cannot be read or nothing matches the pattern at all
// (directories and "." names included).
bool KvListDirectory(const char* dir, const char* pattern, bool directories, std::vector<std::string>& names);

// Empties the list and adds the names of the files in dir matching
// pattern, skipping directories and names starting with "."; withExt =
// FALSE removes the extensions. False when nothing in dir matches the
// pattern at all (or dir cannot be read).
bool SearchFile(const char* dir, const char* pattern, CStringArray& list, BOOL withExt = TRUE);
bool SearchFile(const char* dir, const char* pattern, CsStrList& list, BOOL withExt = TRUE);
// The same for sub-directories.
bool SearchSubDir(const char* dir, const char* pattern, CStringArray& list);
bool SearchSubDir(const char* dir, const char* pattern, CsStrList& list);

// Appends every non-empty line of the file (clear empties the list first).
// False when the file cannot be read.
bool StrListLoad(CsStrList& list, const char* path, BOOL clear = TRUE);
// Writes every item that holds no "#" (and no line break) followed by
// CR LF. replace: the file is replaced as a whole (an empty list removes
// it); otherwise the items are appended. An empty list writes nothing.
bool StrListSave(CsStrList& list, const char* path, BOOL replace = TRUE);

// Starts "/bin/sh -c commandLine" without waiting for it; true when the
// process started. The child is reaped in the background.
bool RunApplication(const char* commandLine);
