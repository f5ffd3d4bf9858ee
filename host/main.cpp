// kvproxy: the host program. It creates the proxy application, starts the
// proxy and runs until it is told to stop (SIGINT/SIGTERM).
//
//   kvproxy [--config PATH] [--listen HOST:PORT] [--version] [--help]
//   kvproxy [--config PATH] --set-password SITE-HOST MEMBER
//
// Without --config the configuration is "kvproxy.ini" beside the program,
// as in the build tree. An installed program (no kvproxy.ini beside it,
// its shipped defaults in <prefix>/share/kvproxy) reads the user's
// ${XDG_CONFIG_HOME:-~/.config}/kvproxy/kvproxy.ini and keeps its data in
// ${XDG_DATA_HOME:-~/.local/share}/kvproxy, both made from the defaults.
// --listen overrides the file's [Proxy] Listen; there port 0 asks for any
// free port (the line printed at start says which). --set-password reads
// a member's new password from standard input, stores it in the site's
// database and exits (0 when it is set) without starting the proxy.
#include <malloc.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/file/KvFileFunc.h"
#include "base/platform/MessageLoop.h"
#include "host/KvSetPassword.h"
#include "inet/log/KvLogError.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvProxyServerKavori.h"
#include "proxy/core/KvUserDirs.h"
#include "proxy/core/KvWebProxyApp.h"

extern "C" const char* KvProxyVersion();

namespace {

const char kUsage[] =
    "usage: kvproxy [--config PATH] [--listen HOST:PORT] [--version] [--help]\n"
    "       kvproxy [--config PATH] --set-password SITE-HOST MEMBER\n"
    "\n"
    "KvProxy, a personal web proxy. Point the browser's HTTP proxy at the\n"
    "address printed at start (%s unless configured otherwise).\n"
    "\n"
    "  --config PATH       the configuration file (default: kvproxy.ini beside the program;\n"
    "                      installed: ${XDG_CONFIG_HOME:-~/.config}/kvproxy/kvproxy.ini)\n"
    "  --listen HOST:PORT  listen there instead of [Proxy] Listen; port 0 takes any free port\n"
    "  --set-password SITE-HOST MEMBER\n"
    "                      read a new password for the member of that local site from\n"
    "                      standard input (not shown on a terminal), store it and exit\n"
    "  --version           print the version and exit\n"
    "  --help              print this text and exit\n"
    "\n"
    "Stop it with Ctrl-C (SIGINT) or SIGTERM.\n";

struct Options {
    const char* config = nullptr;
    const char* listen = nullptr;
    const char* passwordSite = nullptr;  // --set-password
    const char* passwordMember = nullptr;
};

// 0 to go on, otherwise the exit code + 1.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("kvproxy %s\n", KvProxyVersion());
            return 1;
        }
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::printf(kUsage, KvConfigDefault("Proxy", "Listen"));
            return 1;
        }
        if ((std::strcmp(arg, "--config") == 0 || std::strcmp(arg, "--listen") == 0) && i + 1 < argc) {
            (arg[2] == 'c' ? options.config : options.listen) = argv[++i];
            continue;
        }
        if (std::strcmp(arg, "--set-password") == 0 && i + 2 < argc) {
            options.passwordSite = argv[++i];
            options.passwordMember = argv[++i];
            continue;
        }
        std::fprintf(stderr, "kvproxy: unknown or incomplete option '%s'\n\n", arg);
        std::fprintf(stderr, kUsage, KvConfigDefault("Proxy", "Listen"));
        return 3;
    }
    return 0;
}

// SIGINT and SIGTERM are taken by one thread, which asks the application
// to quit; every other thread has them blocked.
void StartSignalThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::thread([set] {
        int sig = 0;
        sigwait(&set, &sig);
        KvPostQuitMessage(0);
    }).detach();
}

void ExplainConfigFailure(const KvWebProxyApp& app) {
    const char* path = app.m_strConfigFile.c_str();
    if (!IsFileExist(path)) {
        std::fprintf(stderr, "kvproxy: the configuration file %s does not exist (give one with --config PATH)\n", path);
    } else {
        std::fprintf(stderr,
                     "kvproxy: the configuration file %s is unusable: it cannot be read or has no [Proxy] section\n",
                     path);
    }
}

void ExplainStartFailure(const KvWebProxyApp& app) {
    const int error = app.GetStartError();
    if (error == 10048) {
        std::fprintf(stderr, "kvproxy: cannot start: port %d is already in use by another program\n",
                     app.m_nListenPort);
        return;
    }
    char scratch[160];
    std::fprintf(stderr, "kvproxy: cannot listen on %s:%d: %s\n", app.m_strListenHost.c_str(), app.m_nListenPort,
                 error ? KvSocketErrorText(error, scratch, sizeof scratch) : "the server could not be started");
}

// Chooses the configuration file, and for an installed program the user's
// folders (made from the shipped defaults where the user has nothing yet):
// 0 to go on, otherwise the exit code + 1.
int ChooseConfiguration(KvWebProxyApp& app, const Options& options) {
    if (options.config) app.m_strConfigFile = KvAbsolutePath(options.config);
    const CString defaults = KvFindInstalledDefaults(KvWebProxyApp::GetModuleDir());
    if (defaults.IsEmpty()) {
        if (!options.config) app.m_strConfigFile = KvWebProxyApp::DefaultConfigFile();
        return 0;
    }
    KvUserDirs dirs;
    dirs.defaults = defaults;
    if (!KvResolveUserDirs([](const char* name) { return std::getenv(name); }, dirs)) {
        std::fprintf(stderr, "kvproxy: cannot find your home folder (set HOME)\n");
        return 3;
    }
    app.SetInstalledDefaults(defaults, dirs.dataDir);
    if (options.config) return 0;
    app.m_strConfigFile = dirs.ConfigFile();
    CString failed;
    const int made = KvMakeUserConfig(dirs, failed);
    if (made < 0) {
        std::fprintf(stderr, "kvproxy: cannot make your configuration %s (%s failed)\n", dirs.ConfigFile().c_str(),
                     failed.c_str());
        return 3;
    }
    if (made > 0) std::printf("kvproxy: made %s from the shipped defaults\n", dirs.ConfigFile().c_str());
    return 0;
}

// Every connection has its own thread, and glibc gives threads their own
// arenas: a large body (a cached object, a relayed copy) freed there stays
// resident in that arena, and the process keeps the sum of every arena's
// peak. Blocks from 1 MiB up are mapped instead and go back to the system
// when freed, so memory follows the answers in flight. (Setting the
// threshold also stops glibc from raising it after such a free.)
// Says where the proxy listens and which folders it uses, on the output
// (the service manager's journal) and in the log.
void ReportStart(const KvWebProxyApp& app) {
    if (app.GetDefaultFilesCopied() > 0) {
        std::printf("kvproxy: copied %d shipped default files into %s\n", app.GetDefaultFilesCopied(),
                    app.m_strBasePath.c_str());
    }
    const bool v6 = app.m_strListenHost.Find(':') >= 0;
    CString address;
    address.Format("%s%s%s:%u", v6 ? "[" : "", app.m_strListenHost.c_str(), v6 ? "]" : "", app.GetBoundPort());
    std::printf("kvproxy: listening on %s (data in %s, configuration %s)\n", address.c_str(),
                app.m_strBasePath.c_str(), app.m_strConfigFile.c_str());
    std::fflush(stdout);
    LogError(KV_LOG_INFO, "KvProxy %s listening on %s; data in %s; configuration %s", KvProxyVersion(),
             address.c_str(), app.m_strBasePath.c_str(), app.m_strConfigFile.c_str());
}

void LimitRetainedMemory() { mallopt(M_MMAP_THRESHOLD, 1 << 20); }

}  // namespace

int main(int argc, char** argv) {
    LimitRetainedMemory();
    Options options;
    if (int done = ParseOptions(argc, argv, options)) return done - 1;
    StartSignalThread();

    CObject* object = RUNTIME_CLASS(KvWebProxyApp)->CreateObject();
    auto* app = dynamic_cast<KvWebProxyApp*>(object);
    if (!app) {
        std::fprintf(stderr, "kvproxy: out of memory\n");
        delete object;
        return 1;
    }
    // The full system: local sites, lists and cache before forwarding.
    app->SetProxyServerClass(RUNTIME_CLASS(KvProxyServerKavori));
    const bool setPassword = options.passwordSite != nullptr;
    if (int done = ChooseConfiguration(*app, options)) {
        delete app;
        return setPassword ? 1 : done - 1;
    }
    if (!app->InitInstance()) {
        ExplainConfigFailure(*app);
        delete app;
        return setPassword ? 1 : 2;
    }
    if (setPassword) {
        const int code = RunSetPassword(*app, options.passwordSite, options.passwordMember);
        app->ExitInstance();
        delete app;
        return code;
    }
    if (options.listen) {
        CsString host;
        int port = 0;
        BreakHostPort(options.listen, host, port);
        app->m_strListenHost = *host.GetStr() ? CString(host.GetStr()) : KvDefaultListenHost();
        app->m_nListenPort = port;
    }
    if (!app->StartProxy()) {
        ExplainStartFailure(*app);
        app->ExitInstance();
        delete app;
        return 3;
    }
    ReportStart(*app);

    int code = app->Run();
    app->StopProxy();
    int exitCode = app->ExitInstance();
    delete app;
    return code ? code : exitCode;
}
