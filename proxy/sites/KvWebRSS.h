// KvWebRSS: the feed reader site: a tree of feed folders kept in its site
// database (KvRepoRSS); a folder may name a feed, whose items are stored
// in it as links when an administrator asks for a download.
//
// Requests:
//   /dir/ and /dir/index.html      the folder page (feed block and items,
//                                  or the sub-folders)
//   /phpmod/folder.php             folder forms and changes ("op")
//   /phpmod/rss_download.php?cat=  download the folder's feed into it
//   /phpmod/rss_queue.php?cat=     only stamp the folder's last download
//   /phpmod/search.php             search over the stored items
//   /phpmod/jump.php?id=           count a hit and go to the item
//   /phpmod/opml.php               the visible feed folders as OPML;
//                                  "op=import": an OPML file into a folder
//   /phpmod/item_list.php          selected items copied into the client's
//                                  link clipboard; cut, deleted or pasted
//                                  by administrators
//   /phpmod/item_pop.php           copy or cut of one item (a pop-up window)
//   /phpmod/page_hits.php, todo.php, file_mgmt.php
//                                  the settings editor ("op=sss")
//   /phpmod/<other>                the site engine's modules
//   anything else                  the error page
//
// Who may do what: visitors see the folders their level reaches (see
// KvFolderSite); folder changes and downloads need an administrator, the
// session's form token and a request from this site's own pages.
//
// Everything that came with a feed (titles, descriptions, copyright,
// addresses) is escaped on every page; only http/https addresses become
// links. Folder pages are composed in code: a folder's stored content is
// never expanded here, so a feed cannot smuggle a placeholder in.
//
// A download fetches the feed without holding the site's lock (the fetch
// may take up to the download time-out) and takes the lock only to store
// the items. The background refresher (KvFeedRefresher) downloads the
// feeds whose refresh period has passed the same way.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "base/containers/KvObjectArray.h"
#include "proxy/repo/KvRepoRSS.h"
#include "proxy/repo/KvRepoRecords.h"
#include "proxy/repo/KvSearchLink.h"
#include "proxy/sites/KvFolderSite.h"
#include "proxy/web/KvWebObjectEx.h"

// A feed read from the network, not yet stored.
struct KvFetchedFeed {
    KvObjectArray items;
    CString title;
    CString description;
    CString copyright;
    CString message;  // why the download failed
};

// The content written into a folder of each kind when its form is saved.
inline constexpr char KV_RSS_FEED_CONTENT[] = "<h1>{page_title}</h1>\n{search_form2}\n{rss_attribute}\n{link_list}";
inline constexpr char KV_RSS_FOLDER_CONTENT[] = "<h1>{page_title}</h1>\n{search_form2}\n{subfolder_list2}";
inline constexpr char KV_RSS_ROOT_CONTENT[] =
    "<h1>{page_title}</h1>\n{search_form2}\n<p>{page_desc}</p>{subfolder_list3}{advtext:rss_what}";
// The shipped folder form of feed readers, stored into each reader's
// database as "/_template/folder.htm".
inline constexpr char KV_RSS_FOLDER_FORM[] = "rss_folder.htm";

class KvWebRSS : public KvWebObjectEx, private KvFileExchangeSite {
    DECLARE_DYNCREATE(KvWebRSS)
public:
    KvWebRSS();
    ~KvWebRSS() override;

    int Initiate() override;
    int GetResponse(KvHttpRequest* req, KvHttpResponse* resp) override;
    int DoGetResponse() override;
    int ResponsePhpModule() override;
    int DoParseString(const CString& key, const CString& arg, CString& value) override;
    CString RenderSearchForm(const char* arg) override;
    CString RenderSearchForm2(const char* arg) override;
    CString RenderSearchForm3(const char* arg) override;
    CString RenderManagementMenu() override;
    CString RenderSitemap(const char* arg) override;

    // "/" for folder 0, else "/name1/name2/"; "/" when the folder is gone.
    CString FindPathFromFolderId(int id);
    KvRepoRSS& GetRepo() { return m_repo; }

    // Downloads, one at a time, the feeds whose refresh period has passed
    // since their last download (a failed one is tried again a period after
    // its failure); called without the site's lock, which is taken only to
    // find the feeds and to store each. Stops between feeds once `stopping`
    // answers true. The number of feeds stored.
    int RefreshDueFeeds(const std::function<bool()>& stopping);
    // The length of a refresh period in days (at least one minute).
    static double PeriodDays(int count, const CString& unit);

protected:
    // Folder pages.
    int ResponseLinks(const CString& dir);
    CString RenderRssAttribute();
    CString RenderLinkList();

    // The folder module.
    int ResponseFolderModule();
    int FolderFormShow(const KvWebFolderRSS& folder, bool isNew, const char* message);
    bool ReadRssFolderForm(KvWebFolderRSS& folder, CString& message);
    int ResponseFolderDoAdd();
    int ResponseFolderDoEdit();
    int ResponseFolderDelete();
    int ResponseFolderDoMove();

    // Item lists in the selection form; the clipboard module.
    CString RenderSelectableItems(KvWebFolder* folder, KvObjectArray& items);
    // The clipboard operation on the items `ids` of folder `cat`; false
    // when the answer (refusal or error) has been given.
    bool DoClipboard(const CString& op, int cat, const std::vector<int>& ids, KvVia via);

    // Feeds, search and the jump page.
    // Reads the feed at `url` (each item with `keywords`) after dropping
    // the proxy's copy of it; takes no lock.
    static bool FetchFeed(const CString& url, const CString& keywords, KvFetchedFeed& feed);
    // Stores a fetched feed into folder `cat` when the folder still reads
    // `url`: its items, the channel's texts, the download time; the site's
    // lock held. Whether it was stored.
    bool StoreFeed(int cat, const CString& url, KvFetchedFeed& feed);
    int ResponseRSSDownload();
    int ResponseRSSQueue();
    int ResponseSearchModule();
    int ResponseJump();
    int ResponseOpmlModule();
    // Reads the OPML file the form sent below the current folder.
    int ResponseImport(const KvCGIFile& upload) override;
    // The visible feed folders as OPML.
    int ResponseExport() override;
    int ShowImportForm(const char* message) override;
    void RenderOpmlLevel(int parent, const CString& indent, int depth, CString& out);

    // Loads folder `id` into m_folder and checks that the member may change
    // it; false when the answer (error or refusal) has been given.
    bool LoadWritableFolder(int id) override;
    void ContentChanged();
    CString VisibleItemFilter();

    KvRepoRSS m_repo;
    KvSearchLink m_search;
    KvFolderSite m_folders;
    KvWebFolderRSS m_folder;
    CString m_strFolderPath;
    // Folder id -> day number before which a feed that failed in the
    // background is not tried again; guarded by the site's lock.
    std::map<int, double> m_retryAfter;
};
