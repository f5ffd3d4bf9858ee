// KvWebObjectEx: the base of every database-backed local site (the site
// engine): CGI parameters, the request path split into directory and
// file, static files under reserved paths, the site database and its
// settings, the signed-in member, form tokens, and the page frame.
//
// Reserved paths, answered before any session is touched:
//   /images/<name>          as /_images/<name>
//   /_<folder>/<name>       a file stored in the site database under that
//                           folder and name; for the folders "_images",
//                           "_theme", "_template" and "_files" (any letter
//                           case) also the file <name> in the data
//                           directory's "Images", "Theme", "Template" or
//                           "Files" (found without regard to case). Other
//                           folders are never read from disk.
//   /theme_snapshot/<theme> the theme's "snapshot.jpg"
// A request path that holds "..", a backslash or a zero byte (after
// un-escaping) gets the invalid-request page, and every path is resolved
// below its root and must stay there.
//
// Changes of state: every session carries a random form token, offered to
// templates as "rnd", "rnd_number" and "form_token" (forms post it back in
// their hidden "rnd"/"rnd_number" field, management links as "&rnd=").
// Every handler calls AllowStateChange before it changes anything and
// returns at once when it is refused (the unauthorised page is then the
// answer): the member must hold the level the operation needs, the request
// must carry the session's token, a form's answer must come by POST, and
// "Origin" (or, lacking it, "Referer") must not name another host, else the
// request may have been sent by another site's page.
//
// Concrete sites override Initiate (calling InitiateSite), DoGetResponse,
// DoParseString and the Render hooks. Everything runs under the object's
// lock (see KvWebObject).
#pragma once

#include "base/containers/CsList.h"
#include "base/str/KvString.h"
#include "inet/html/KvHtmlEscape.h"
#include "inet/match/KvKeywords.h"
#include "inet/web/KvCGI.h"
#include "proxy/web/KvLoginThrottle.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebObject.h"

class KvGenBuffer;
class KvLinkItem;
class KvObjectArray;
class KvParseImp;
class KvRepoBase;
class KvSearchStore;
class KvWebFolder;

// Who may make a change of state.
enum class KvWho {
    Anyone,     // guests too (signing in)
    Member,     // any signed-in member (the handler may narrow it further)
    Admin,      // IsUserAdmin
    Developer,  // IsUserDeveloper
};

// How a change arrives: the answer of a form (POST only) or a management
// link that may be followed (any method).
enum class KvVia { Form, Link };


class KvWebObjectEx : public KvWebObject {
    DECLARE_DYNCREATE(KvWebObjectEx)
public:
    KvWebObjectEx();
    explicit KvWebObjectEx(const char* domain);
    ~KvWebObjectEx() override;

    // --- overrides of KvWebObject ---
    int GetResponse(KvHttpRequest* request, KvHttpResponse* response) override;
    void SetBasePath(const char* path) override;
    void SetDbFileName(const char* path) override;
    // 1 without setting the initiated flag: a concrete site initiates
    // itself (InitiateSite).
    int Initiate() override;
    int DoGetResponse() override;
    int SessionStart() override;
    int SessionEnd() override;

    // --- virtual operations of the site engine ---
    // The built-in modules of "/phpmod/": 0 for a file that is none of them.
    virtual int ResponsePhpModule();
    // The page frame: the theme file `file` filled with the handler's
    // variables and the standard ones; finishes the response.
    virtual int WebPageShow(const char* file, KvParseImp* imp);
    // 1 with `value` set when the site answers the placeholder {key:arg}.
    virtual int DoParseString(const CString& key, const CString& arg, CString& value);
    virtual CString RenderPageHeader();
    virtual CString RenderPageFooter();
    virtual CString RenderPageSidebar();
    virtual CString RenderSearchForm(const char* arg);
    virtual CString RenderSearchForm2(const char* arg);
    virtual CString RenderSearchForm3(const char* arg);
    virtual CString RenderLoginForm();
    virtual CString RenderLoginHRef();
    virtual CString RenderLoginHRef2();
    virtual CString RenderManagementMenu();
    virtual CString RenderSitemap(const char* arg);

    // --- services for the handlers ---
    // Directory (ending with "/") and file of a request path. 1.
    int BreakCgiPathComponent(const CString& path);
    // The "you are here" trail of links for a path.
    CString GetCurrentPath(const char* path);
    // Site settings, cached; a missing variable with a non-empty default
    // gets the default, stored in the database and in the cache.
    CString GetSystemVar(const char* name, const char* defaultValue = "");
    int SetSystemVar(const char* name, const char* value);

    int IsUserLogin() const;
    int IsUserAdmin() const { return UserGetLevel() >= KV_LEVEL_ADMIN; }
    int IsUserDeveloper() const { return UserGetLevel() == KV_LEVEL_DEVELOPER; }
    CString UserGetName() const { return m_user.m_strName; }
    CString UserGetFullName() const { return m_user.m_strFullName; }
    int UserGetLevel() const { return m_user.m_nLevel; }
    CString UserGetLevelStr() const;
    // The member's items per page: 0 gives 10, otherwise within 5..100.
    int GetMaxItemPerPage() const;
    // Signs the member in when the stored password digest equals
    // `password` exactly; the session then moves to a new identifier (so an
    // identifier known before the sign-in is worth nothing after it). 1 on
    // success.
    int MemberLogin(const char* name, const char* password);
    int MemberLogout();
    // To the member's start page when it is a path of this site, else home.
    int RedirectToMemberStartPage();
    // Keywords of the text joined with the site's keywords.
    CString GenPageKeywords(const char* text);

    // Stored file or file on disk ("/<folder>/<name>"); empty when neither.
    CString LoadSimpleOrLocalFile(const char* path);
    // A file below the base path; empty when missing or outside.
    CString LoadLocalFile(const char* path);
    int ResponseSimpleOrLocalFile(const CString& path);
    // A stored file as the answer; 0 when there is none.
    int ResponseSimpleFile(const char* folder, const char* name);

    // The first expansion pass over a fragment (see DoParseString).
    CString ParseString(const char* text);
    // A page whose content is the template `templatePath` (a stored file
    // first, see LoadSimpleOrLocalFile) in the theme file `themeFile`. The
    // template is filled in the frame's one pass, so a value the handler
    // escaped is expanded exactly once; "page_msg" and "page_message" are
    // empty unless the handler set them.
    int ResponseTemplatePage(const char* templatePath, const char* title, KvParseImp& imp,
                             const char* themeFile = "wpage.htm");
    // "Home > <label>" (and " > <label2>" when given) as links.
    CString RenderTrail(const char* label, const char* url, const char* label2 = nullptr,
                        const char* url2 = nullptr);

    // --- cross-site protection ---
    CString GetFormToken() const;
    // The request carries the session's form token and, when it names one,
    // comes from a page of this host.
    int IsStateChangeAllowed() const;
    int IsSameOriginRequest() const;
    // Adds "rnd", "rnd_number" and "form_token" with the token (replacing
    // values a handler set).
    void AddFormToken(KvParseImp* imp) const;
    // Whether the signed-in member (or guest) is one of `who`.
    bool HasAccess(KvWho who) const;
    // The one guard of every change of state (see above). True when the
    // change may go ahead; otherwise the unauthorised page has been
    // answered, and the handler returns 1 without changing anything.
    // `permitted` is the handler's own rule on top of `who` (a member edits
    // only their own record).
    bool AllowStateChange(KvWho who, KvVia via = KvVia::Form, bool permitted = true);
    // "&rnd=<token>" for a management link (the token is URL-safe).
    CString LinkToken() const;

    // --- advertising blocks and the search feed form ---
    CString RenderAdvText(const char* key);
    CString RenderAdvRandom(const char* key);
    CString RenderSFeed(const char* arg);

    // --- link lists ---
    // The links of a folder as a definition list: per link a selection box,
    // the title through the visit counter, the address itself in a new
    // window, and for administrators the link's states and, on a site with
    // the link module, the edit and owner links. Everything from the link is
    // escaped; only an http or https address is linked. The selection boxes
    // are numbered from 1, as the selection is read.
    virtual CString RenderItemArray(KvWebFolder* folder, KvObjectArray& links);
    virtual CString RenderOneItem(int index, KvWebFolder* folder, KvLinkItem* link);
    // Whether this site serves "/phpmod/link.php", where the edit and owner
    // links of a link list lead; a site without it shows neither.
    virtual bool HasLinkModule() const { return false; }

    // --- themes ---
    // Makes `name`, a plain folder name of the theme directory, the site's
    // theme: the stored theme files are replaced by copies of that folder
    // and "hp_theme" is set, all in one transaction, so a failure leaves
    // the old theme as it was. 1 on success.
    int ChangeTheme(const char* name);

    KvWebDB& GetDB() { return m_db; }
    KvCGI& GetCGI() { return m_cgi; }
    const CString& GetCurrentDir() const { return m_strCurDir; }
    const CString& GetCurrentFile() const { return m_strCurFile; }
    const CString& GetRequestPath() const { return m_strPath; }

    // --- module handlers (see ResponsePhpModule) ---
    int ResponseLoginModule();
    int ResponseShowLoginForm();
    int ResponseDoLogin();
    int ResponseMemberInfoEdit();
    int ResponseDoMemberInfoEdit();
    int ResponseSysvarEdit();
    int ResponseDoSysvarEdit();
    int ResponseLogoutModule();
    int ResponseControlPanelModule();
    int ResponseMemberInfoModule();
    int ResponseMemberStartPageModule();
    int ResponseSysvarModule();
    int ResponseSysOtherModule();
    int ResponseAdvTextModule();
    int ResponseAdvRandomModule();
    int ResponseMacroModule();
    int ResponseUtilityModule();
    int ResponseChangeTheme();
    int ResponseChangeLogo();
    int ResponseUploadModule();
    int ResponseRunSqlStatement();
    int ResponseSqlUpload();

protected:
    // Opens (or creates) the site database, loads the settings and the
    // site's name, description, keywords and theme, and sets the initiated
    // flag. 1 on success.
    int InitiateSite();
    // --- the stores of a site with a repository (folder sites) ---
    // `site` names the site in the log ("Link directory"), `content` what
    // its repository holds ("links").
    // Opens the repository on the site database and gives the site its
    // default theme; false, the site not initiated, when it cannot be read.
    bool OpenSiteRepo(KvRepoBase& repo, const char* site, const char* content);
    // Opens the store of remembered searches. The content may have changed
    // while the site was not running (another program, the SQL runner): a
    // fresh start forgets every search.
    void OpenSearchStore(KvSearchStore& search, const char* site);
    // The content changed: remembered searches are stale.
    void ForgetSearches(KvSearchStore& search, const char* site);
    // The advert put after a page's first heading, from the setting
    // "google_channel"; empty without one.
    CString HeadingAdvSnippet();
    // Puts `snippet` after every first-level heading of the page content.
    void PlaceAfterHeadings(const CString& snippet);
    // The reserved paths; -1 when the path is none of them.
    int ResponseReservedPath(const CString& path);
    // The data directory below the base path for a stored-file folder that
    // may fall back to disk; false for any other folder.
    bool GetDiskFolder(const CString& folder, CString& dir) const;
    // The disk file of "/<folder>/<name>", confined; false when none.
    bool GetDiskFile(const CString& folder, const CString& name, CString& file) const;
    void ResetPageFields();
    // Whether the signed-in member may see and change the record.
    bool MayEditMember(const KvUserInfo& member) const;
    int ShowMemberInfoForm(const KvUserInfo& member, const char* message);
    // Reads the member form over `member`; false with the first failure's
    // message.
    bool GetMemberInfoFromCgi(KvUserInfo& member, CString& message) const;
    // Shows the settings form with the values and message given.
    int ShowSysvarForm(const char* message);

    KvWebDB m_db;
    CString m_strDbFileName;
    KvCGI m_cgi;
    CString m_strCurDir;
    CString m_strCurFile;
    CString m_strPath;   // the request path (un-escaped, without query)
    CString m_strPath2;  // a second copy for the handlers
    CString m_strImagesDir;
    CString m_strParsingFailed = "Parsing failed";
    CString m_strDatabaseFailed = "Database %s cannot be opened";
    CString m_strTopLabel = "Home";
    KvUserInfo m_user;
    CsStrMap m_mapSysVar;
    KvString m_strPageTitle;
    KvString m_strPageDesc;
    KvString m_strPageKeywords;
    KvString m_strPageRobots;
    KvString m_strPageContent;
    KvKeywords m_keywords;
    KvLoginThrottle m_loginThrottle;
};
