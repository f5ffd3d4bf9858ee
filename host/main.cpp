// kvproxy: the host program. It creates the proxy application, starts the
// proxy and runs until it is told to stop (SIGINT/SIGTERM).
//
//   kvproxy [--config PATH] [--listen HOST:PORT] [--version] [--help]
//
// Without --config the configuration is "kvproxy.ini" beside the program.
// --listen overrides the file's [Proxy] Listen; there port 0 asks for any
// free port (the line printed at start says which).
#include <malloc.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "base/file/KvFileFunc.h"
#include "base/platform/MessageLoop.h"
#include "inet/log/KvLogError.h"
#include "inet/url/KvUrlCode.h"
#include "proxy/core/KvConfigKeys.h"
#include "proxy/core/KvProxyServerKavori.h"
#include "proxy/core/KvWebProxyApp.h"

extern "C" const char* KvProxyVersion();

namespace {

const char kUsage[] =
    "usage: kvproxy [--config PATH] [--listen HOST:PORT] [--version] [--help]\n"
    "\n"
    "KvProxy, a personal web proxy. Point the browser's HTTP proxy at the\n"
    "address printed at start (%s unless configured otherwise).\n"
    "\n"
    "  --config PATH       the configuration file (default: kvproxy.ini beside the program)\n"
    "  --listen HOST:PORT  listen there instead of [Proxy] Listen; port 0 takes any free port\n"
    "  --version           print the version and exit\n"
    "  --help              print this text and exit\n"
    "\n"
    "Stop it with Ctrl-C (SIGINT) or SIGTERM.\n";

struct Options {
    const char* config = nullptr;
    const char* listen = nullptr;
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

// Every connection has its own thread, and glibc gives threads their own
// arenas: a large body (a cached object, a relayed copy) freed there stays
// resident in that arena, and the process keeps the sum of every arena's
// peak. Blocks from 1 MiB up are mapped instead and go back to the system
// when freed, so memory follows the answers in flight. (Setting the
// threshold also stops glibc from raising it after such a free.)
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
    app->m_strConfigFile = options.config ? KvAbsolutePath(options.config) : KvWebProxyApp::DefaultConfigFile();
    if (!app->InitInstance()) {
        ExplainConfigFailure(*app);
        delete app;
        return 2;
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
    const bool v6 = app->m_strListenHost.Find(':') >= 0;
    std::printf("kvproxy: listening on %s%s%s:%u (data in %s)\n", v6 ? "[" : "", app->m_strListenHost.c_str(),
                v6 ? "]" : "", app->GetBoundPort(), app->m_strBasePath.c_str());
    std::fflush(stdout);

    int code = app->Run();
    app->StopProxy();
    int exitCode = app->ExitInstance();
    delete app;
    return code ? code : exitCode;
}
