// The download client's settings from the proxy's configuration: the
// upstream proxy, [General] CAFile, UserAgent and FetchTimeout, this
// system's own listener (for downloads "via the local proxy"), and the
// host names it answers itself, which are never downloaded.
//
// Start-up and proxy start/stop only; downloads read a copy.
#pragma once

class KvIniFile;
class KvWebApp;

// From the file's values (defaults for what it leaves out) and the
// application's upstream proxy. A relative CAFile is taken from the base
// directory.
void KvApplyDownloadSettings(const KvIniFile& ini, const KvWebApp& app);
// The address the running proxy listens on; port 0 when it stopped.
void KvSetDownloadListener(const char* host, int port);
// True for the portal's names (any name under its suffix, the configured
// portal domain) and every site of the web manager.
bool KvIsLocalSiteHost(const char* host);
