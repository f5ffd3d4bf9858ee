// KvWebLocal: a local web site of folders and pages kept in its site
// database (KvRepoLocal), authored in the browser and rendered through the
// site's theme.
//
// Requests:
//   /dir/ and /dir/name.html   the page (index.html for a directory)
//   /phpmod/folder.php         folder forms and changes ("op")
//   /phpmod/wpage.php          page forms and changes ("op")
//   /phpmod/search.php         search over titles, keywords, descriptions
//   /phpmod/item_list.php      found pages copied into the link clipboard
//   /phpmod/<other>            the site engine's modules
//
// Who may do what: visitors see the folders their level reaches (see
// KvFolderSite); adding, editing, moving and deleting needs an
// administrator or a member at the folder's write level, the session's
// form token (forms by POST, management links carrying "&rnd=") and a
// request from this site's own pages (the site engine's guard).
//
// Page content, sidebars and folder content are the administrator's HTML
// and are shown as they are (their placeholders expand); every other text
// is escaped.
//
// Searches are remembered per query text in "<base>/Temp/<site>.srt"; the
// store is emptied whenever a folder or page changes, so a search never
// misses a page added since.
#pragma once

#include "proxy/repo/KvRepoLocal.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvSearchLink.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvWebObjectEx.h"

// The content of a new folder's index page.
inline constexpr char KV_LOCAL_INDEX_CONTENT[] = "<h1>{page_title}</h1>\n{search_form2}\n{subfolder_list3}\n{page_list}";

class KvWebLocal : public KvWebObjectEx {
    DECLARE_DYNCREATE(KvWebLocal)
public:
    KvWebLocal();
    ~KvWebLocal() override;

    int Initiate() override;
    int DoGetResponse() override;
    int ResponsePhpModule() override;
    int WebPageShow(const char* file, KvParseImp* imp) override;
    int DoParseString(const CString& key, const CString& arg, CString& value) override;
    CString RenderSearchForm(const char* arg) override;
    CString RenderSearchForm2(const char* arg) override;
    CString RenderSearchForm3(const char* arg) override;
    CString RenderLoginForm() override;
    CString RenderLoginHRef() override;
    CString RenderManagementMenu() override;
    CString RenderSitemap(const char* arg) override;

    // "/" for folder 0, else "/name1/name2/"; "/" when the folder is gone.
    CString FindPathFromFolderId(int id);
    KvRepoLocal& GetRepo() { return m_repo; }

protected:
    // Pages.
    int ResponseWebPage(const CString& dir, const CString& file);
    CString RenderPageList();
    CString RenderSubFolderAddForm();

    // The folder module.
    int ResponseFolderModule();
    int FolderFormShow(const KvWebFolder& folder, bool isNew, const char* message);
    int FolderMoveFormShow(const KvWebFolder& folder, const char* message);
    int ResponseFolderDoAdd();
    int ResponseFolderDoEdit();
    int ResponseFolderAddSome();
    int ResponseFolderDelete();
    int ResponseFolderDoMove();

    // The page module.
    int ResponsePageModule();
    int PageFormShow(const KvWebPage& page, bool isNew, const char* message);
    int PageMoveFormShow(const KvWebPage& page, const char* message);
    bool ReadPageForm(KvWebPage& page, CString& message);
    int ResponsePageDoAdd();
    int ResponsePageDoEdit();
    int ResponsePageDelete();
    int ResponsePageDoMove();

    // Search, and copying found pages into the link clipboard.
    int ResponseSearchModule();
    int ResponseItemListModule();
    CString RenderSearchList(const KvObjectArray& pages);

    // Loads the "cat" folder into m_folder and checks that the member may
    // change it; false when the answer (error or refusal) has been given.
    bool LoadWritableFolder(int id);
    // The page "id" of the "cat" folder into m_page (and its folder).
    bool LoadWritablePage();
    // A folder or page changed: remembered searches are stale.
    void ContentChanged();
    // The index page takes over the folder's texts, or the other way round.
    void SyncIndexPageFromFolder(const KvWebFolder& folder);
    void SyncFolderFromIndexPage(const KvWebPage& page);
    CString VisiblePageFilter();

    KvRepoLocal m_repo;
    KvSearchPage m_search;
    KvFolderSite m_folders;
    KvWebFolder m_folder;
    KvWebPage m_page;
    CString m_strFolderPath;  // the current folder's path
    CString m_strAdvSnippet;
};
