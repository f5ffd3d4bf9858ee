// KvWebLink: a link directory: a tree of folders holding ranked links,
// kept in its site database (KvRepoLink), browsed, searched and edited in
// the browser.
//
// Requests:
//   /dir/ and /dir/index.html  the folder page with its links
//   /phpmod/folder.php         folder forms and changes ("op")
//   /phpmod/link.php           link forms, changes and bulk import ("op")
//   /phpmod/jump.php           counts a visit and sends the browser on
//   /phpmod/search.php         search over keywords, titles, descriptions
//   /phpmod/item_list.php      the clipboard: copy, cut, paste, delete, clear
//   /phpmod/item_pop.php       copy or cut of one link (a pop-up window)
//   /phpmod/sfeed.php          an outside search's RSS answer into a sub-folder
//   /phpmod/grabmeta.php       a link from a page saved in Temp (a plain name)
//   /phpmod/bookmarks.php      bookmark files of browsers: import, export
//   /phpmod/<other>            the site engine's modules
//
// Who may do what: visitors see the folders their level reaches (see
// KvFolderSite) and may copy links into their clipboard; every change
// (folders, links, cut, paste, delete) needs an administrator or a member
// at the folder's write level, the bulk link import a developer; all of
// them the session's form token (forms by POST, management links carrying
// "&rnd=") and a request from this site's own pages.
//
// Folder content and sidebars are the administrator's HTML; everything a
// link brings (title, description, note, URL) is escaped, and only http
// and https addresses are ever linked or jumped to.
//
// Searches are remembered per query text in "<base>/Temp/<site>.srt"; the
// store is emptied whenever a folder or link changes.
#pragma once

#include "proxy/repo/KvRepoLink.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvSearchLink.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvWebObjectEx.h"

// The content of a new link folder.
inline constexpr char KV_LINK_FOLDER_CONTENT[] = "<h1>{page_title}</h1>\n{search_form2}\n{subfolder_list3}\n{link_list}";

class KvWebLink : public KvWebObjectEx, private KvFileExchangeSite {
    DECLARE_DYNCREATE(KvWebLink)
public:
    KvWebLink();
    ~KvWebLink() override;

    int Initiate() override;
    int DoGetResponse() override;
    int ResponsePhpModule() override;
    int WebPageShow(const char* file, KvParseImp* imp) override;
    int DoParseString(const CString& key, const CString& arg, CString& value) override;
    CString RenderSearchForm(const char* arg) override;
    CString RenderSearchForm2(const char* arg) override;
    CString RenderSearchForm3(const char* arg) override;
    CString RenderManagementMenu() override;
    CString RenderSitemap(const char* arg) override;
    bool HasLinkModule() const override { return true; }

    // "/" for folder 0, else "/name1/name2/"; "/" when the folder is gone.
    CString FindPathFromFolderId(int id);
    KvRepoLink& GetRepo() { return m_repo; }

protected:
    // The folder page.
    int ResponseLinks(const CString& path);
    CString RenderLinkList();
    CString RenderAddForm(const char* module, const char* field, const char* heading, const char* hint);

    // The folder module.
    int ResponseFolderModule();
    int FolderFormShow(const KvWebFolder& folder, bool isNew, const char* message);
    int FolderMoveFormShow(const KvWebFolder& folder, const char* message);
    int ResponseFolderDoAdd();
    int ResponseFolderDoEdit();
    int ResponseFolderAddSome();
    int ResponseFolderDelete();
    int ResponseFolderDoMove();

    // The link module and the jump page.
    int ResponseLinkModule();
    int LinkFormShow(const KvLinkItem& link, bool isNew, const char* message);
    bool ReadLinkForm(KvLinkItem& link, CString& message);
    int ResponseLinkSave(bool isNew);
    int ResponseLinkDelete();
    int ResponseLinkOwner();
    int ResponseLinkAddSome();
    int ResponseJump();

    // The search feed and page meta data.
    int ResponseSearchFeed();
    int ResponseGrabMeta();

    // Bookmark files.
    int ResponseBookmarksModule();
    // Reads the bookmark file the form sent into the current folder (or a
    // new sub-folder of it).
    int ResponseImport(const KvCGIFile& upload) override;
    // The folder's tree as a bookmark file.
    int ResponseExport() override;
    int ShowImportForm(const char* message) override { return BookmarksFormShow(message); }
    // The import form with `message`; `done` the path of the folder just
    // filled, when there is one.
    int BookmarksFormShow(const char* message, const CString& done = CString());

    // Search and the clipboard.
    int ResponseSearchModule();
    // The clipboard operation on the links `ids` of folder `cat`; false
    // when the answer (refusal or error) has been given.
    bool DoClipboard(const CString& op, int cat, const std::vector<int>& ids, KvVia via);
    CString LinkFilter() const;

    // Loads folder `id` into m_folder and checks that the member may
    // change it; false when the answer (error or refusal) has been given.
    bool LoadWritableFolder(int id) override;
    // A folder or link changed: remembered searches are stale.
    void ContentChanged();

    KvRepoLink m_repo;
    KvSearchLink m_search;
    KvFolderSite m_folders;
    KvWebFolder m_folder;
    CString m_strFolderPath;  // the current folder's path
    CString m_strPagerBase;
    CString m_strAdvSnippet;
};
