// OPML outlines into a feed reader's folder tree: outlines with a feed
// address become feed folders (title, feed address, description or the
// feed's site as description), outlines holding outlines become folders
// (a folder of the same name is filled, not doubled). Only http and https
// feed addresses are kept, and a feed the reader already has (by address,
// anywhere in the tree) is skipped.
#pragma once

struct KvOpmlFile;
class KvRepoRSS;

struct KvOpmlCount {
    int folders = 0;     // folders made
    int feeds = 0;       // feed folders made
    int duplicates = 0;  // feeds the reader had
    int skipped = 0;     // feeds that are not web addresses, outlines beyond the bounds
};

// Below folder `parent`, in one transaction: all of it or nothing. False
// when the repository refused a write.
bool KvImportOpml(KvRepoRSS& repo, int parent, const KvOpmlFile& file, const char* uploadBy, KvOpmlCount& count);
