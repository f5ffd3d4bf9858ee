extern "C" const char* KvSqLiteVersion() { return "1.0.1"; }
