#include "inet/web/KvMime.h"

#include <cstring>
#include <string>

#include "base/app/KvData.h"
#include "base/platform/FileIo.h"
#include "base/thread/KvCleanupMgr.h"

IMPLEMENT_DYNCREATE(KvMime, KvMapStringToString)

KvCriticalObj KvMime::_csMime;
KvMime* KvMime::_glbMime = nullptr;
std::atomic<int> KvMime::_nInstantCount{0};

namespace {

// A types file is a few dozen kilobytes; anything this large is not one.
constexpr long long kMaxMimeFileSize = 16 << 20;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

KvMime::KvMime() {
    InitHashTable(1021, false);
    ++_nInstantCount;
}

KvMime::~KvMime() { --_nInstantCount; }

KvMime* KvMime::GetInstance() {
    KvCriticalLock lock(_csMime);
    if (!_glbMime) {
        KvCleanupMgr::Register(&KvMime::DestroyInstance);
        _glbMime = new KvMime;
    }
    return _glbMime;
}

void KvMime::DestroyInstance() {
    KvCriticalLock lock(_csMime);
    delete _glbMime;
    _glbMime = nullptr;
}

void KvMime::SetMimeFile(const char* path) {
    KvCriticalLock lock(_csMime);
    m_strPath = path ? path : "";
    m_bLoaded = 0;
}

CString KvMime::GetMimeFile() const {
    KvCriticalLock lock(_csMime);
    return m_strPath;
}

CString KvMime::GetMimeByExt(const char* ext, const char* defaultType) {
    KvCriticalLock lock(_csMime);
    return DoGetMimeByExt(ext, defaultType);
}

CString KvMime::GetMimeByPath(const char* path, const char* defaultType) {
    const char* dot = path ? std::strrchr(path, '.') : nullptr;
    if (!dot || dot == path) return CString(defaultType ? defaultType : "");
    return GetMimeByExt(dot + 1, defaultType);
}

CString KvMime::DoGetMimeByExt(const char* ext, const char* defaultType) {
    CString key(ext ? ext : "");
    key.MakeLower();
    if (!m_bLoaded) LoadMime();
    const CString* type = PLookup(key);
    if (!type || type->IsEmpty()) return CString(defaultType ? defaultType : "");
    return *type;
}

int KvMime::LoadMime() {
    m_bLoaded = DoLoadMime();
    return m_bLoaded;
}

int KvMime::DoLoadMime() {
    RemoveAll();
    if (m_strPath.IsEmpty()) m_strPath = kvData.m_strModulePath + "mime.types";
    long long size = KvFileSize(m_strPath);
    if (size < 0 || size > kMaxMimeFileSize) return 0;
    std::string text;
    if (!KvReadWholeFile(m_strPath, text)) return 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        size_t len = end - pos;
        if (len && text[pos + len - 1] == '\r') --len;
        AddLine(text.data() + pos, len);
        pos = end + 1;
    }
    return 1;
}

void KvMime::AddLine(const char* line, size_t length) {
    size_t i = 0;
    while (i < length && IsBlank(line[i])) ++i;
    if (i == length || line[i] == '#') return;
    size_t typeStart = i;
    while (i < length && !IsBlank(line[i])) ++i;
    CString type(std::string_view(line + typeStart, i - typeStart));
    while (i < length) {
        while (i < length && IsBlank(line[i])) ++i;
        size_t start = i;
        while (i < length && !IsBlank(line[i])) ++i;
        if (i == start) break;
        CString ext(std::string_view(line + start, i - start));
        ext.MakeLower();
        SetAt(ext, type);
    }
}

int IsMimeText(const char* type) {
    return type && std::strncmp(type, "text/", 5) == 0;
}

int IsMimeImages(const char* type) {
    return type && std::strncmp(type, "image/", 6) == 0;
}
