// KvWebApp: the application base of the proxy application.
//
// It declares the configuration members that the proxy application reads
// from its configuration file and that the rest of the system reads back
// from the running application. They hold no defaults of their own: the
// proxy application gives them the configuration's defaults when it is
// made (proxy/core/KvConfigKeys.h holds every key's default) and the
// file's values at start-up, before any worker thread runs; afterwards
// they are read only (the online state excepted, which its owner guards).
#pragma once

#include "base/app/KvBaseApp.h"
#include "base/containers/CsList.h"
#include "base/file/KvIniFile.h"
#include "inet/log/KvLogError.h"
#include "inet/match/KvMatchList.h"
#include "inet/url/KvUrl.h"

class KvWebApp : public KvBaseApp {
    DECLARE_DYNCREATE(KvWebApp)
public:
    KvWebApp();
    ~KvWebApp() override;

    CString m_strBasePath;            // base directory of all data (no final separator)
    // The LogError kinds written (fatal always added); until the file is
    // read, those written without an application.
    int m_nDebugMask = KV_LOG_DEFAULT_MASK;
    CString m_strListenHost;
    int m_nListenPort = 0;
    CString m_strForwardHost;         // upstream proxy; empty for direct connections
    int m_nForwardPort = 0;           // 0: no upstream proxy
    int m_nRecTimeout = 0;            // receive time-out, ms
    int m_bUseWhiteList = 0;
    int m_bUseBlackList = 0;
    CString m_strWhiteListFile;       // "whitelist.txt" once configured
    CString m_strBlackListFile;       // "blacklist.txt" once configured
    CString m_strConfigFile;          // path of the configuration file
    int m_bReadConfigFiles = 1;       // read the file rather than set things by hand
    DWORD m_dwLastOnlineChange = 0;   // tick of the last online change
    int m_bOnline = 0;
    int m_bCacheDisabled = 0;         // nonzero: the cache is not consulted
    int m_nCacheExpiredDays = 0;
    KvIniFile m_iniFile;              // the configuration file as read
    KvMatchList m_lstNoCache;         // nocache.txt
    int m_bUseNoCacheList = 0;
    KvMatchList m_lstPopUpFilter;     // popupfilter.txt
    int m_bUsePopUpFilter = 0;
    CsStrMap m_mapSeToolsParams;      // search tool parameters of the portal
    int m_bListLoaded = 0;            // white and black lists are loaded
    KvMatchList m_lstWhite;
    KvMatchList m_lstBlack;
    KvUrl m_urlLocalWeb;              // base of the local web sites: http://localhost:82/
};

// The running application when it is a KvWebApp, else null.
KvWebApp* KvGetWebApp();
