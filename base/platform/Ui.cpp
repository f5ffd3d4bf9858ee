#include "base/platform/Ui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct UiState {
    std::mutex lock;
    void (*hook)(const char*) = nullptr;
    std::string caption = "KvProxy";
    std::unordered_map<HWND, std::string> windowText;
};

UiState& State() {
    static UiState* state = new UiState;  // never destroyed: boxes may come during exit
    return *state;
}

int DefaultAnswer(UINT style) {
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},               // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},       // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},     // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},          // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},              // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},    // MB_RETRYCANCEL
    };
    UINT type = style & MB_TYPEMASK;
    if (type > MB_RETRYCANCEL) type = MB_OK;
    UINT def = (style & MB_DEFMASK) >> 8;
    return kButtons[type][def > 2 ? 0 : def];
}

}  // namespace

int KvMessageBox(const char* text, const char* caption, UINT style) {
    UiState& s = State();
    std::string line;
    void (*hook)(const char*);
    {
        std::lock_guard guard(s.lock);
        line = caption ? caption : s.caption;
        hook = s.hook;
    }
    line += ": ";
    line += text ? text : "";
    std::fprintf(stderr, "%s\n", line.c_str());
    if (hook) hook(line.c_str());
    return DefaultAnswer(style);
}

void KvSetMessageBoxHook(void (*hook)(const char* text)) {
    UiState& s = State();
    std::lock_guard guard(s.lock);
    s.hook = hook;
}

void KvSetMessageBoxCaption(const char* caption) {
    UiState& s = State();
    std::lock_guard guard(s.lock);
    s.caption = caption ? caption : "";
}

int KvGetWindowText(HWND wnd, char* buf, int max) {
    if (!buf || max <= 0) return 0;
    buf[0] = '\0';
    UiState& s = State();
    std::lock_guard guard(s.lock);
    auto it = s.windowText.find(wnd);
    if (it == s.windowText.end()) return 0;
    size_t n = std::min(it->second.size(), (size_t)max - 1);
    std::memcpy(buf, it->second.data(), n);
    buf[n] = '\0';
    return (int)n;
}

int KvGetWindowTextLength(HWND wnd) {
    UiState& s = State();
    std::lock_guard guard(s.lock);
    auto it = s.windowText.find(wnd);
    return it == s.windowText.end() ? 0 : (int)it->second.size();
}

bool KvSetWindowText(HWND wnd, const char* text) {
    if (!wnd) return false;
    UiState& s = State();
    std::lock_guard guard(s.lock);
    s.windowText[wnd] = text ? text : "";
    return true;
}

void KvForgetWindowText(HWND wnd) {
    UiState& s = State();
    std::lock_guard guard(s.lock);
    s.windowText.erase(wnd);
}
