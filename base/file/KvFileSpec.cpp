// KvFileSpec: parts, validity and the operations on the named file.
#include "base/file/KvFileSpec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/platform/FileIo.h"
#include "base/str/StrFunc.h"

namespace {

bool IsSep(char c) { return c == '/' || c == '\\'; }

// No control byte (0x01-0x1F) and none of the forbidden characters.
bool HasOnlyAllowed(const CString& s, const char* forbidden) {
    for (int i = 0; i < s.GetLength(); ++i) {
        unsigned char c = (unsigned char)s[i];
        if ((c >= 0x01 && c <= 0x1F) || std::strchr(forbidden, c)) return false;
    }
    return true;
}

// mkdir -p; true when the directory exists afterwards.
bool MakeDirs(const std::string& path) {
    if (path.empty()) return false;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithSeparator(const char* dir) {
    std::string d = dir ? dir : "";
    if (!d.empty() && !IsSep(d.back())) d += '/';
    return d;
}

}  // namespace

// ---- parts -----------------------------------------------------------------

bool KvFileSpec::SetDrive(const char* drive) {
    m_strDrive = drive;
    return IsValid();
}

void KvFileSpec::SetPath(const char* path) {
    CString text(path);
    m_strDrive.Empty();
    int colon = text.Find(':');
    if (colon >= 0) {
        m_strDrive = text.Left(colon + 1);
        text = text.Mid(colon + 1);
    }
    // An empty directory stays empty rather than becoming the root. Added
    // separators follow the text's own ("\" only when it uses no "/").
    if (!text.IsEmpty()) {
        char sep = (text.Find('\\') >= 0 && text.Find('/') < 0) ? '\\' : '/';
        if (colon < 0 && !IsSep(text[0])) text = CString(sep) + text;
        if (!IsSep(text[text.GetLength() - 1])) text += sep;
    }
    m_strDir = text;
}

bool KvFileSpec::SetBaseName(const char* name) {
    m_strBaseName = name;
    return IsValid();
}

bool KvFileSpec::SetExtension(const char* ext) {
    m_strExt = ext;
    return IsValid();
}

CString KvFileSpec::GetFileName() const {
    if (m_strExt.IsEmpty()) return m_strBaseName;
    return m_strBaseName + "." + m_strExt;
}

void KvFileSpec::SetFileName(const char* name) {
    CString text(name);
    int dot = text.Find('.');
    if (dot < 0) {
        m_strBaseName = text;
        m_strExt.Empty();
    } else {
        m_strBaseName = text.Left(dot);
        m_strExt = text.Mid(dot + 1);
    }
}

CString KvFileSpec::GetFullName() const { return m_strDrive + m_strDir + GetFileName(); }

void KvFileSpec::SetFullName(const char* path) {
    KvPathParts parts;
    KvSplitPath(path, parts);
    m_strDrive = CString(parts.drive);
    m_strDir = CString(parts.dir);
    m_strBaseName = CString(parts.name);
    m_strExt = CString(parts.ext);
}

const char* KvFileSpec::GetText() const {
    m_strText = GetFullName();
    return m_strText.c_str();
}

// The file-system name: the drive means nothing here and is left out.
std::string KvFileSpec::Native() const { return KvNativePath((m_strDir + GetFileName()).c_str()); }

// ---- tests -----------------------------------------------------------------

bool KvFileSpec::IsValid() const {
    bool hasDrive = !m_strDrive.IsEmpty() && std::isalpha((unsigned char)m_strDrive[0]);
    bool absolute = m_strDrive.IsEmpty() && !m_strDir.IsEmpty() && IsSep(m_strDir[0]);
    if (!hasDrive && !absolute) return false;
    return HasOnlyAllowed(m_strDir, "<>\"|:?*") && HasOnlyAllowed(m_strBaseName, "<>\"|:/\\") &&
           HasOnlyAllowed(m_strExt, "<>\"|:/\\");
}

bool KvFileSpec::IsExist() const { return IsFileExist(Native().c_str()); }

bool KvFileSpec::IsPathExist() const {
    if (m_strDir.IsEmpty()) return false;
    return ::IsPathExist(KvNativePath(m_strDir.c_str()).c_str());
}

// ---- directories, status, attributes ---------------------------------------

bool KvFileSpec::MakeDir() const { return MakeDirs(KvNativePath(m_strDir.c_str())); }

bool KvFileSpec::SetCurDir() const {
    return !m_strDir.IsEmpty() && ::chdir(KvNativePath(m_strDir.c_str()).c_str()) == 0;
}

bool KvFileSpec::GetStatus(KvFileStatus& status) const { return FileGetStatus(Native().c_str(), status); }

bool KvFileSpec::SetStatus(const KvFileStatus& status) {
    std::string native = Native();
    time_t mtime, atime;
    if (status.m_mtime.GetTime(&mtime) && status.m_atime.GetTime(&atime)) {
        struct timespec times[2] = {{atime, 0}, {mtime, 0}};
        if (::utimensat(AT_FDCWD, native.c_str(), times, 0) != 0) return false;
    }
    return SetReadOnly((status.m_attribute & KV_ATTR_READONLY) != 0);
}

long long KvFileSpec::GetLength() const { return KvFileSize(Native().c_str()); }

bool KvFileSpec::SetLength(long long length) {
    return length >= 0 && ::truncate(Native().c_str(), (off_t)length) == 0;
}

BYTE KvFileSpec::GetAttributes() const {
    KvFileStatus status;
    return GetStatus(status) ? status.m_attribute : (BYTE)0xFF;
}

bool KvFileSpec::SetReadOnly(bool on) {
    std::string native = Native();
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    mode = on ? (mode & ~(mode_t)(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    return ::chmod(native.c_str(), mode) == 0;
}

// ---- file operations -------------------------------------------------------

bool KvFileSpec::Copy(const char* dst) const { return KvFileCopy(Native().c_str(), dst); }

bool KvFileSpec::Move(const char* dst) const { return KvFileMove(Native().c_str(), dst); }

bool KvFileSpec::Rename(const char* dst) const {
    return dst && *dst && ::rename(Native().c_str(), KvNativePath(dst).c_str()) == 0;
}

bool KvFileSpec::Delete() const { return ::unlink(Native().c_str()) == 0; }

bool KvFileSpec::CopyToPath(const char* dir) const {
    if (!dir || !*dir) return false;
    return Copy((WithSeparator(dir) + GetFileName().str()).c_str());
}

bool KvFileSpec::MoveToPath(const char* dir) const {
    if (!dir || !*dir) return false;
    return Move((WithSeparator(dir) + GetFileName().str()).c_str());
}

// ---- relations ---------------------------------------------------------------

CString KvFileSpec::GetRelativePath(const KvFileSpec& other) const {
    std::string full = KvNativePath(GetFullName().c_str());
    std::string base = KvNativePath(other.GetPath().c_str());
    if (!base.empty() && full.size() > base.size() && full.compare(0, base.size(), base) == 0)
        return CString(full.substr(base.size()));
    return GetFullName();
}

bool KvFileSpec::IsSameDrive(const KvFileSpec& other) const {
    return m_strDrive.CompareNoCase(other.m_strDrive) == 0;
}

bool KvFileSpec::IsSamePath(const KvFileSpec& other) const {
    return IsSameDrive(other) && KvNativePath(m_strDir.c_str()) == KvNativePath(other.m_strDir.c_str());
}

void KvFileSpec::MakeLower() {
    m_strDrive.MakeLower();
    m_strDir.MakeLower();
    m_strBaseName.MakeLower();
    m_strExt.MakeLower();
}

void KvFileSpec::MakeUpper() {
    m_strDrive.MakeUpper();
    m_strDir.MakeUpper();
    m_strBaseName.MakeUpper();
    m_strExt.MakeUpper();
}

// ---- new names -----------------------------------------------------------------

bool KvFileSpec::MakeUnique() {
    if (m_strBaseName.IsEmpty()) m_strBaseName = "unique";
    if (!IsExist()) return true;
    CString stem = m_strBaseName.Left(8);
    while (stem.GetLength() < 8) stem += '_';
    for (int counter = 2; counter <= 99999999; ++counter) {
        char digits[16];
        int n = std::snprintf(digits, sizeof digits, "%d", counter);
        m_strBaseName = stem.Left(8 - n) + digits;
        if (!IsExist()) return true;
    }
    return false;
}

void KvFileSpec::MakeRandom() {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", Random(1000, 9999));
    m_strBaseName = digits;
}
