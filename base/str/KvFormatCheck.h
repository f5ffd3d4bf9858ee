// KvFormatCheck: compile-time checking of printf-style formats whose
// conversions the compiler's own format checking does not know.
//
// A formatter that takes a format literal wraps it in a small type whose
// consteval constructor calls KvPrintfFits<Args...>: a format with an
// unknown conversion, or whose conversions do not take exactly the
// arguments' types, then does not compile. The grammar: "%" flags
// ("-+ #0!,"), a width (digits or "*", an int argument), a precision
// ("." digits or ".*"), "h"/"l"/"ll", and one of
//   d i u x X o    an integer: int's size, long's with "l", 8 bytes with "ll"
//   c              an int-sized integer
//   f e E g G      a floating-point number
//   p              a pointer
//   %              nothing
// plus the text conversions the formatter names (each a char pointer or
// nullptr), such as "s" or "sqQw".
#pragma once

#include <cstddef>
#include <type_traits>

namespace kv_format {

// What an argument can stand for: 'i' an integer of at most int's size,
// 'l' one of long's size, 'f' floating point, 's' a char pointer or
// nullptr, 'p' another pointer, '?' nothing a conversion takes.
template <class T>
consteval char KindOf() {
    using U = std::remove_cv_t<T>;
    if constexpr (std::is_same_v<U, bool>) {
        return '?';
    } else if constexpr (std::is_integral_v<U> || (std::is_enum_v<U> && std::is_convertible_v<U, int>)) {
        if constexpr (sizeof(U) <= sizeof(int)) return 'i';
        else if constexpr (sizeof(U) == sizeof(long)) return 'l';
        else return '?';
    } else if constexpr (std::is_floating_point_v<U> && !std::is_same_v<U, long double>) {
        return 'f';
    } else if constexpr (std::is_same_v<U, std::nullptr_t>) {
        return 's';
    } else if constexpr (std::is_pointer_v<U>) {
        return std::is_same_v<std::remove_cv_t<std::remove_pointer_t<U>>, char> ? 's' : 'p';
    } else {
        return '?';
    }
}

consteval bool Contains(const char* set, char c) {
    for (; *set; ++set) {
        if (*set == c) return true;
    }
    return false;
}

consteval bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// True when `format`'s conversions take exactly the arguments whose
// kinds are `kinds` (count of them).
consteval bool PrintfFits(const char* format, const char* kinds, size_t count, const char* textConversions) {
    size_t next = 0;
    auto take = [&](char kind) { return next < count && kinds[next++] == kind; };
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        while (*p && Contains("-+ #0!,", *p)) ++p;
        if (*p == '*') {
            if (!take('i')) return false;
            ++p;
        }
        while (IsDigit(*p)) ++p;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                if (!take('i')) return false;
                ++p;
            }
            while (IsDigit(*p)) ++p;
        }
        int longs = 0;
        while (*p == 'l' || *p == 'h') longs += *p++ == 'l';
        char conv = *p;
        if (conv == '\0') return false;
        if (Contains("diuxXo", conv)) {
            if (!take(longs == 0 ? 'i' : 'l')) return false;
        } else if (conv == 'c') {
            if (longs || !take('i')) return false;
        } else if (Contains("feEgG", conv)) {
            if (!take('f')) return false;
        } else if (conv == 'p') {
            if (next >= count || (kinds[next] != 'p' && kinds[next] != 's')) return false;
            ++next;
        } else if (Contains(textConversions, conv)) {
            if (longs || !take('s')) return false;
        } else if (conv != '%') {
            return false;
        }
    }
    return next == count;
}

// Not constexpr: reaching it in a constant evaluation stops the compile
// and names the fault.
void FormatDoesNotFitItsArguments();

}  // namespace kv_format

// True when `format` takes exactly arguments of types Args, with
// `textConversions` the letters that take a char pointer.
template <class... Args>
consteval bool KvPrintfFits(const char* format, const char* textConversions) {
    constexpr char kinds[] = {kv_format::KindOf<Args>()..., '\0'};
    return kv_format::PrintfFits(format, kinds, sizeof...(Args), textConversions);
}
