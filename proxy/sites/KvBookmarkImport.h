// Bookmark files into and out of a link directory's folder tree: the
// folders of the file become folders (names made from their titles; a
// folder of the same name is filled, not doubled), its links keep title,
// address, add date, description and tags (as keywords). Only http and
// https links are stored; the others are counted as skipped.
#pragma once

#include "base/platform/CString.h"

struct KvBookmark;
struct KvBookmarkFile;
class KvBookmarkWriter;
class KvRepoLink;

struct KvBookmarkCount {
    int folders = 0;  // folders made
    int links = 0;    // links put into folders
    int skipped = 0;  // links that are not web addresses, entries beyond the bounds
};

// A folder name for a title: letters, digits, "-", "_", "." and bytes
// beyond ASCII kept, every other run of bytes one "-", at most 60 bytes;
// "folder" when nothing is left.
CString KvBookmarkFolderName(const char* title);

// The file's folders and links below folder `parent`, in one transaction:
// all of it or nothing. `uploadBy` is recorded on every new folder and
// link. False when the repository refused a write.
bool KvImportBookmarks(KvRepoLink& repo, int parent, const KvBookmarkFile& file, const char* uploadBy,
                       KvBookmarkCount& count);

// Folder `folder`'s links and sub-folders (those `childFilter` admits, to
// `maxDepth` levels) through the writer; links as `linkFilter` admits
// them. The folder itself is not opened: its content is the writer's
// current level.
void KvExportBookmarks(KvRepoLink& repo, int folder, const char* childFilter, const char* linkFilter, int maxDepth,
                       KvBookmarkWriter& writer);
