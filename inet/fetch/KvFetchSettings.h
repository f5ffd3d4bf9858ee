// What the download client needs to know about its surroundings.
//
// The application reads its configuration file and hands the values over
// once at start-up (and when the proxy starts listening); downloads take a
// copy when they begin, so any thread may download while the settings are
// replaced. A process that never sets them (a tool, a test) downloads
// directly with the limits below.
#pragma once

#include <cstddef>
#include <vector>

#include "base/platform/CString.h"

struct KvFetchSettings {
    CString caFile;            // extra trusted certificates (PEM) besides the system's
    CString userAgent;         // "User-Agent" header; empty sends none
    int timeoutMs = 30000;     // one download, connect to last byte, redirects included
    size_t maxBody = (size_t)16 << 20;  // most body bytes taken, before and after decoding
    CString proxyHost;         // upstream proxy; port 0: connect directly
    int proxyPort = 0;
    CString localProxyHost;    // this system's own listener, for viaLocalProxy
    int localProxyPort = 0;
    // True for host names this system answers itself (never fetched: the
    // download would wait on the local site's own lock). Null: none.
    bool (*isLocalHost)(const char* host) = nullptr;
    // Requests marked outsideOnly reach these hosts (the configured
    // services, named without port) wherever their addresses lie...
    std::vector<CString> trustedHosts;
    // ...and every host when this is set (a set-up whose origins are on
    // this machine or its network, such as the tests').
    bool allowInternal = false;
};

KvFetchSettings KvGetFetchSettings();
void KvSetFetchSettings(const KvFetchSettings& settings);
