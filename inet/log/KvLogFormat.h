// KvLogFormat: the compile-time check of a LogError format.
//
// LogError has conversions of its own (%N, %E, %T) that the compiler's
// printf checking does not know, so a format literal is checked here
// instead, against the types of the arguments that follow it: a format
// that LogError would reject, or whose conversions do not fit the
// arguments (a CString for %s, a long for %d, one argument too many or
// too few), does not compile. The conversions and what each takes:
//   %%            nothing
//   %c %d %u      an integer or enumeration of at most int's size
//   %ld %lu       an integer of long's size
//   %s            a char pointer (or nullptr)
//   %N            an int-sized integer, then a char pointer
//   %E %T         nothing
#pragma once

#include <cstddef>

#include "base/str/KvFormatCheck.h"

namespace kv_log_format {

// True when `format` is one LogError accepts and its conversions take
// exactly the arguments whose kinds (kv_format::KindOf) are `kinds`
// (count of them).
consteval bool Fits(const char* format, const char* kinds, size_t count) {
    size_t next = 0;
    auto take = [&](char kind) { return next < count && kinds[next++] == kind; };
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        switch (*++p) {
        case '%':
        case 'E':
        case 'T': break;
        case 'c':
        case 'd':
        case 'u':
            if (!take('i')) return false;
            break;
        case 'l':
            if ((p[1] != 'd' && p[1] != 'u') || !take('l')) return false;
            ++p;
            break;
        case 's':
            if (!take('s')) return false;
            break;
        case 'N':
            if (!take('i') || !take('s')) return false;
            break;
        default: return false;  // an unknown conversion, or "%" at the end
        }
    }
    return next == count;
}

}  // namespace kv_log_format

// True when a LogError format takes exactly arguments of types Args.
template <class... Args>
consteval bool KvLogFormatFits(const char* format) {
    constexpr char kinds[] = {kv_format::KindOf<Args>()..., '\0'};
    return kv_log_format::Fits(format, kinds, sizeof...(Args));
}

// A format literal checked against Args when it is compiled. The function
// templates of KvLogError.h take it as KvLogFormat<std::type_identity_t<Args>...>
// so that Args come from the arguments alone.
template <class... Args>
struct KvLogFormat {
    template <size_t N>
    consteval KvLogFormat(const char (&format)[N]) : text(format) {
        if (!KvLogFormatFits<Args...>(format)) kv_format::FormatDoesNotFitItsArguments();
    }
    const char* text;
};
