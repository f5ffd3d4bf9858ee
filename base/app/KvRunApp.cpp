// Starting another program without waiting for it.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "base/app/KvLogCaught.h"
#include "base/file/KvFileFunc.h"

extern char** environ;

bool RunApplication(const char* commandLine) {
    if (!commandLine || !*commandLine) return false;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    // The child gets the standard streams only: no sockets or files of ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    char sh[] = "/bin/sh";
    char dashC[] = "-c";
    char* argv[] = {sh, dashC, const_cast<char*>(commandLine), nullptr};
    pid_t pid = -1;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;

    // Reap the child when it ends so that it leaves no zombie behind.
    try {
        std::thread([pid] {
            int status;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        KvLogCaught("starting the thread that waits for a child");
        // No thread to spare: the child still runs; it stays a zombie
        // until this process ends.
    }
    return true;
}
