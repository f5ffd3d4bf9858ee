#include "proxy/sites/KvFeedRefresher.h"

#include <chrono>

#include "proxy/sites/KvWebRSS.h"
#include "proxy/web/KvWebMgr.h"
#include "proxy/web/KvWebObject.h"

KvFeedRefresher& KvFeedRefresher::Instance() {
    static KvFeedRefresher refresher;
    return refresher;
}

void KvFeedRefresher::Start() {
    std::lock_guard<std::mutex> hold(m_mutex);
    if (m_running) return;
    m_stop = false;
    m_wake = false;
    m_running = true;
    m_thread = std::thread([this] { Run(); });
}

void KvFeedRefresher::Stop() {
    std::thread thread;
    {
        std::lock_guard<std::mutex> hold(m_mutex);
        if (!m_running) return;
        m_stop = true;
        thread = std::move(m_thread);
    }
    m_changed.notify_all();
    thread.join();
    std::lock_guard<std::mutex> hold(m_mutex);
    m_running = false;
}

bool KvFeedRefresher::IsRunning() {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_running;
}

void KvFeedRefresher::Wake() {
    KvFeedRefresher& self = Instance();
    {
        std::lock_guard<std::mutex> hold(self.m_mutex);
        if (!self.m_running) return;
        self.m_wake = true;
    }
    self.m_changed.notify_all();
}

bool KvFeedRefresher::Stopping() {
    std::lock_guard<std::mutex> hold(m_mutex);
    return m_stop;
}

void KvFeedRefresher::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_mutex);
            const auto next = std::chrono::steady_clock::now() + std::chrono::seconds(kRoundSeconds);
            m_changed.wait_until(hold, next, [this] { return m_stop || m_wake; });
            if (m_stop) return;
            m_wake = false;
        }
        if (!Round()) return;
    }
}

bool KvFeedRefresher::Round() {
    KvWebMgr* manager = KvWebMgr::GetInstance();
    if (!manager->IsInitiated()) return !Stopping();
    const auto stopping = [this] { return Stopping(); };
    for (KvWebObject* site : manager->GetSites()) {
        if (stopping()) return false;
        if (auto* reader = dynamic_cast<KvWebRSS*>(site)) (void)reader->RefreshDueFeeds(stopping);
    }
    return !stopping();
}
