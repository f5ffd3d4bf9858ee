// KvFile: a binary file that reports failures as values; KvStdioFile: a
// text file read and written line by line.
//
// Nothing here throws: a failed call returns 0 or false and keeps the
// system's error number in GetErrorCode() (0 = none). Paths may use "\";
// it is mapped to "/". One object belongs to one thread at a time.
#pragma once

#include <string>

#include "base/platform/CString.h"
#include "base/platform/Object.h"
#include "base/platform/WinTypes.h"
#include "base/str/CsString.h"

class KvFile : public CObject {
    DECLARE_DYNCREATE(KvFile)
public:
    // Open flags (the classic values).
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    KvFile() = default;
    // A failed open leaves the file closed: the caller asks IsOpen.
    KvFile(const char* path, UINT flags) { (void)Open(path, flags); }
    KvFile(const KvFile&) = delete;
    KvFile& operator=(const KvFile&) = delete;
    ~KvFile() override { Close(); }

    // modeCreate creates the file (truncating it unless modeNoTruncate);
    // the share flags have no meaning here.
    [[nodiscard]] virtual bool Open(const char* path, UINT flags);
    virtual void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // The bytes read; fewer than asked sets the end-of-file flag, a
    // failure returns 0 and sets the error code.
    virtual UINT Read(void* buffer, UINT count);
    [[nodiscard]] virtual bool Write(const void* buffer, UINT count);
    virtual bool Flush();

    // The new position, or -1.
    virtual long long Seek(long long offset, UINT from);
    long long SeekToEnd() { return Seek(0, end); }
    void SeekToBegin() { Seek(0, begin); }
    virtual long long GetPosition() const;
    long long GetLength() const;  // -1 on failure
    bool SetLength(long long length);

    int GetErrorCode() const { return m_nError; }
    void ClearError() { m_nError = 0; }
    bool IsEOF() const { return m_bEOF; }
    bool IsWritable() const { return m_bWritable; }
    const CString& GetFilePath() const { return m_strPath; }

protected:
    bool Fail(int error);

    int m_fd = -1;
    int m_nError = 0;
    bool m_bEOF = false;
    bool m_bWritable = false;
    CString m_strPath;
};

// Text lines: WriteLn ends a line with CR LF, ReadLn accepts CR LF, LF and
// a lone CR. Reads and writes are buffered; Close (or the destructor)
// writes what is pending.
class KvStdioFile : public KvFile {
    DECLARE_DYNCREATE(KvStdioFile)
public:
    KvStdioFile() = default;
    ~KvStdioFile() override { Close(); }

    [[nodiscard]] bool OpenRead(const char* path) { return Open(path, modeRead | typeText); }
    [[nodiscard]] bool OpenWrite(const char* path) { return Open(path, modeCreate | modeWrite | typeText); }
    [[nodiscard]] bool Open(const char* path, UINT flags) override;
    void Close() override;

    [[nodiscard]] bool Write(const char* text);
    bool WriteTab(const char* text);  // text, then a tab
    bool WriteLn(const char* text);   // text, then CR LF
    // The next line without its line end; false at the end of the file.
    bool ReadLn(CString& line);
    bool ReadLn(CsString& line);

    UINT Read(void* buffer, UINT count) override;
    [[nodiscard]] bool Write(const void* buffer, UINT count) override;
    bool Flush() override;
    long long Seek(long long offset, UINT from) override;
    long long GetPosition() const override;

private:
    bool FillBuffer();

    std::string m_readBuf;
    size_t m_readPos = 0;
    bool m_readEnd = false;
    std::string m_writeBuf;
};
