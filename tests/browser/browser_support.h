// What the browser tests share: headless Chromium with a profile of its
// own, loading pages through the proxy under test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/support/e2e_support.h"

namespace e2e {

class HeadlessChromium {
public:
    HeadlessChromium() = default;
    HeadlessChromium(const HeadlessChromium&) = delete;
    HeadlessChromium& operator=(const HeadlessChromium&) = delete;
    ~HeadlessChromium() {
        if (!m_profile.empty()) RemoveTree(m_profile);
    }

    // False when Chromium is not installed (the test then skips itself).
    bool Start() {
        for (const char* name : {"chromium", "chromium-browser"}) {
            if (RunProgram({"sh", "-c", std::string("command -v ") + name + " >/dev/null"}) == 0) {
                m_binary = name;
                m_profile = MakeTempDir();
                return true;
            }
        }
        return false;
    }

    // The page's DOM after loading `url` through the proxy on `proxyPort`;
    // `extra` options (window size, screenshot, time budget) go before it.
    // Empty, with the failure recorded, when Chromium fails.
    std::string Load(int proxyPort, const std::string& url, const std::vector<std::string>& extra = {}) {
        std::string dom, errors;
        std::vector<std::string> argv = {m_binary, "--headless", "--no-sandbox", "--disable-gpu",
                                         "--disable-background-networking", "--no-first-run",
                                         "--user-data-dir=" + m_profile,
                                         "--proxy-server=http://127.0.0.1:" + std::to_string(proxyPort),
                                         // The test origins are on loopback: proxy them all the same.
                                         "--proxy-bypass-list=<-loopback>", "--dump-dom"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(url);
        EXPECT_EQ(RunProgram(argv, &dom, &errors, 90000), 0) << errors;
        return dom;
    }

private:
    std::string m_binary;
    std::string m_profile;
};

}  // namespace e2e
