#include "inet/fetch/KvFetchSettings.h"

#include <mutex>

namespace {

std::mutex g_lock;

KvFetchSettings& Current() {
    static KvFetchSettings settings;
    return settings;
}

}  // namespace

KvFetchSettings KvGetFetchSettings() {
    std::lock_guard<std::mutex> hold(g_lock);
    return Current();
}

void KvSetFetchSettings(const KvFetchSettings& settings) {
    std::lock_guard<std::mutex> hold(g_lock);
    Current() = settings;
}
