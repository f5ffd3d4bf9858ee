// KvWebProxyApp: the application object of the proxy.
//
// The host creates it, sets m_strConfigFile when it was told where the
// configuration is, and calls InitInstance (reads the configuration, fixes
// the base directory under which all data lives, prepares the data
// folders, the log and the lists), StartProxy, Run (until a quit is
// posted), StopProxy and ExitInstance.
//
// Configuration members are those of KvWebApp plus the few below; they are
// written during start-up only and read by the request threads afterwards.
// The lists are read-only once prepared (the white and black lists are
// prepared once, by the first request that needs them). The online state
// is guarded by its own lock. StartProxy/StopProxy/RestartProxy belong to
// the host's thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>

#include "inet/net/KvSocketPool.h"
#include "inet/web/KvWebApp.h"
#include "proxy/core/KvErrorPagePolicy.h"

class KvProxyServer;

// Message table ids of the proxy (texts in KvProxyMessages.cpp).
enum : UINT {
    KV_MSG_CONFIG_MISSING = 1,
    KV_MSG_CONFIG_BAD = 2,
    KV_MSG_CACHE_NO_MEMORY = 3,
    KV_MSG_CACHE_OPEN = 4,
    KV_MSG_CACHE_EXPRESSION = 5,
    KV_MSG_PORT_IN_USE = 6,
    KV_MSG_LOCAL_ONLY = 7,
    KV_MSG_FILE_MISSING = 8,
    KV_MSG_PAGE_FRAME = 201,
    KV_MSG_YOUR_REQUEST = 202,
};

class KvWebProxyApp : public KvWebApp {
    DECLARE_DYNCREATE(KvWebProxyApp)
public:
    KvWebProxyApp();
    // Stops the proxy when it still runs.
    ~KvWebProxyApp() override;

    int InitInstance() override;
    int Run() override;
    int ExitInstance() override;
    // 1 when the configuration file was read and is usable.
    virtual int ReadConfigFiles();
    // Configuration without a file: not supported, 0.
    virtual int SetConfigManually();

    // 1 when the server runs (or already ran); 0 when it cannot be made
    // or its address cannot be listened on (see GetStartError).
    int StartProxy();
    int StopProxy();
    int RestartProxy();
    // Browsers here are pointed at the proxy by hand: logs how, returns 0.
    int SetProxySettings(const char* host, int port);

    int IsOnline();
    // A success marks the system online at once; a failure takes it
    // offline only when the last change is more than 60 s old.
    void SetOnline(int connected);

    int IsInWhiteList(const char* url, const char* referer);
    int IsInBlackList(const char* url, CString& matchedRule);
    int IsMatchPopUpFilter(const char* url);
    int IsMatchNoCacheList(const char* url);

    CsStrMap* GetSeToolsParams() { return &m_mapSeToolsParams; }
    // Merges the pairs: a key already present (any case) takes the new value.
    void SaveSeToolsParams(CsStrMap* values);
    void Reasynch() {}

    // --- beyond the classic members ---
    KvProxyServer* GetProxyServer() const { return m_pProxyServer; }
    // The class the server is made from (KvProxyServer or a derived one).
    void SetProxyServerClass(const CRuntimeClass* rt) { m_pRTProxyServer = rt; }
    // The port the running server listens on (the ephemeral one for 0).
    UINT GetBoundPort() const;
    // Socket error of the last failed StartProxy (10048 when the port is taken).
    int GetStartError() const { return m_nStartError; }
    // The executable's directory with its final "/".
    static CString GetModuleDir();
    // The configuration file beside the program: "x.exe" reads "x.ini",
    // any other name has ".ini" appended.
    static CString DefaultConfigFile();
    // An installed program (see KvUserDirs.h): `dataDir` is the base
    // directory when the configuration names none, and the base directory
    // in force gets every shipped default file from `defaults` that it
    // lacks, at each start, before anything reads it.
    void SetInstalledDefaults(const CString& defaults, const CString& dataDir);
    // Default files copied into the base directory at start (-1: failed).
    int GetDefaultFilesCopied() const { return m_nDefaultFilesCopied; }
    // Idle connections to origin servers and the upstream proxy, kept
    // between requests while the proxy runs.
    KvSocketPool& GetOriginPool() { return m_originPool; }

    int m_bTunnel = 0;                      // [Proxy] Tunnel: CONNECT is served
    int m_nKeepAliveTimeout = 60000;        // [Proxy] KeepAliveTimeout (seconds in the file), ms
    int m_nHeadTimeout = 30000;             // [Proxy] HeadTimeout (seconds in the file), ms
    int m_nMaxConnectionsPerClient = 128;   // [Proxy] MaxConnectionsPerClient
    CString m_strTunnelPorts;               // [Proxy] TunnelPorts
    size_t m_nMaxCacheCopy = 0;             // [Proxy] MaxCacheBody (MiB in the file)
    size_t m_nCacheCopyBudget = 0;          // [Proxy] CacheCopyBudget (MiB in the file)
    KvErrorPages m_nErrorPages = KvErrorPages::Browser;  // [Proxy] ErrorPages
    int m_bFeedRefresh = 0;                 // [General] FeedRefresh: feeds downloaded in the background

protected:
    int ReadIniFile();
    int ReadProxySection();
    int ReadPopUpFilter(const char* file);
    int ReadNoCacheList(const char* file);
    int InitWhiteAndBlackList();
    // Cache/, Log/ and Temp/ below the base directory, made when missing.
    void PrepareDataDirectories();
    // The base directory when the configuration names none.
    CString DefaultBasePath() const;
    void CopyDefaultData();
    // "Listen"/"Forward" value into host and port.
    static void SplitHostPort(const char* value, CString& host, int& port);
    // The members of [Proxy], and of [General] and [Debugging], from the
    // file (its defaults for what it leaves out; an empty file gives every
    // default).
    void ApplyProxyKeys(const KvIniFile& ini);
    void ApplyGeneralKeys(const KvIniFile& ini);

    KvProxyServer* m_pProxyServer = nullptr;
    const CRuntimeClass* m_pRTProxyServer;
    int m_nStartError = 0;
    CString m_strInstalledDefaults;  // empty unless installed
    CString m_strUserDataDir;
    int m_nDefaultFilesCopied = 0;

private:
    KvSocketPool m_originPool;
    std::mutex m_csOnline;
    std::mutex m_csLists;
    std::atomic<bool> m_bListsReady{false};
};

// The running application when it is a KvWebProxyApp, else null.
KvWebProxyApp* KvGetProxyApp();
