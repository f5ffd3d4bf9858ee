// KvFolderSite: the folder pages every folder site shares (local web
// sites, link directories, feed readers): who may see and change a folder,
// sub-folder lists and menus, the site map, the folder form and its
// reading, several folders from a text list, folder moves, paging and the
// search condition of one field.
//
// Search results and lists whose entries can be selected sit in one form
// posting to "/phpmod/item_list.php"; the button pressed names the
// operation, and "Copy" puts the selected entries into the client's link
// clipboard (KvLinkCard), which every site of the process shares.
//
// It works on the site (the signed-in member, CGI, escaping) and on the
// repository's folder operations (KvRepoTree), both borrowed from the site
// that owns it; it keeps no state of its own between requests.
//
// Visibility: a visitor reaches a folder when its read level is at most
// the visitor's level, for every folder on the way from the root (a hidden
// folder hides its whole subtree); for visitors who are not administrators
// the folders on the way must also be active. Lists, menus, the site map
// and searches show only folders that are shown too (a folder that is not
// shown is reached by its address alone). Lists, menus and the site map
// descend only into visible folders, so their filter on the children is
// enough; pages reached directly ask MayRead, searches HiddenFolderIds.
//
// Escaping: labels, titles and descriptions are escaped; link targets are
// escaped paths.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "base/platform/CString.h"

class KvCGIFile;
class KvFileExchangeSite;
class KvObjectArray;
class KvParseImp;
class KvRepoTree;
class KvWebFolder;
class KvWebObjectEx;
enum class KvVia;

// Bounds of a folder site's pages.
inline constexpr int KV_SITEMAP_MAX_DEPTH = 16;

class KvFolderSite {
public:
    KvFolderSite(KvWebObjectEx& site, KvRepoTree& repo) : m_site(site), m_repo(repo) {}

    // --- who may see and change what ---
    // The condition on the children a visitor may see.
    CString ChildFilter() const;
    // The folder and every folder above it are visible to the visitor.
    bool MayRead(int folder);
    // Administrators, and members at or above the folder's write level.
    bool MayWrite(const KvWebFolder& folder) const;
    // Folders the visitor may not see (their subtrees included), for a
    // "not in(...)" condition; empty when there are none.
    std::vector<int> HiddenFolderIds();
    // Whether the link lies in a folder the visitor may see (`hidden` as
    // HiddenFolderIds gave it).
    bool MayReadLink(int id, const std::vector<int>& hidden);

    // --- lists ---
    // The visible children of `parent` whose path is `parentPath` ("/a/")
    // as a definition list in 1, 2 or 3 columns.
    CString RenderList(int parent, const CString& parentPath, int columns);
    // The children as a menu box titled with `label`.
    CString RenderMenu(int parent, const CString& parentPath, const CString& label);
    // "{sitemap:N[:details]}": the visible tree to depth N (1..16).
    CString RenderSitemap(const char* arg);

    // --- the folder form ---
    // Reads the form into `folder` (id and parent kept); false with the
    // message of the first fault.
    bool ReadFolderForm(KvWebFolder& folder, const char* defaultContent, CString& message) const;
    // The form's variables for `folder`.
    void AddFolderFormVars(KvParseImp& imp, const KvWebFolder& folder, const CString& path) const;
    // One folder per line "name | title | description" of `text`; lines
    // without a name are skipped. The number of folders made.
    int ParseFolderLines(const char* text, const char* defaultContent, KvObjectArray& out) const;

    // --- placeholders, boxes and the folder form page ---
    // The folder placeholders of a page showing `folder` (its path and
    // label given): mainfolder_menu, subfolder_menu, subfolder_list,
    // subfolder_list2, subfolder_list3 and folder_id; false for any other key.
    bool ParseFolderPlaceholder(const CString& key, int folder, const CString& path, const CString& label,
                                CString& value);
    // The path of folder `id` ("/a/b/"); "/" for the root and for a folder
    // that is gone.
    CString FolderPath(int id);
    // A search box asking for "q" within folder "cat" (from page 1 when
    // `firstPage`).
    static CString SearchFormHtml(const char* cls, const CString& query, int folder, int size, bool firstPage);
    // A management link carrying the session's `token`; `confirm` asks
    // before it is followed.
    static CString MenuLink(const CString& href, const CString& token, const char* text, bool confirm = false);
    // The folder part of the management menu of folder `cat`.
    static CString FolderMenu(int cat, const CString& token);
    // Answers with the folder form page: `imp` holds the folder's variables
    // (AddFolderFormVars and the site's own), `folder` is the current one.
    int ShowFolderForm(KvParseImp& imp, bool isNew, int folder, const CString& folderPath, const char* message);

    // --- folder changes ---
    // Loads folder `id` into `folder` (its path into `path`) when the member
    // may change it; false when the answer (error or refusal) has been
    // given, `folder` then having the id -1 if it was not found.
    bool LoadWritableFolder(int id, KvWebFolder& folder, CString& path);
    // Each works on a folder already loaded (`folder` at `path`) for a
    // member who may change it; `changed` runs once the repository holds the
    // change. Each answers the request.
    // The form that moves `folder`, with `message`.
    int ShowFolderMoveForm(const KvWebFolder& folder, const CString& path, const char* message);
    // The folders of the lines of "fld_folders" below `folder`, each with
    // `content`; answers with the folder's page.
    int AddFolderLines(const KvWebFolder& folder, const CString& path, const char* content,
                       const std::function<void()>& changed);
    // Deletes `folder` and answers with its parent's page.
    int DeleteFolder(const KvWebFolder& folder, const CString& path, const std::function<void()>& changed);
    // Moves `folder` below the folder named by "fld_parent_path" and
    // answers with its new page, or with the move form and the fault.
    int MoveFolder(const KvWebFolder& folder, const CString& path, const std::function<void()>& changed);

    // --- moves ---
    // The folder of `path` ("/" is the root), when it may take the folder
    // `id` (-1 for a page: any folder will do); otherwise -1 and a message.
    int FindMoveTarget(int id, const char* path, CString& message);

    // --- selections and the clipboard ---
    // The check box of entry n (from 1) holding id.
    static CString SelectionBox(int n, int id);
    // The entries inside the selection form with its buttons (Cut, Paste and
    // Delete too when `manage`) and hidden fields; `token` is the session's.
    static CString RenderSelectionForm(const CString& entries, int count, int folder, const CString& token,
                                       bool manage);
    // The ids of "item_1".."item_<item_count>" (at most 1000), those of 0 or
    // less skipped.
    std::vector<int> ReadSelection() const;
    // The operation of the button pressed: "copy", "cut", "paste",
    // "delete", else "clear".
    CString SelectionOperation() const;
    // Appends copies of the links to the client's clipboard; the number
    // copied (a full clipboard takes no more).
    static int CopyToClipboard(const char* client, const KvObjectArray& links);
    static void ClearClipboard(const char* client);

    // --- the modules of the sites that keep links ---
    // The site's clipboard operation `op` on the entries `ids` of folder
    // `cat`; false when the answer (refusal or error) has been given.
    using ClipboardOperation = std::function<bool(const CString& op, int cat, const std::vector<int>& ids, KvVia via)>;
    // "item_list.php": the operation of the selection form's button on its
    // selection, then back to the page.
    int ResponseItemList(const ClipboardOperation& run);
    // "item_pop.php": "copy" or "cut" of entry "id", then the pop-up closes.
    int ResponseItemPop(const ClipboardOperation& run);

    // The module of a file exchanged with other programs ("bookmarks.php",
    // "opml.php"): "export" for anyone who may read the folder; "import"
    // shows the form to administrators who may change folder "cat",
    // "doimport" hands them the uploaded file when the form token is right.
    struct ExchangeFile {
        const char* defaultOp;  // "op" when the request names none
        const char* field;      // the upload's form field
        size_t maxBytes;        // the largest file read
        const char* missing;    // the form's message when no file came
        const char* tooLarge;   // and when it is larger than maxBytes
    };
    int ResponseFileExchange(const ExchangeFile& file, KvFileExchangeSite& site);
    // The levels of the folder `path` ("/" is 0, "/a/b/" is 2).
    static int PathDepth(const CString& path);

    // --- the settings editor under its old module names ---
    // "page_hits.php", "todo.php" and "file_mgmt.php" (any case).
    static bool IsSettingsAlias(const CString& file);
    // The settings editor for "op=sss"; any other "op" (default "edit") is
    // an unknown operation.
    int ResponseSettingsAlias();

    // --- paging and search ---
    // The page number within 1..last (last at least 1).
    static int ClampPage(int page, int total, int perPage);
    // The condition of a search over the three columns (keywords, title,
    // description): "k:", "t:", "d:" or "n:" search one of them with the
    // rest of the text, quoted; any other letter before ":" matches
    // nothing. Empty when the query holds no term.
    static CString SearchCondition(const char* query, const char* keywordsCol, const char* titleCol,
                                   const char* descCol, const char* idCol);

private:
    CString RenderListItem(const KvWebFolder& folder, const CString& parentPath) const;
    void RenderSitemapLevel(int parent, const CString& base, int depth, int indent, bool details, CString& out);
    int Level() const;
    bool IsAdmin() const;

    KvWebObjectEx& m_site;
    KvRepoTree& m_repo;
};

// What a site with a file exchange does itself.
class KvFileExchangeSite {
public:
    virtual ~KvFileExchangeSite() = default;
    // Answers "export" (the site checks who may read what).
    virtual int ResponseExport() = 0;
    // Loads folder `id` for a change; false when the answer (error or
    // refusal) has been given.
    virtual bool LoadWritableFolder(int id) = 0;
    // The import form with `message`.
    virtual int ShowImportForm(const char* message) = 0;
    // Reads the uploaded file into the loaded folder and answers.
    virtual int ResponseImport(const KvCGIFile& upload) = 0;
};

// The text with a final full stop (none added to empty text or one that
// ends with ".", "!" or "?").
CString EnsureEndPoint(const char* text);
