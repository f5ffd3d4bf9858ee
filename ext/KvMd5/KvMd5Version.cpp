extern "C" const char* KvMd5Version() { return "1.0.1"; }
