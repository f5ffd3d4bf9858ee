#include "host/KvSetPassword.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "proxy/core/KvWebProxyApp.h"
#include "proxy/web/KvMemberPassword.h"

namespace {

// One line of standard input without its line end; a terminal does not
// show what is typed.
std::string ReadPassword(const char* host, const char* name) {
    const bool terminal = isatty(STDIN_FILENO) != 0;
    termios saved{};
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        std::fprintf(stderr, "New password for %s at %s: ", name, host);
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) line.push_back((char)c);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    return line;
}

}  // namespace

int RunSetPassword(const KvWebProxyApp& app, const char* host, const char* name) {
    KvPasswordChange result = KvFindSiteMember(app.m_strBasePath, host, name);
    if (result == KvPasswordChange::Done) {
        const std::string password = ReadPassword(host, name);
        result = KvSetMemberPassword(app.m_strBasePath, host, name, password.c_str());
    }
    const CString text = KvPasswordChangeText(result, host, name);
    if (result != KvPasswordChange::Done) {
        std::fprintf(stderr, "kvproxy: %s\n", text.c_str());
        return 1;
    }
    std::printf("kvproxy: %s\n", text.c_str());
    return 0;
}
