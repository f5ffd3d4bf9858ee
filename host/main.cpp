// kvproxy: the host program. It creates the proxy application, starts the
// proxy and runs until it is told to stop (SIGINT/SIGTERM).
#include <cstdio>
#include <cstring>

extern "C" const char* KvProxyVersion();

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kvproxy %s\n", KvProxyVersion());
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: kvproxy [--config PATH] [--version] [--help]\n");
            return 0;
        }
    }
    std::fprintf(stderr, "kvproxy: the proxy is not built yet\n");
    return 1;
}
