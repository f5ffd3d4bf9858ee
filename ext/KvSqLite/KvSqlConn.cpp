#include "ext/KvSqLite/KvSqlConn.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdio>

namespace {
std::atomic<void (*)(const char*)> g_logSink{nullptr};
}

void KvSqlSetLogSink(void (*sink)(const char* line)) { g_logSink.store(sink); }

void KvSqlWriteLog(const char* line) {
    void (*sink)(const char*) = g_logSink.load();
    if (sink) {
        sink(line);
    } else {
        std::fprintf(stderr, "%s\n", line);
    }
}

void KvSqlConn::SetError(int code, const char* msg) {
    lastError = code;
    lastErrorMsg.assign(msg ? msg : sqlite3_errstr(code));
    if (verbose) Log("SQL error", lastErrorMsg.c_str());
}

void KvSqlConn::SetErrorFromDb(int code) {
    // Only the primary code: callers compare with 19 and friends.
    code &= 0xFF;
    const char* msg = db ? sqlite3_errmsg(db) : nullptr;
    // The connection's message may belong to an earlier call when the code
    // came from somewhere else (a reset, a closed handle).
    if (!msg || (db && (sqlite3_errcode(db) & 0xFF) != code)) msg = sqlite3_errstr(code);
    SetError(code, msg);
}

void KvSqlConn::Trace(const char* sql) const {
    if (verbose) Log("SQL", sql);
}

void KvSqlConn::Log(const char* what, const char* text) const {
    char* line = sqlite3_mprintf("%s: %s", what, text ? text : "");
    if (line) {
        KvSqlWriteLog(line);
        sqlite3_free(line);
    }
}

extern "C" const char* KvSqLiteVersion() { return "1.0.1"; }
