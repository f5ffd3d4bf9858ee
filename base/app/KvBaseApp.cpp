#include "base/app/KvBaseApp.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <string>

#include "base/app/KvData.h"
#include "base/platform/FileIo.h"
#include "base/platform/MessageLoop.h"
#include "base/thread/KvCleanupMgr.h"

IMPLEMENT_DYNAMIC(KvBaseApp, CObject)

namespace {

std::atomic<KvBaseApp*> g_app{nullptr};

}  // namespace

KvBaseApp* KvGetApp() {
    return g_app.load();
}

KvBaseApp::KvBaseApp() {
    g_app.store(this);
}

KvBaseApp::~KvBaseApp() {
    KvBaseApp* self = this;
    g_app.compare_exchange_strong(self, nullptr);
}

int KvBaseApp::InitInstance() {
    // rand() serves layout and sampling choices (Random and friends);
    // session ids, tokens and passwords never come from it.
    std::srand((unsigned)std::time(nullptr));
    kvData.Refresh();
    SetLogPath(kvData.m_strModulePath);  // also records today's date
    return 1;
}

int KvBaseApp::Run() {
    KvWaitForQuit(INFINITE);
    return KvGetQuitCode();
}

int KvBaseApp::ExitInstance() {
    KvCleanupMgr::DestroyInstance();
    return KvGetQuitCode();
}

void KvBaseApp::GetToday(int& year, int& month, int& day) const {
    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
}

void KvBaseApp::SetLogPath(const char* dir) {
    std::lock_guard<std::mutex> guard(m_csLog);
    m_strLogPath = dir ? dir : "";
    if (!m_strLogPath.IsEmpty()) {
        char last = m_strLogPath[m_strLogPath.GetLength() - 1];
        if (last != '/' && last != '\\') m_strLogPath += '/';
    }
    CheckLogFileNameLocked(TRUE);
}

CString KvBaseApp::GetLogPath() const {
    std::lock_guard<std::mutex> guard(m_csLog);
    return m_strLogPath;
}

CString KvBaseApp::GetLogFileName() const {
    std::lock_guard<std::mutex> guard(m_csLog);
    return m_strLogFile;
}

void KvBaseApp::CheckLogFileName(BOOL force) {
    std::lock_guard<std::mutex> guard(m_csLog);
    CheckLogFileNameLocked(force);
}

void KvBaseApp::CheckLogFileNameLocked(BOOL force) {
    int year, month, day;
    GetToday(year, month, day);
    int today = year * 10000 + month * 100 + day;
    if (!m_strLogFile.IsEmpty() && !force && today == m_nLogDate) return;
    m_nLogDate = today;
    m_strLogFile.Format("%s%04d-%02d-%02d.log", m_strLogPath.c_str(), year, month, day);
}

void KvBaseApp::LogMessage(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    LogMessageV(fmt, args);
    va_end(args);
}

void KvBaseApp::LogMessageV(const char* fmt, va_list args) {
    if (!fmt) return;
    CString file;
    {
        std::lock_guard<std::mutex> guard(m_csLog);
        if (m_strLogPath.IsEmpty()) return;
        CheckLogFileNameLocked(FALSE);
        file = m_strLogFile;
    }
    CString text;
    text.FormatV(fmt, args);
    KvDoLogMessage(file, text);
}

void KvLogMessage(const char* file, const char* fmt, ...) {
    if (!file || !fmt) return;
    CString text;
    va_list args;
    va_start(args, fmt);
    text.FormatV(fmt, args);
    va_end(args);
    KvDoLogMessage(file, text);
}

void KvDoLogMessage(const char* file, const char* text) {
    if (!file || !*file) return;
    std::string line(text ? text : "");
    line += "\r\n";
    // One O_APPEND write per line: lines from several threads or
    // processes land whole, one after the other.
    KvAppendToFile(file, line.data(), line.size());
}
