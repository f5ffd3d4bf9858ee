// KvString: resources, whole files, message boxes and window texts.
#include <string>

#include "base/platform/FileIo.h"
#include "base/platform/Ui.h"
#include "base/str/KvString.h"
#include "base/str/StrFunc.h"

bool KvString::LoadStringA(UINT id) { return StrResource(id, *this); }

bool KvString::LoadFile(const char* path) {
    Empty();
    if (!path || !*path) return false;
    std::string bytes;
    if (!KvReadWholeFile(path, bytes) || bytes.empty()) return false;
    m_str.swap(bytes);
    return true;
}

bool KvString::SaveFile(const char* path) const {
    if (m_str.empty()) return true;
    if (!path || !*path) return false;
    return KvWriteFileAtomic(path, m_str.data(), m_str.size());
}

bool KvString::GetWindowTextA(HWND wnd) {
    // At most 255 bytes, as the window text buffer always had.
    char buf[256];
    KvGetWindowText(wnd, buf, (int)sizeof buf);
    *this = buf;
    return true;
}

bool KvString::SetWindowTextA(HWND wnd) const { return KvSetWindowText(wnd, c_str()); }

int KvString::MsgBox(UINT type, UINT /*help*/) const { return KvMessageBox(c_str(), nullptr, type); }

int KvString::MsgYesNo() const { return MsgBox(MB_YESNO | MB_ICONQUESTION); }

int KvString::MsgYesNoCancel() const { return MsgBox(MB_YESNOCANCEL | MB_ICONQUESTION); }

int KvString::MsgInfo() const { return MsgBox(MB_OK | MB_ICONINFORMATION); }

int KvString::MsgOkCancel() const { return MsgBox(MB_OKCANCEL | MB_ICONQUESTION); }

int KvString::MsgAbort() const { return MsgBox(MB_ABORTRETRYIGNORE | MB_ICONWARNING); }

int KvString::MsgFatal() const { return MsgBox(MB_OK | MB_ICONWARNING); }
