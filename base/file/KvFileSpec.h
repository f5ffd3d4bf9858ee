// KvFileSpec: a file name taken apart (drive, directory, base name,
// extension); KvFileSpecList: an owning list of them with directory search.
//
// The directory keeps its leading and trailing separator ("/dir/sub/").
// Separators are kept as given ("/" or "\"); names this class builds use
// "/". There are no drives on this system: a specification is valid with
// a drive letter or with an absolute directory, and the drive texts are
// kept so that names from elsewhere still split and join as expected.
// Operations on the file system return false on any failure. Not shared
// between threads.
#pragma once

#include "base/file/KvFileFunc.h"
#include "base/platform/Collections.h"
#include "base/platform/CString.h"
#include "base/platform/WinTypes.h"

class KvFileSpec {
public:
    KvFileSpec() = default;
    KvFileSpec(const char* path) { SetFullName(path); }
    KvFileSpec(const KvFileSpec& other) = default;
    KvFileSpec& operator=(const KvFileSpec& other) = default;
    KvFileSpec& operator=(const char* path) {
        SetFullName(path);
        return *this;
    }
    virtual ~KvFileSpec() = default;

    // Parts. The setters of drive, base name and extension store the value
    // and return IsValid().
    const CString& GetDrive() const { return m_strDrive; }
    bool SetDrive(const char* drive);
    const CString& GetDir() const { return m_strDir; }
    // Drive and directory.
    CString GetPath() const { return m_strDrive + m_strDir; }
    // Splits at a ":" into drive and directory; a directory without a
    // leading separator gets one, and a trailing one is added.
    void SetPath(const char* path);
    const CString& GetBaseName() const { return m_strBaseName; }
    bool SetBaseName(const char* name);
    const CString& GetExtension() const { return m_strExt; }
    bool SetExtension(const char* ext);
    // Base name and extension.
    CString GetFileName() const;
    // Splits at the first ".".
    void SetFileName(const char* name);
    CString GetFullName() const;
    void SetFullName(const char* path);
    // The full name as text, rebuilt on every call (valid until the next
    // call or change).
    const char* GetText() const;
    operator const char*() const { return GetText(); }

    // Tests.
    bool IsExist() const;
    bool IsPathExist() const;
    bool IsPathEmpty() const { return m_strDrive.IsEmpty() && m_strDir.IsEmpty(); }
    bool IsValid() const;

    // Directory operations: create the directory (with its parents), make
    // it the current one.
    bool MakeDir() const;
    bool SetCurDir() const;

    // Status, length and attributes of the file.
    bool GetStatus(KvFileStatus& status) const;
    // Sets the modification and access times and the read-only attribute.
    bool SetStatus(const KvFileStatus& status);
    long long GetLength() const;  // -1 when the file cannot be examined
    bool SetLength(long long length);
    BYTE GetAttributes() const;  // 0xFF when the file cannot be examined
    bool IsNormal() const { return GetAttributes() == KV_ATTR_NORMAL; }
    bool IsReadOnly() const { return HasAttribute(KV_ATTR_READONLY); }
    bool IsHidden() const { return HasAttribute(KV_ATTR_HIDDEN); }
    bool IsSystem() const { return HasAttribute(KV_ATTR_SYSTEM); }
    bool IsVolume() const { return HasAttribute(KV_ATTR_VOLUME); }
    bool IsDirectory() const { return HasAttribute(KV_ATTR_DIRECTORY); }
    bool IsArchive() const { return HasAttribute(KV_ATTR_ARCHIVE); }
    // Only read-only maps onto this file system; the others report false
    // when asked to set and true when asked to clear.
    bool SetNormal() { return SetReadOnly(false); }
    bool SetReadOnly(bool on = true);
    bool SetHidden(bool on = true) { return !on; }
    bool SetSystem(bool on = true) { return !on; }
    bool SetArchive(bool on = true) { return !on; }

    // File operations. The object keeps naming the old file.
    bool Copy(const char* dst) const;  // replaces dst
    bool Move(const char* dst) const;
    bool Rename(const char* dst) const;
    bool Delete() const;
    bool CopyToPath(const char* dir) const;
    bool MoveToPath(const char* dir) const;

    // This full name relative to other's path when it lies below it,
    // else the full name.
    CString GetRelativePath(const KvFileSpec& other) const;
    bool IsSameDrive(const KvFileSpec& other) const;
    bool IsSamePath(const KvFileSpec& other) const;

    void MakeLower();
    void MakeUpper();

    // Comparison of full names.
    int Compare(const KvFileSpec& other) const { return GetFullName().Compare(other.GetFullName()); }
    bool operator==(const KvFileSpec& o) const { return Compare(o) == 0; }
    bool operator!=(const KvFileSpec& o) const { return Compare(o) != 0; }
    bool operator<(const KvFileSpec& o) const { return Compare(o) < 0; }
    bool operator>(const KvFileSpec& o) const { return Compare(o) > 0; }
    bool operator<=(const KvFileSpec& o) const { return Compare(o) <= 0; }
    bool operator>=(const KvFileSpec& o) const { return Compare(o) >= 0; }

    // A name that does not exist yet: "report" gives "report_2",
    // "report_3", ... "report10". False when every counter is taken.
    bool MakeUnique();
    // A base name of four random digits.
    void MakeRandom();

private:
    bool HasAttribute(BYTE bit) const {
        BYTE a = GetAttributes();
        return a != 0xFF && (a & bit) != 0;
    }
    std::string Native() const;

    CString m_strDrive;
    CString m_strDir;
    CString m_strBaseName;
    CString m_strExt;
    mutable CString m_strText;
};

// A list of file specifications that owns them.
class KvFileSpecList {
public:
    KvFileSpecList() = default;
    KvFileSpecList(const KvFileSpecList& other) { Copy(other); }
    KvFileSpecList& operator=(const KvFileSpecList& other) {
        if (this != &other) Copy(other);
        return *this;
    }
    virtual ~KvFileSpecList() { RemoveAll(); }

    int GetCount() const { return m_list.GetCount(); }
    bool IsEmpty() const { return m_list.IsEmpty(); }
    POSITION GetHeadPosition() const { return m_list.GetHeadPosition(); }
    POSITION GetTailPosition() const { return m_list.GetTailPosition(); }
    KvFileSpec* GetNext(POSITION& pos) const { return static_cast<KvFileSpec*>(m_list.GetNext(pos)); }
    KvFileSpec* GetPrev(POSITION& pos) const { return static_cast<KvFileSpec*>(m_list.GetPrev(pos)); }
    KvFileSpec* GetAt(POSITION pos) const { return static_cast<KvFileSpec*>(m_list.GetAt(pos)); }
    KvFileSpec* GetHead() const { return static_cast<KvFileSpec*>(m_list.GetHead()); }
    KvFileSpec* GetTail() const { return static_cast<KvFileSpec*>(m_list.GetTail()); }

    // Each adds a new specification (made from the name or copied).
    POSITION AddHead(const char* name) { return m_list.AddHead(new KvFileSpec(name)); }
    POSITION AddHead(const KvFileSpec& fileSpec) { return m_list.AddHead(new KvFileSpec(fileSpec)); }
    POSITION AddTail(const char* name) { return m_list.AddTail(new KvFileSpec(name)); }
    POSITION AddTail(const KvFileSpec& fileSpec) { return m_list.AddTail(new KvFileSpec(fileSpec)); }
    POSITION InsertBefore(POSITION pos, const char* name) { return m_list.InsertBefore(pos, new KvFileSpec(name)); }
    POSITION InsertBefore(POSITION pos, const KvFileSpec& s) { return m_list.InsertBefore(pos, new KvFileSpec(s)); }
    POSITION InsertAfter(POSITION pos, const char* name) { return m_list.InsertAfter(pos, new KvFileSpec(name)); }
    POSITION InsertAfter(POSITION pos, const KvFileSpec& s) { return m_list.InsertAfter(pos, new KvFileSpec(s)); }
    void SetAt(POSITION pos, const char* name) { *GetAt(pos) = name; }
    void SetAt(POSITION pos, const KvFileSpec& fileSpec) { *GetAt(pos) = fileSpec; }

    // Removal deletes the KvFileSpec object.
    void RemoveAt(POSITION pos);
    void RemoveHead();
    void RemoveTail();
    void RemoveAll();

    // The first specification with this full name (case-sensitive).
    POSITION Find(const char* name, POSITION after = nullptr) const;
    POSITION Find(const KvFileSpec& fileSpec, POSITION after = nullptr) const { return Find(fileSpec.GetText(), after); }

    // Replaces the contents with copies of the other list's entries.
    void Copy(const KvFileSpecList& other);

    // Adds the files (not directories, not names starting with ".") in
    // dir's path matching pattern ("*.*" when empty). False when nothing
    // matches at all.
    bool SearchFile(const KvFileSpec& dir, const char* pattern);
    // Adds the sub-directories (path + name + "/").
    bool SearchSubDir(const KvFileSpec& dir, const char* pattern);
    // SearchFile, and when recursive the same for every sub-directory,
    // depth first, into this list. A directory reached twice through
    // links is searched once.
    bool Search(const KvFileSpec& dir, const char* pattern, bool recursive);

private:
    CPtrList m_list;
};
