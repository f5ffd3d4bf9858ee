// Signals that tests wait on instead of sleeping, each bounded by a
// hang guard far beyond what the awaited thing needs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <thread>

namespace testwait {

// Asks `done` again and again until it holds or the time-out (a hang
// guard) passes: whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs `work` on another thread and waits for it up to the time-out (a
// hang guard): true when it returned by itself. Otherwise `unblock` is
// called to end it, and it is waited for.
inline bool ReturnsWithin(const std::function<void()>& work, const std::function<void()>& unblock,
                          int timeoutMs = 20000) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready) return true;
    unblock();
    done.wait();
    return false;
}

// Whether the thread `tid` of this process sleeps (blocked in a wait of
// the kernel's, such as poll, a receive or a lock).
inline bool IsAsleep(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t name = stat.rfind(')');
    return name != std::string::npos && name + 2 < stat.size() && stat[name + 2] == 'S';
}

// Waits until the thread `tid` of this process sleeps.
inline bool WaitAsleep(pid_t tid, int timeoutMs = 20000) {
    return WaitUntil([tid] { return IsAsleep(tid); }, timeoutMs);
}

}  // namespace testwait
