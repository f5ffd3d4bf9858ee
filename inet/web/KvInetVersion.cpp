// The internet library's version text, for diagnostics.
extern "C" const char* KvInetVersion() { return "1.0.1"; }
