#include "inet/http/KvHttpSyntax.h"

#include <cstring>

bool KvIsTokenChar(unsigned char ch) {
    if ((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) return true;
    return ch != 0 && std::strchr("!#$%&'*+-.^_`|~", ch) != nullptr;
}

using namespace std::string_view_literals;

namespace {

bool IsToken(std::string_view text) {
    if (text.empty()) return false;
    for (unsigned char ch : text) {
        if (!KvIsTokenChar(ch)) return false;
    }
    return true;
}

// Printable ASCII and the bytes above it (some clients send raw UTF-8).
bool IsTargetChar(unsigned char ch) { return ch > 0x20 && ch != 0x7F; }

}  // namespace

bool KvIsWellFormedRequestLine(std::string_view line) {
    const size_t first = line.find(' ');
    const size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last) return false;
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, last - first - 1);
    const std::string_view version = line.substr(last + 1);
    if (!IsToken(method) || target.empty()) return false;
    for (unsigned char ch : target) {
        if (!IsTargetChar(ch)) return false;
    }
    return version.size() == 8 && version.substr(0, 7) == "HTTP/1."sv && version[7] >= '0' && version[7] <= '9';
}

bool KvIsWellFormedFieldLine(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !IsToken(line.substr(0, colon))) return false;
    for (unsigned char ch : line.substr(colon + 1)) {
        if ((ch < 0x20 && ch != '\t') || ch == 0x7F) return false;
    }
    return true;
}
