// KvFeedRefresher: the background download of RSS readers' feeds.
//
// One thread goes through every RSS reader site of the web manager and
// downloads, one feed at a time, the feeds whose refresh period has passed
// since their last download (KvWebRSS::RefreshDueFeeds: the site's lock is
// held only to find the feeds and to store each, never while a feed is
// fetched). A round starts a minute after the last one, or at once when a
// feed folder is saved (Wake). Rounds begin once the manager has read its
// sites (at the first request to any of them).
//
// Start and Stop belong to the proxy's controlling thread; Wake may be
// called from any thread. Stop wakes the thread at once; a download under
// way ends first (bounded by the download time-out).
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class KvFeedRefresher {
public:
    static KvFeedRefresher& Instance();

    // Starts the thread unless it runs.
    void Start();
    // Stops the thread and waits for it.
    void Stop();
    bool IsRunning();
    // A round now rather than at the next minute (no effect when stopped).
    static void Wake();

    // Rounds run this far apart when nothing wakes the thread.
    static constexpr int kRoundSeconds = 60;

private:
    KvFeedRefresher() = default;
    void Run();
    // One pass over every reader; false once a stop was asked.
    bool Round();
    bool Stopping();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
    bool m_running = false;
    bool m_stop = false;
    bool m_wake = false;
};
