// The open/create protocol of the repositories.
#include "proxy/repo/KvRepoBase.h"

#include <unistd.h>

#include <string>

#include "base/file/KvFileFunc.h"
#include "base/platform/FileIo.h"
#include "base/thread/KvSystemLock.h"
#include "ext/KvSqLite/KvSqlDBEx.h"
#include "inet/log/KvLogError.h"

IMPLEMENT_DYNCREATE(KvRepoBase, CObject)

namespace {

constexpr UINT kOpenLock = 7;

class OpenLock {
public:
    OpenLock() { SystemLock(kOpenLock); }
    ~OpenLock() { SystemUnlock(kOpenLock); }
    OpenLock(const OpenLock&) = delete;
    OpenLock& operator=(const OpenLock&) = delete;
};

// The database file and the engine's companion files beside it.
void RemoveDatabaseFiles(const char* file) {
    std::string path = KvNativePath(file);
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
}

}  // namespace

void KvRepoBase::SetReadOnly(BOOL flag) {
    m_bReadOnly = flag ? 1 : 0;
    if (m_pDB) m_pDB->SetReadOnly(m_bReadOnly);
}

void KvRepoBase::SetVerbose(BOOL flag) {
    m_bVerbose = flag ? 1 : 0;
    if (m_pDB) m_pDB->SetVerbose(m_bVerbose);
}

void KvRepoBase::SetBusyTimeout(int ms) {
    m_nBusyTimeout = ms;
    if (m_pDB) m_pDB->SetBusyTimeout(ms);
}

void KvRepoBase::PassSettings() {
    m_pDB->SetReadOnly(m_bReadOnly);
    m_pDB->SetVerbose(m_bVerbose);
    m_pDB->SetBusyTimeout(m_nBusyTimeout);
}

bool KvRepoBase::OpenDatabase(const char* file, bool& reused) {
    PassSettings();
    // The owner may have opened its site database on this file already:
    // keep that connection (and leave it open should this open fail).
    reused = m_pDB->IsOpen() && KvNativePath(m_pDB->GetPath()) == KvNativePath(file);
    return reused || m_pDB->Open(file) != 0;
}

void KvRepoBase::GiveUp(const char* file, bool existed, bool reused) {
    if (!reused) m_pDB->Close();
    if (!existed) RemoveDatabaseFiles(file);
}

int KvRepoBase::InitInTransaction(const char* file) {
    bool done = false;
    {
        KvSqlTransaction tx(*m_pDB);
        done = tx.IsActive() && _DoInitNewRepository() && tx.Commit();
    }
    if (!done) {
        LogError(KV_LOG_ERROR, "Repository %s: creating its tables failed (%s)", file,
                 m_pDB->GetLastErrorMsg().c_str());
    }
    return done ? 1 : 0;
}

int KvRepoBase::Open(const char* file) {
    OpenLock lock;
    if (m_bOpen) Close();
    if (!m_pDB || !file || !*file) return 0;
    bool exists = IsFileExist(file);
    if (m_bReadOnly && !exists) return 0;
    bool reused = false;
    if (!OpenDatabase(file, reused)) {
        if (exists) {
            LogError(KV_LOG_ERROR, "Repository %s cannot be opened: %s", file, m_pDB->GetLastErrorMsg().c_str());
        }
        GiveUp(file, exists, reused);
        return 0;
    }
    if (!exists || !_IsRepositoryPresent()) {
        if (m_bReadOnly || !InitInTransaction(file)) {
            GiveUp(file, exists, reused);
            return 0;
        }
    } else if (!_DoCheckRepository()) {
        LogError(KV_LOG_ERROR, "Repository %s cannot be opened: the file is not a valid repository", file);
        GiveUp(file, true, reused);
        return 0;
    }
    m_bOpen = 1;
    PassSettings();
    return 1;
}

int KvRepoBase::Create(const char* file) {
    if (m_bOpen) Close();
    if (m_bReadOnly || !m_pDB || !file || !*file) return 0;
    bool exists = IsFileExist(file);
    bool reused = false;
    if (!OpenDatabase(file, reused) || !InitInTransaction(file)) {
        GiveUp(file, exists, reused);
        return 0;
    }
    m_bOpen = 1;
    PassSettings();
    return 1;
}

int KvRepoBase::Close() {
    if (m_bOpen && m_pDB) m_pDB->Close();
    m_bOpen = 0;
    return 1;
}

int KvRepoBase::_ExecuteAll(const char* const* statements, int count) {
    for (int i = 0; i < count; i++) {
        if (m_pDB->Execute(statements[i]) < 0) return 0;
    }
    return 1;
}
