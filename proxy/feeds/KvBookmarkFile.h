// The bookmark file that browsers and bookmark managers read and write: an
// HTML document opening with <!DOCTYPE NETSCAPE-Bookmark-file-1> whose
// nested definition lists are the folders:
//
//     <DL><p>
//       <DT><H3 ADD_DATE="...">folder</H3>
//       <DD>folder description
//       <DL><p>
//         <DT><A HREF="..." ADD_DATE="..." TAGS="a,b">title</A>
//         <DD>link description
//       </DL><p>
//     </DL><p>
//
// Real files are not well-formed: <DT> and <p> are never closed, tags come
// in either case, attributes may be unquoted. The reader is a tolerant
// scanner of its own: it looks only at H3, A, DD and the opening and
// closing DL, and skips everything else. Texts come back with tags removed
// and character references decoded; nothing is checked here (the caller
// decides which addresses to keep).
//
// Bounds: folders deeper than `maxDepth` and entries beyond `maxEntries`
// are skipped and counted, so a hostile file costs at most its own size
// plus the entries kept.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/platform/CString.h"

struct KvBookmark {
    bool folder = false;
    CString title;
    CString url;   // links only
    CString desc;
    CString tags;  // as the file gives them: "a,b"
    long long addDate = 0;  // seconds since 1970; 0 when not given
    std::vector<std::unique_ptr<KvBookmark>> children;  // folders only, in file order
};

struct KvBookmarkFile {
    KvBookmark root;   // a folder holding the top level
    int entries = 0;   // folders and links kept
    int skipped = 0;   // folders and links beyond the bounds
};

// False, with `error` set, when the text is not a bookmark file.
bool KvReadBookmarkFile(const char* text, size_t length, int maxDepth, int maxEntries, KvBookmarkFile& out,
                        CString& error);

// Character references decoded: the named ones of markup (amp, lt, gt,
// quot, apos, nbsp) and numeric ones as UTF-8; anything else stays.
CString KvDecodeCharRefs(const char* text, size_t length);

// Writes a bookmark file, folder by folder, in the shape browsers import.
// Every text and address is escaped; line breaks in texts become blanks.
class KvBookmarkWriter {
public:
    explicit KvBookmarkWriter(const char* title);
    void OpenFolder(const char* title, long long addDate, const char* desc);
    void CloseFolder();
    // `tags` comma-separated (blanks after commas are dropped).
    void AddLink(const char* url, const char* title, long long addDate, const char* tags, const char* desc);
    // Closes what is still open; the whole file.
    const CString& Finish();

private:
    CString Indent() const;
    CString m_out;
    int m_depth = 1;
};
