#include "proxy/repo/KvKeywordMgr.h"

#include <atomic>

#include "base/thread/KvCleanupMgr.h"
#include "inet/web/KvWebApp.h"

IMPLEMENT_DYNAMIC(KvKeywordMgr, KvObject)

namespace {

KvCriticalObj g_instanceLock;  // also guards g_baseDir
std::atomic<KvKeywordMgr*> g_instance{nullptr};
CString g_baseDir;

constexpr int kBusyTimeoutMs = 5000;

}  // namespace

KvKeywordMgr::~KvKeywordMgr() {
    m_repo.Close();
    m_db.Close();
}

KvKeywordMgr* KvKeywordMgr::GetInstance() {
    if (KvKeywordMgr* mgr = g_instance.load(std::memory_order_acquire)) return mgr;
    KvCriticalLock lock(g_instanceLock);
    if (!g_instance.load(std::memory_order_relaxed)) {
        g_instance.store(new KvKeywordMgr, std::memory_order_release);
        KvCleanupMgr::Register(&KvKeywordMgr::DestroyInstance);
    }
    return g_instance.load(std::memory_order_relaxed);
}

void KvKeywordMgr::DestroyInstance() {
    KvCriticalLock lock(g_instanceLock);
    delete g_instance.exchange(nullptr);
}

void KvKeywordMgr::SetBaseDirectory(const char* dir) {
    KvCriticalLock lock(g_instanceLock);
    g_baseDir = dir ? dir : "";
}

CString KvKeywordMgr::GetStoreFile() {
    CString base;
    {
        KvCriticalLock lock(g_instanceLock);
        base = g_baseDir;
    }
    if (base.IsEmpty()) {
        KvWebApp* app = KvGetWebApp();
        base = app ? app->m_strBasePath : CString(".");
    }
    return base + "/keywords.db";
}

bool KvKeywordMgr::EnsureOpen() {
    if (m_repo.IsOpen()) return true;
    m_repo.SetDatabase(&m_db);
    m_repo.SetVerbose(FALSE);
    m_repo.SetBusyTimeout(kBusyTimeoutMs);
    return m_repo.Open(GetStoreFile()) != 0;
}

int KvKeywordMgr::IncHits(const char* keyword) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.IncHits(keyword) : 0;
}

int KvKeywordMgr::GetKeywordHits(const char* keyword) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.GetKeywordHits(keyword) : 0;
}

int KvKeywordMgr::SetRelatedKeyword(const char* keyword, const char* related) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.SetRelatedKeyword(keyword, related) : 0;
}

int KvKeywordMgr::SetKeywordDefaultLinks(const char* keyword, const char* links) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.SetKeywordDefaultLinks(keyword, links) : 0;
}

int KvKeywordMgr::SetKeywordCache(const char* keyword, const char* service, const char* text) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.SetKeywordCache(keyword, service, text) : 0;
}

int KvKeywordMgr::GetKeywordCache(const char* keyword, const char* service, CString& text, KvTime& updated) {
    KvCriticalLock lock(m_cs);
    text.Empty();
    return EnsureOpen() ? m_repo.GetKeywordCache(keyword, service, text, updated) : 0;
}

int KvKeywordMgr::DeleteKeywordCache(const char* keyword, const char* service) {
    KvCriticalLock lock(m_cs);
    return EnsureOpen() ? m_repo.DeleteKeywordCache(keyword, service) : 0;
}

CString KvKeywordMgr::RenderTop100Keywords(const char* linkPrefix) {
    KvCriticalLock lock(m_cs);
    EnsureOpen();
    return m_repo.RenderTop100Keywords(linkPrefix);
}

CString KvKeywordMgr::RenderLastAccessedKeywords(const char* linkPrefix) {
    KvCriticalLock lock(m_cs);
    EnsureOpen();
    return m_repo.RenderLastAccessedKeywords(linkPrefix);
}

CString KvKeywordMgr::RenderRelatedKeywords(const char* keyword) {
    KvCriticalLock lock(m_cs);
    return m_repo.RenderRelatedKeywords(keyword);
}
