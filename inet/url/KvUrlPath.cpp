#include "inet/url/KvUrlPath.h"

#include <cctype>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

bool HasForbidden(std::string_view text, const char* forbidden) {
    for (char ch : text) {
        unsigned char b = (unsigned char)ch;
        if ((b >= 0x01 && b <= 0x1F) || std::strchr(forbidden, ch)) return true;
    }
    return false;
}

}  // namespace

bool KvSplitLocalPath(const char* path, KvLocalPath& out) {
    if (!path || !*path) return false;
    std::string_view text(path);
    CString drive;
    if (text.size() >= 2 && std::isalpha((unsigned char)text[0]) && text[1] == ':') {
        drive = CString(text.substr(0, 1));
        text.remove_prefix(2);
    } else if (text[0] != '/') {
        return false;
    }
    CString rest(text);
    rest.Replace('\\', '/');
    if (!rest.view().starts_with('/')) rest.Insert(0, '/');

    int slash = rest.ReverseFind('/');
    CString directory = rest.Left(slash + 1);
    CString name = rest.Mid(slash + 1);
    if (HasForbidden(directory.view(), "<>\"|:?*") || HasForbidden(name.view(), "<>\"|:/\\"))
        return false;

    out.drive = drive;
    out.directory = directory;
    int dot = name.ReverseFind('.');
    out.baseName = dot > 0 ? name.Left(dot) : name;
    out.extension = dot > 0 ? name.Mid(dot + 1) : CString();
    return true;
}

CString KvConfinePath(const char* root, const CString& relative) {
    std::vector<std::string_view> segments;
    std::string_view rest = relative.view();
    while (!rest.empty()) {
        size_t cut = rest.find_first_of("/\\");
        std::string_view segment = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (segment.empty() || segment == std::string_view(".")) continue;
        if (segment == std::string_view("..")) {
            if (!segments.empty()) segments.pop_back();
            continue;
        }
        segments.push_back(segment);
    }
    CString result(root ? root : "");
    if (!result.view().ends_with('/')) result += '/';
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i) result += '/';
        result += CString(segments[i]);
    }
    return result;
}
