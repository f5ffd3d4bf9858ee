#include "base/app/KvLogCaught.h"

#include <cstdio>
#include <exception>

#include "base/app/KvBaseApp.h"

void KvDescribeCaught(char* out, size_t size) noexcept {
    if (!out || size == 0) return;
    snprintf(out, size, "an unknown exception");
    std::exception_ptr current = std::current_exception();
    if (!current) return;
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        snprintf(out, size, "%s", e.what());
    } catch (...) {
    }
}

void KvLogCaught(const char* where) noexcept {
    char what[256];
    KvDescribeCaught(what, sizeof what);
    char line[512];
    snprintf(line, sizeof line, "Error: %s: caught %s", where ? where : "?", what);
    try {
        KvBaseApp* app = KvGetApp();
        if (app && !app->GetLogPath().IsEmpty()) {
            app->LogMessage("%s", line);
            return;
        }
    } catch (...) {
        // No memory left for the log line: stderr still takes it.
    }
    fprintf(stderr, "%s\n", line);
}
