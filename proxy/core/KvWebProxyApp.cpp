#include "proxy/core/KvWebProxyApp.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/app/KvData.h"
#include "base/file/KvFileFunc.h"
#include "base/platform/StringTable.h"
#include "base/platform/Ui.h"
#include "base/str/StrFunc.h"
#include "base/thread/KvSystemLock.h"
#include "base/time/KvElapsed.h"
#include "inet/log/KvLogError.h"
#include "inet/url/KvUrlCode.h"
#include "inet/web/KvMime.h"
#include "proxy/cache/KvCacheMemory.h"
#include "proxy/core/KvCacheCopyBudget.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvDownloadSettings.h"
#include "proxy/core/KvErrorPagePolicy.h"
#include "ext/KvSEFetch/KvSEFetch.h"
#include "proxy/feeds/KvFeedSettings.h"
#include "proxy/core/KvProxyKavoriSettings.h"
#include "proxy/core/KvProxyServer.h"
#include "proxy/core/KvUserDirs.h"
#include "proxy/sites/KvFeedRefresher.h"
#include "proxy/sites/KvLinkDirTemplate.h"
#include "proxy/sites/KvLocalWebTemplate.h"
#include "proxy/sites/KvKavoriSite.h"
#include "proxy/sites/KvPolyseekSite.h"
#include "proxy/sites/KvRssTemplate.h"
#include "proxy/web/KvPortalHosts.h"
#include "proxy/web/KvOwnListener.h"

IMPLEMENT_DYNCREATE(KvWebProxyApp, KvWebApp)

namespace {

constexpr DWORD kOfflineAfterMs = 60000;
// Also the listen backlog: bursts of new connections wait in it.
constexpr UINT kListenBacklog = 1024;

// The text of a message of the table, formatted.
CString MessageText(UINT id, const char* a = nullptr, const char* b = nullptr) {
    CString format;
    StrResource(id, format);
    CString text;
    text.Format(format.c_str(), a ? a : "", b ? b : "");
    return text;
}

// A path without its final "/" or "\" (a lone "/" stays).
CString WithoutFinalSeparator(CString path) {
    while (path.GetLength() > 1 && (path.Right(1) == "/" || path.Right(1) == "\\")) path = path.Left(path.GetLength() - 1);
    return path;
}

bool IsAbsolute(const CString& path) { return path.GetLength() > 0 && (path[0] == '/' || path[0] == '\\'); }

}  // namespace

KvWebProxyApp* KvGetProxyApp() { return dynamic_cast<KvWebProxyApp*>(KvGetApp()); }

KvWebProxyApp::KvWebProxyApp() : m_pRTProxyServer(RUNTIME_CLASS(KvProxyServer)) {
    m_bListLoaded = 0;
    // Every configuration member starts at the configuration's default.
    const KvIniFile none;
    ApplyProxyKeys(none);
    ApplyGeneralKeys(none);
    // The portal's own entries, which every white list starts with.
    KvSetPortalHosts(KvGetPortalHosts());
}

KvWebProxyApp::~KvWebProxyApp() { StopProxy(); }

CString KvWebProxyApp::GetModuleDir() {
    if (kvData.m_strModulePath.IsEmpty()) kvData.CollectModuleInfo();
    return kvData.m_strModulePath;
}

CString KvWebProxyApp::DefaultConfigFile() {
    if (kvData.m_strModuleName.IsEmpty()) kvData.CollectModuleInfo();
    CString name = kvData.m_strModuleName;
    if (name.GetLength() > 4 && name.Right(4).CompareNoCase(".exe") == 0) {
        name = name.Left(name.GetLength() - 4) + ".ini";
    } else {
        name += ".ini";
    }
    return GetModuleDir() + name;
}

void KvWebProxyApp::SetInstalledDefaults(const CString& defaults, const CString& dataDir) {
    m_strInstalledDefaults = defaults;
    m_strUserDataDir = dataDir;
}

CString KvWebProxyApp::DefaultBasePath() const {
    return m_strUserDataDir.IsEmpty() ? GetModuleDir() : m_strUserDataDir;
}

// ---------------------------------------------------------------------------
// Start-up and shut-down.

int KvWebProxyApp::InitInstance() {
    if (!KvBaseApp::InitInstance()) return 0;
    m_strBasePath = WithoutFinalSeparator(DefaultBasePath());
    int ok = m_bReadConfigFiles ? ReadConfigFiles() : SetConfigManually();
    if (!ok) return 0;
    KvMime::GetInstance()->SetMimeFile(m_strBasePath + "/mime.types");
    PrepareDataDirectories();
    SetLogPath(m_strBasePath + "/Log/");
    SetSystemLockDir(m_strBasePath + "/Temp");
    // New local web sites are copies of this database.
    (void)KvEnsureLocalWebTemplate(m_strBasePath);
    (void)KvEnsureRssTemplate(m_strBasePath);
    (void)KvEnsureLinkDirTemplate(m_strBasePath);
    // The search site answers on the shipped data.
    (void)KvEnsurePolyseekSite(m_strBasePath);
    // So does the portal, the start page at the portal host.
    (void)KvEnsureKavoriSite(m_strBasePath);
    return 1;
}

int KvWebProxyApp::Run() { return KvWebApp::Run(); }

int KvWebProxyApp::ExitInstance() {
    if (m_pProxyServer) StopProxy();
    return KvWebApp::ExitInstance();
}

void KvWebProxyApp::PrepareDataDirectories() {
    for (const char* sub : {"/Cache", "/Log", "/Temp"}) {
        CString dir = m_strBasePath + sub;
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
            LogError(KV_LOG_ERROR, "Unable to create the folder %s", dir.c_str());
        }
    }
}

// A user who cannot get every default file still gets the proxy: what is
// missing shows as a missing template or list.
void KvWebProxyApp::CopyDefaultData() {
    CString failed;
    m_nDefaultFilesCopied = KvCopyDefaultData(m_strInstalledDefaults, m_strBasePath, &failed);
    if (m_nDefaultFilesCopied < 0) {
        CString text;
        text.Format("The shipped defaults in %s could not all be copied into %s (%s failed)",
                    m_strInstalledDefaults.c_str(), m_strBasePath.c_str(), failed.c_str());
        KvMessageBox(text, nullptr, MB_OK | MB_ICONWARNING);
    }
}

// ---------------------------------------------------------------------------
// Configuration.

int KvWebProxyApp::ReadConfigFiles() { return ReadIniFile() > 0 ? 1 : 0; }

int KvWebProxyApp::SetConfigManually() { return 0; }

void KvWebProxyApp::SplitHostPort(const char* value, CString& host, int& port) {
    CsString name;
    BreakHostPort(value, name, port);
    host = name.GetStr();
    host.Trim();
}

int KvWebProxyApp::ReadIniFile() {
    m_iniFile.Reset();
    if (m_strConfigFile.IsEmpty()) m_strConfigFile = DefaultConfigFile();
    if (!m_iniFile.Load(m_strConfigFile)) {
        KvMessageBox(MessageText(KV_MSG_CONFIG_MISSING, m_strConfigFile, kvData.m_strModuleName), nullptr,
                     MB_OK | MB_ICONSTOP);
        return 0;
    }
    CString base = KvConfigString(m_iniFile, "Directories", "basepath");
    base.Trim();
    if (base.IsEmpty()) {
        base = DefaultBasePath();
    } else if (!IsAbsolute(base)) {
        // A relative base directory is taken from where the file lies.
        CString file = KvAbsolutePath(m_strConfigFile);
        base = file.Left(file.ReverseFind('/') + 1) + base;
    }
    m_strBasePath = WithoutFinalSeparator(KvAbsolutePath(base));
    // The lists below are read from it.
    if (!m_strInstalledDefaults.IsEmpty()) CopyDefaultData();

    if (!ReadProxySection()) return 0;

    ApplyGeneralKeys(m_iniFile);
    m_strWhiteListFile = "whitelist.txt";
    m_strBlackListFile = "blacklist.txt";
    if (m_bUsePopUpFilter) ReadPopUpFilter(m_strBasePath + "/popupfilter.txt");
    if (m_bUseNoCacheList) ReadNoCacheList(m_strBasePath + "/nocache.txt");

    // Redirect shortcuts, custom-search prefix, portal domain, cache folder.
    KvReadKavoriConfig(*this);

    if (KvIniSection* locale = m_iniFile.FindSection("Locale")) {
        kvData.LoadLocale([locale](const char* key) { return locale->GetValue(key); });
    }
    return 1;
}

int KvWebProxyApp::ReadProxySection() {
    KvIniSection* proxy = m_iniFile.FindSection("Proxy");
    if (!proxy) {
        KvMessageBox(MessageText(KV_MSG_CONFIG_BAD), nullptr, MB_OK | MB_ICONSTOP);
        return 0;
    }
    ApplyProxyKeys(m_iniFile);
    return 1;
}

void KvWebProxyApp::ApplyProxyKeys(const KvIniFile& ini) {
    // Only the loopback address unless the file names another: anyone who
    // can reach the port can use the proxy and the local sites.
    SplitHostPort(KvConfigString(ini, "Proxy", "Listen"), m_strListenHost, m_nListenPort);
    if (m_strListenHost.IsEmpty()) m_strListenHost = KvDefaultListenHost();
    if (m_nListenPort <= 0 || m_nListenPort > 65535) m_nListenPort = KvDefaultListenPort();

    SplitHostPort(KvConfigString(ini, "Proxy", "Forward"), m_strForwardHost, m_nForwardPort);
    if (m_nForwardPort < 0 || m_nForwardPort > 65535) m_nForwardPort = 0;
    if (m_nForwardPort == 0) m_strForwardHost.Empty();

    long long timeout = (long long)KvConfigInt(ini, "Proxy", "RecTimeout") * 1000;
    if (timeout >= 0x7FFFFFFF) timeout = (long long)KvConfigDefaultInt("Proxy", "RecTimeout") * 1000;
    m_nRecTimeout = (int)timeout;
    // 0: every answer closes the browser's connection.
    long long keepAlive = (long long)KvConfigIntZeroAllowed(ini, "Proxy", "KeepAliveTimeout") * 1000;
    if (keepAlive >= 0x7FFFFFFF) keepAlive = (long long)KvConfigDefaultInt("Proxy", "KeepAliveTimeout") * 1000;
    m_nKeepAliveTimeout = (int)keepAlive;
    const int headDefault = KvConfigDefaultInt("Proxy", "HeadTimeout");
    long long head = (long long)KvConfigIntZeroAllowed(ini, "Proxy", "HeadTimeout") * 1000;
    if (head == 0) {
        // Without a deadline a silent connection would wait for ever.
        LogError(KV_LOG_ERROR, "[Proxy] HeadTimeout=0: a request head needs a deadline; using %d seconds", headDefault);
    }
    if (head <= 0 || head >= 0x7FFFFFFF) head = (long long)headDefault * 1000;
    m_nHeadTimeout = (int)head;
    m_nMaxConnectionsPerClient = KvConfigInt(ini, "Proxy", "MaxConnectionsPerClient");
    m_nCacheExpiredDays = KvConfigInt(ini, "Proxy", "CacheExpiredDays");

    m_bTunnel = KvConfigInt(ini, "Proxy", "Tunnel") ? 1 : 0;
    m_strTunnelPorts = KvConfigString(ini, "Proxy", "TunnelPorts");
    m_nMaxCacheCopy = (size_t)KvConfigInt(ini, "Proxy", "MaxCacheBody") << 20;
    m_nCacheCopyBudget = (size_t)KvConfigInt(ini, "Proxy", "CacheCopyBudget") << 20;
    KvCacheCopyBudget::SetLimit(m_nCacheCopyBudget);
    if (!KvParseErrorPages(KvConfigString(ini, "Proxy", "ErrorPages"), m_nErrorPages)) {
        LogError(KV_LOG_ERROR, "[Proxy] ErrorPages must be browser, all or none; using %s",
                 KvConfigDefault("Proxy", "ErrorPages"));
        (void)KvParseErrorPages(KvConfigDefault("Proxy", "ErrorPages"), m_nErrorPages);
    }
    KvCacheMemory::Shared().SetBudget((size_t)KvConfigInt(ini, "Proxy", "MemoryCache") << 20);
}

void KvWebProxyApp::ApplyGeneralKeys(const KvIniFile& ini) {
    m_bUseWhiteList = KvConfigInt(ini, "General", "UseWhiteList");
    m_bUseBlackList = KvConfigInt(ini, "General", "UseBlackList");
    m_bUsePopUpFilter = KvConfigInt(ini, "General", "UsePopUpFilter");
    m_bUseNoCacheList = KvConfigInt(ini, "General", "UseNoCacheList");
    m_bFeedRefresh = KvConfigInt(ini, "General", "FeedRefresh") ? 1 : 0;
    m_nDebugMask = KvConfigInt(ini, "Debugging", "debug") | KV_LOG_FATAL;
    KvApplyDownloadSettings(ini, *this);
    KvApplyFeedSettings(ini);
    KvApplySearchSettings(ini);
}

// ---------------------------------------------------------------------------
// Server control.

int KvWebProxyApp::StartProxy() {
    if (!m_pProxyServer) {
        CObject* object = m_pRTProxyServer ? m_pRTProxyServer->CreateObject() : nullptr;
        if (!object || !object->IsKindOf(RUNTIME_CLASS(KvProxyServer))) {
            delete object;
            return 0;
        }
        m_pProxyServer = static_cast<KvProxyServer*>(object);
    }
    if (m_pProxyServer->IsAlive()) return 1;
    m_nStartError = 0;
    m_pProxyServer->SetIPAddress(m_strListenHost);
    m_pProxyServer->SetListenAddress(m_strListenHost);
    m_pProxyServer->SetPort((short)(uint16_t)m_nListenPort);
    m_pProxyServer->SetRecTimeOut((DWORD)m_nRecTimeout);
    m_pProxyServer->SetRequestKeepAlive(m_nKeepAliveTimeout > 0 ? TRUE : FALSE);
    m_pProxyServer->SetRequestTimeAlive((DWORD)m_nKeepAliveTimeout);
    // Idle and slow browsers wait in the server's poll set, not in threads.
    m_pProxyServer->SetParkConnections(TRUE);
    m_pProxyServer->SetHeadTimeOut((DWORD)m_nHeadTimeout);
    m_pProxyServer->SetMaxConnectionsPerClient((UINT)m_nMaxConnectionsPerClient);
    if (m_pProxyServer->GetMaxThreadCount() < kListenBacklog) m_pProxyServer->SetMaxThreadCount(kListenBacklog);
    if (!m_pProxyServer->Create(INFINITE)) {
        m_nStartError = m_pProxyServer->GetListenError();
        CString text;
        text.Format(CString(KvLookupString(KV_MSG_PORT_IN_USE)).c_str(), m_nListenPort);
        LogError(KV_LOG_ERROR, "%s (%s:%d, socket error %d)", text.c_str(), m_strListenHost.c_str(), m_nListenPort,
                 m_nStartError);
        delete m_pProxyServer;
        m_pProxyServer = nullptr;
        return 0;
    }
    m_pProxyServer->Run();
    m_originPool.StartSweeper();
    KvSetDownloadListener(m_strListenHost, (int)GetBoundPort());
    KvSetOwnListener(m_strListenHost, (int)GetBoundPort());
    // Feed downloads go through the listener just set.
    if (m_bFeedRefresh) KvFeedRefresher::Instance().Start();
    return 1;
}

int KvWebProxyApp::StopProxy() {
    KvFeedRefresher::Instance().Stop();
    KvSetDownloadListener(nullptr, 0);
    KvSetOwnListener(nullptr, 0);
    if (m_pProxyServer) {
        if (m_pProxyServer->IsAlive()) m_pProxyServer->Kill();
        delete m_pProxyServer;
        m_pProxyServer = nullptr;
    }
    // After the request threads: none of them can give a connection back now.
    m_originPool.StopSweeper();
    m_originPool.Clear();
    return 1;
}

int KvWebProxyApp::RestartProxy() {
    StopProxy();
    return StartProxy();
}

UINT KvWebProxyApp::GetBoundPort() const { return m_pProxyServer ? m_pProxyServer->GetBoundPort() : 0; }

int KvWebProxyApp::SetProxySettings(const char* host, int port) {
    LogError(KV_LOG_INFO,
             "Point the browser's HTTP proxy (and HTTPS proxy) at %s port %d, or set http_proxy=http://%s:%d/",
             host ? host : "", port, host ? host : "", port);
    return 0;
}

// ---------------------------------------------------------------------------
// Online indication.

int KvWebProxyApp::IsOnline() {
    std::lock_guard<std::mutex> guard(m_csOnline);
    return m_bOnline;
}

void KvWebProxyApp::SetOnline(int connected) {
    const DWORD now = KvGetTickCount();
    std::lock_guard<std::mutex> guard(m_csOnline);
    if (connected) {
        m_dwLastOnlineChange = now;
        m_bOnline = connected;
    } else if ((DWORD)(now - m_dwLastOnlineChange) > kOfflineAfterMs) {
        m_dwLastOnlineChange = now;
        m_bOnline = 0;
    }
}

// ---------------------------------------------------------------------------
// Search tool parameters.

void KvWebProxyApp::SaveSeToolsParams(CsStrMap* values) {
    if (!values) return;
    values->ForEach([this](CsStrMapItem* item) {
        if (CsStrMapItem* have = m_mapSeToolsParams.IFind(item->GetKey())) {
            have->m_value = item->GetValue();
        } else {
            m_mapSeToolsParams.AddTail(item->GetKey(), item->GetValue());
        }
    });
}
