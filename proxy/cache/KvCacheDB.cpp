// KvCacheDB: files, settings, the reader pool and error reporting.
#include "proxy/cache/KvCacheDB.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/file/KvFileFunc.h"
#include "proxy/cache/KvCacheAnswer.h"
#include "proxy/cache/KvCacheFiles.h"
#include "proxy/cache/KvCacheMemory.h"
#include "proxy/cache/KvCacheReader.h"

IMPLEMENT_DYNCREATE(KvCacheDomainItem, KvObject)
IMPLEMENT_DYNCREATE(KvCacheObjectItem, KvObject)
IMPLEMENT_DYNAMIC(KvCacheDB, KvObject)

namespace {

// Readers in flight at most; more threads wait for one to come back (each
// read holds its reader only for its database calls).
constexpr size_t kMaxReaders = 8;

const char kCreateHost[] =
    "CREATE TABLE cache_host(host_id integer not null default 0, host_name text not null collate nocase, "
    "host_alias integer not null default 0, primary key (host_id), unique (host_name) );";
// Paths compare exactly (letter case counts); obj_stored is when the copy
// was stored, obj_crc the checksum of the stored form.
const char kCreateObject[] =
    "CREATE TABLE cache_object(host_id integer not null default 0, obj_id integer not_null default 0, obj_path "
    "varchar(255) not null, obj_status integer default 0, obj_flags integer default 0, "
    "obj_modified datetime not null default '1980-00-01 00:00:00', obj_expired datetime not null default "
    "'1980-00-01 00:00:00', obj_stored datetime, primary key (host_id, obj_id), unique(obj_id), "
    "unique (host_id, obj_path) );";
const char kCreateContent[] =
    "CREATE TABLE cache_content(obj_id integer not null default 0, obj_data blob, obj_crc integer, "
    "primary key (obj_id) );";

// The columns an index or content table of an earlier version lacks.
bool HasColumn(KvSqlDB& db, const char* table, const char* column) {
    KvSqlBuffer sql;
    KvSqlQuery q = db.ExecQuery(sql.Format("select sql from sqlite_master where type='table' and name='%q'", table));
    return q.IsValid() && !q.IsEOF() && std::strstr(q.GetTextField(0, ""), column) != nullptr;
}

}  // namespace

bool KvCacheDB::UpgradeTables() {
    // Stores of earlier versions: their object table compared paths without
    // letter case (so "/A" and "/a" evicted each other) and had no storing
    // time, their content no checksum. The object table is made again with
    // its rows (one transaction: a crash leaves the old table); old objects
    // keep their keys and are served until they expire or are stored again,
    // without a checksum, and never answer a revalidation with 304.
    if (!HasColumn(m_dbContent, "cache_content", "obj_crc") &&
        m_dbContent.Execute("alter table cache_content add column obj_crc integer;") < 0) {
        ReportError("upgrading the content table", m_dbContent);
        return false;
    }
    if (HasColumn(m_dbIndex, "cache_object", "obj_stored")) return true;
    KvSqlTransaction tx(m_dbIndex);
    std::string create = kCreateObject;
    create.replace(create.find("cache_object("), 13, "cache_object_new(");
    const bool ok = tx.IsActive() && m_dbIndex.Execute(create.c_str()) >= 0 &&
                    m_dbIndex.Execute("insert into cache_object_new (host_id, obj_id, obj_path, obj_status, obj_flags, "
                                      "obj_modified, obj_expired) select host_id, obj_id, obj_path, obj_status, "
                                      "obj_flags, obj_modified, obj_expired from cache_object;") >= 0 &&
                    m_dbIndex.Execute("drop table cache_object;") >= 0 &&
                    m_dbIndex.Execute("alter table cache_object_new rename to cache_object;") >= 0 && tx.Commit();
    if (!ok) ReportError("upgrading the index", m_dbIndex);
    return ok;
}


KvCacheDB::KvCacheDB() = default;

KvCacheDB::~KvCacheDB() { Close(); }

void KvCacheDB::SetReadOnly(BOOL flag) {
    KvCriticalLock lock(m_lock);
    m_bReadOnly.store(flag != 0);
    m_dbIndex.SetReadOnly(flag);
    m_dbContent.SetReadOnly(flag);
}

void KvCacheDB::SetVerbose(BOOL flag) {
    KvCriticalLock lock(m_lock);
    m_bVerbose.store(flag != 0);
    m_dbIndex.SetVerbose(flag);
    m_dbContent.SetVerbose(flag);
}

void KvCacheDB::SetBusyTimeout(int ms) {
    KvCriticalLock lock(m_lock);
    m_nBusyTimeout.store(ms);
    m_dbIndex.SetBusyTimeout(ms);
    m_dbContent.SetBusyTimeout(ms);
}

int KvCacheDB::Open(const char* directory, const char* name) {
    std::unique_lock<std::shared_mutex> exclusive(m_openLock);
    KvCriticalLock lock(m_lock);
    if (m_bOpen.load() && !m_bReadOnly.load()) NoteAllChanged();  // its answers are no longer served
    DropReaders();
    m_bOpen.store(false, std::memory_order_release);
    m_dbIndex.Close();
    m_dbContent.Close();
    m_strDirectory = KvCacheDirWithSlash(directory);
    m_strName = name ? name : "";
    if (m_strName.IsEmpty()) return 0;
    // Store files made elsewhere may spell the name or the extension in
    // another letter case; they are still this store's files.
    m_strIndexPath = KvCacheFindFile(m_strDirectory, m_strName + ".cdx");
    m_strContentPath = KvCacheFindFile(m_strDirectory, m_strName + ".cdt");
    const bool indexExisted = IsFileExist(GetIndexPath());
    if (m_bReadOnly.load() && !indexExisted) return 0;
    return OpenFiles(indexExisted);
}

int KvCacheDB::OpenFiles(bool indexExisted) {
    if (!m_dbIndex.Open(GetIndexPath())) {
        ReportError("opening the index", m_dbIndex);
        return 0;
    }
    if (!m_dbContent.Open(GetContentPath())) {
        ReportError("opening the content", m_dbContent);
        m_dbIndex.Close();
        return 0;
    }
    // A file that exists but never got its tables (a crash while it was
    // made, or an empty file) counts as new.
    const bool ready = indexExisted && m_dbIndex.IsTableExist("cache_object");
    bool ok = true;
    if (m_bReadOnly.load()) {
        ok = ready && m_dbContent.IsTableExist("cache_content");
    } else if (!ready) {
        ok = PrepareNewIndex();
    } else if (!m_dbContent.IsTableExist("cache_content")) {
        ok = m_dbContent.Execute(kCreateContent) >= 0;  // the content file was lost: start it again
        if (!ok) ReportError("making the content table", m_dbContent);
    }
    if (ok && !m_bReadOnly.load()) ok = UpgradeTables();
    // A read-only store of an earlier version is read as it is.
    m_bChecked.store(ok && HasColumn(m_dbIndex, "cache_object", "obj_stored") &&
                     HasColumn(m_dbContent, "cache_content", "obj_crc"));
    if (!ok) {
        m_dbIndex.Close();
        m_dbContent.Close();
        return 0;
    }
    m_bOpen.store(true, std::memory_order_release);
    // Its answers may come before those of a store read so far. A
    // read-only store is one the proxy never serves from (the cache pages,
    // tools): opening it leaves the memory front as it is.
    if (!m_bReadOnly.load()) NoteAllChanged();
    return 1;
}

bool KvCacheDB::PrepareNewIndex() {
    // Ids restart with a new index: content left from an earlier index must
    // go first, or new objects would find old answers under their ids.
    const char* content = m_dbContent.IsTableExist("cache_content") ? "delete from cache_content;" : kCreateContent;
    if (m_dbContent.Execute(content) < 0) {
        ReportError("preparing the content", m_dbContent);
        return false;
    }
    KvSqlTransaction tx(m_dbIndex);
    if (!tx.IsActive() || !InitNewDatabase() || !tx.Commit()) {
        ReportError("making the index", m_dbIndex);
        return false;
    }
    return true;
}

int KvCacheDB::InitNewDatabase() {
    if (!m_dbIndex.InitNewDatabase()) return 0;
    if (m_dbIndex.Execute(kCreateHost) < 0 || m_dbIndex.Execute(kCreateObject) < 0) return 0;
    return m_dbIndex.InitId("cache_host", 0) && m_dbIndex.InitId("cache_object", 0);
}

void KvCacheDB::Close() {
    std::unique_lock<std::shared_mutex> exclusive(m_openLock);
    KvCriticalLock lock(m_lock);
    if (m_bOpen.load() && !m_bReadOnly.load()) NoteAllChanged();  // its answers are no longer served
    DropReaders();
    m_bOpen.store(false, std::memory_order_release);
    m_dbIndex.Close();
    m_dbContent.Close();
}

void KvCacheDB::NoteChanged(const char* host, const char* path) {
    KvCacheMemory::Shared().Forget(KvCacheMemory::Key(host, path));
}

void KvCacheDB::NoteAllChanged() { KvCacheMemory::Shared().ForgetAll(); }

void KvCacheDB::ReportError(const char* what, const KvSqlDB& db) {
    if (m_bErrorReported.exchange(true)) return;
    KvCacheLog("Cache store %s%s: %s failed: %s (error %d); its failures are misses, further ones not logged",
               m_strDirectory.c_str(), m_strName.c_str(), what, db.GetLastErrorMsg().c_str(), db.GetLastError());
}

// --- reader pool ------------------------------------------------------------

KvCacheReader* KvCacheDB::AcquireReader() {
    std::unique_lock<std::mutex> lock(m_poolLock);
    while (m_freeReaders.empty() && m_readers.size() >= kMaxReaders) m_poolFree.wait(lock);
    if (!m_freeReaders.empty()) {
        KvCacheReader* reader = m_freeReaders.back();
        m_freeReaders.pop_back();
        return reader;
    }
    m_readers.push_back(std::make_unique<KvCacheReader>());
    KvCacheReader* reader = m_readers.back().get();
    lock.unlock();
    if (reader->Open(GetIndexPath(), GetContentPath(), m_nBusyTimeout.load(), m_bVerbose.load(), m_bChecked.load())) return reader;
    ReportError("opening for reading", reader->GetFailedDb());
    lock.lock();
    auto it = std::find_if(m_readers.begin(), m_readers.end(), [&](auto& r) { return r.get() == reader; });
    if (it != m_readers.end()) m_readers.erase(it);
    m_poolFree.notify_one();
    return nullptr;
}

void KvCacheDB::ReleaseReader(KvCacheReader* reader) {
    if (!reader) return;
    {
        std::lock_guard<std::mutex> lock(m_poolLock);
        m_freeReaders.push_back(reader);
    }
    m_poolFree.notify_one();
}

void KvCacheDB::DropReaders() {
    // Only with m_openLock held exclusively: no reader is borrowed.
    std::lock_guard<std::mutex> lock(m_poolLock);
    m_freeReaders.clear();
    m_readers.clear();
}
