// KvLogCaught: the trace a catch-all leaves behind.
//
// A catch (...) that keeps a thread or a container alive must still say
// what it caught. Call KvLogCaught from inside the catch block: it names
// the exception (its what() text when it is a std::exception) and the
// place, and writes "Error: <where>: caught <what>" to the running
// application's log, or to stderr when there is no application or log.
// It never throws, so the caller's clean-up after it still runs.
#pragma once

#include <cstddef>

void KvLogCaught(const char* where) noexcept;

// The text KvLogCaught uses for the exception being handled, into out
// (size bytes, always terminated), for callers that log it their own way.
void KvDescribeCaught(char* out, size_t size) noexcept;
