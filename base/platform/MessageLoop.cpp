#include "base/platform/MessageLoop.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

struct QuitState {
    std::mutex lock;
    std::condition_variable cv;
    bool posted = false;
    int code = 0;
};

QuitState& State() {
    static QuitState state;  // built on first use: safe from any static initialiser
    return state;
}

std::atomic<void (*)()> g_fatalHandler{nullptr};

}  // namespace

void KvPostQuitMessage(int exitCode) {
    QuitState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.posted = true;
    s.code = exitCode;
    s.cv.notify_all();
}

bool KvIsQuitPosted() {
    QuitState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.posted;
}

void KvResetQuit() {
    QuitState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.posted = false;
}

int KvGetQuitCode() {
    QuitState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.code;
}

bool KvWaitForQuit(DWORD ms) {
    QuitState& s = State();
    std::unique_lock<std::mutex> lk(s.lock);
    auto posted = [&] { return s.posted; };
    if (ms == INFINITE) {
        s.cv.wait(lk, posted);
        return true;
    }
    return s.cv.wait_for(lk, std::chrono::milliseconds(ms), posted);
}

void KvSetFatalHandler(void (*handler)()) {
    g_fatalHandler.store(handler);
}

void KvFatalExit() {
    if (auto handler = g_fatalHandler.load()) {
        handler();
        return;
    }
    KvPostQuitMessage(1);
}
