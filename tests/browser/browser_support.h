// What the browser tests share: headless Chromium with a profile of its
// own, loading pages through the proxy under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
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
        return Run({"--proxy-server=http://127.0.0.1:" + std::to_string(proxyPort),
                    // The test origins are on loopback: proxy them all the same.
                    "--proxy-bypass-list=<-loopback>"},
                   url, extra);
    }
    // As Load, with the proxy set only by the auto-configuration file at
    // `pacUrl`, as a person sets up a browser.
    std::string LoadWithPac(const std::string& pacUrl, const std::string& url,
                            const std::vector<std::string>& extra = {}) {
        return Run({"--proxy-pac-url=" + pacUrl}, url, extra);
    }

    // Screenshots for a person to look at, when KV_SCREENSHOT_DIR names a
    // folder: the page at 1280 and 390 pixels wide, as "<name>-<width>.png".
    void Shoot(int proxyPort, const std::string& url, const std::string& name,
               const std::vector<std::string>& extra = {}) {
        const char* dir = std::getenv("KV_SCREENSHOT_DIR");
        if (!dir || !*dir) return;
        for (const std::string size : {"1280,900", "390,844"}) {
            std::vector<std::string> args = extra;
            args.push_back("--window-size=" + size);
            args.push_back(std::string("--screenshot=") + dir + "/" + name + "-" + size.substr(0, size.find(',')) +
                           ".png");
            Load(proxyPort, url, args);
        }
    }

private:
    std::string Run(const std::vector<std::string>& proxyArgs, const std::string& url,
                    const std::vector<std::string>& extra) {
        std::string dom, errors;
        std::vector<std::string> argv = {m_binary, "--headless", "--no-sandbox", "--disable-gpu",
                                         "--disable-background-networking", "--no-first-run",
                                         "--user-data-dir=" + m_profile, "--dump-dom"};
        argv.insert(argv.end(), proxyArgs.begin(), proxyArgs.end());
        argv.insert(argv.end(), extra.begin(), extra.end());
        argv.push_back(url);
        EXPECT_EQ(RunProgram(argv, &dom, &errors, 90000), 0) << errors;
        return dom;
    }

    std::string m_binary;
    std::string m_profile;
};

// A page showing hostile records: their markup and placeholders appear as
// text, and none of their scripts ran (each would have marked the body).
inline void ExpectShownAsText(const std::string& dom, const std::string& url) {
    EXPECT_EQ(dom.find("data-ran=\""), std::string::npos) << "a script ran on " << url;
    EXPECT_NE(dom.find("&lt;script&gt;document.body"), std::string::npos) << url;
    EXPECT_NE(dom.find("{page_content}"), std::string::npos) << url;  // shown, not expanded
}

// Answers one request with an RSS document.
inline void AnswerRss(Conn& c, const std::string& body) {
    if (c.ReadHead().empty()) return;
    c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/rss+xml\r\nContent-Length: " + std::to_string(body.size()) +
            "\r\nConnection: close\r\n\r\n" + body);
    c.WaitClosed(2000);
}

}  // namespace e2e
