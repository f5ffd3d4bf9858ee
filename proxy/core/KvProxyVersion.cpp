// The proxy library's version text, for the host's --version.
extern "C" const char* KvProxyVersion() { return "1.0.1"; }
