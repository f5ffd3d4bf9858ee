// "kvproxy --set-password HOST NAME": a member's new password of a local
// site, read from standard input.
#pragma once

class KvWebProxyApp;

// Reads one line from standard input (without echo when it is a terminal,
// after a prompt on the error output) and stores it as the password of
// member `name` of site `host` in the application's data folder, which
// InitInstance has fixed. Says what happened; the exit code, 0 or 1.
int RunSetPassword(const KvWebProxyApp& app, const char* host, const char* name);
