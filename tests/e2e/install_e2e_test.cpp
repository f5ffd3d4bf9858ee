// The installed program: `cmake --install` into a temporary prefix, then
// the program from there, run as a desktop user with a home of its own.
// It must answer, make the user's folders from the shipped defaults, and
// keep what the user changed when it starts again.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/e2e/support/e2e_support.h"

extern char** environ;

namespace {

using namespace e2e;

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The installed program with the test's environment in place of the
// user's: its output up to the line that says where it listens.
class Installed {
public:
    Installed(const std::string& program, const std::vector<std::string>& env) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> envp;
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        const char* argv[] = {program.c_str(), "--listen", "127.0.0.1:0", nullptr};
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), envp.data()) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        const int64_t deadline = NowMs() + 20000;
        char ch;
        while (m_pid > 0 && (m_output.find(" (data in ") == std::string::npos || m_output.back() != '\n')) {
            pollfd p{out[0], POLLIN, 0};
            const int left = (int)(deadline - NowMs());
            if (left <= 0 || poll(&p, 1, left) <= 0 || read(out[0], &ch, 1) != 1) break;
            m_output.push_back(ch);
        }
        close(out[0]);
        const size_t at = m_output.find("listening on 127.0.0.1:");
        if (at != std::string::npos) m_port = std::atoi(m_output.c_str() + at + 23);
    }
    ~Installed() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    int Port() const { return m_port; }
    const std::string& Output() const { return m_output; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_output;
};

// This process's environment with the user's folders replaced.
std::vector<std::string> UserEnvironment(const std::string& home, const std::string& dataHome) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("HOME=", 0) != 0 && var.rfind("XDG_", 0) != 0) env.push_back(var);
    }
    env.push_back("HOME=" + home);
    env.push_back("XDG_DATA_HOME=" + dataHome);
    return env;
}

TEST(InstallE2e, InstalledProgramRunsOnTheUsersOwnFolders) {
    const std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    struct Cleanup {
        std::string dir;
        ~Cleanup() { RemoveTree(dir); }
    } cleanup{dir};
    const std::string prefix = dir + "/prefix", shared = prefix + "/share/kvproxy";
    std::string out, err;
    ASSERT_EQ(RunProgram({KV_CMAKE_COMMAND, "--install", BinaryDir(), "--component", "kvproxy", "--prefix", prefix},
                         &out, &err), 0) << err;

    // The shipped defaults, without the build's configuration or what a
    // run from the source tree leaves in data/.
    EXPECT_TRUE(Exists(shared + "/kvproxy.ini"));
    EXPECT_TRUE(Exists(shared + "/Template/proxy_error.htm"));
    for (const char* leftover : {"kvproxy.ini.in", "Cache", "Log", "Temp", "LocalWeb"}) {
        EXPECT_FALSE(Exists(shared + "/" + leftover)) << leftover;
    }
    const std::string unit = ReadFile(prefix + "/share/systemd/user/kvproxy.service");
    EXPECT_NE(unit.find("\nExecStart=" + prefix + "/bin/kvproxy\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("\nRestart=on-failure\n"), std::string::npos);
    EXPECT_NE(unit.find("\nWantedBy=default.target\n"), std::string::npos);

    const std::string home = dir + "/home", config = home + "/.config/kvproxy/kvproxy.ini";
    const std::string data = dir + "/xdg-data/kvproxy";
    const std::vector<std::string> env = UserEnvironment(home, dir + "/xdg-data");
    CountingOrigin origin;
    {
        Installed proxy(prefix + "/bin/kvproxy", env);
        ASSERT_GT(proxy.Port(), 0) << proxy.Output();
        EXPECT_NE(proxy.Output().find("made " + config), std::string::npos) << proxy.Output();
        EXPECT_NE(proxy.Output().find("(data in " + data + ", configuration " + config + ")"), std::string::npos)
            << proxy.Output();
        Conn c = Conn::ConnectTo(proxy.Port());
        ASSERT_TRUE(c.Write(GetRequest(origin.Url("/page.txt"), "Connection: close\r\n")));
        const Answer answer = Parse(c.ReadAll());
        EXPECT_EQ(answer.status, 200);
        EXPECT_NE(answer.body.find("answer 1 /page.txt"), std::string::npos) << answer.body;
    }
    EXPECT_EQ(ReadFile(config), ReadFile(shared + "/kvproxy.ini"));
    EXPECT_EQ(ReadFile(data + "/Template/proxy_error.htm"), ReadFile(shared + "/Template/proxy_error.htm"));
    EXPECT_TRUE(Exists(data + "/Cache"));
    EXPECT_FALSE(Exists(data + "/kvproxy.ini"));

    // The user's changes stay; a default the user lost comes back.
    WriteFile(config, ReadFile(config) + "\n; mine\n");
    WriteFile(data + "/Template/proxy_msg.htm", "mine");
    unlink((data + "/mime.types").c_str());
    {
        Installed proxy(prefix + "/bin/kvproxy", env);
        ASSERT_GT(proxy.Port(), 0) << proxy.Output();
        EXPECT_EQ(proxy.Output().find("made "), std::string::npos) << proxy.Output();
    }
    EXPECT_NE(ReadFile(config).find("\n; mine\n"), std::string::npos);
    EXPECT_EQ(ReadFile(data + "/Template/proxy_msg.htm"), "mine");
    EXPECT_EQ(ReadFile(data + "/mime.types"), ReadFile(shared + "/mime.types"));
}

}  // namespace
