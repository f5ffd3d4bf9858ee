// CArchive: a little-endian binary archive over a byte vector.
//
// Storing appends to the archive's own bytes; loading reads them back in
// order. Strings are a 32-bit length followed by the bytes. Objects are
// written as their class name followed by their Serialize output, so
// ReadObject can recreate them by class. A read past the end sets the
// failed flag and yields zero values, never reads outside the buffer.
#pragma once

#include <string>
#include <vector>

#include "base/platform/CString.h"
#include "base/platform/Object.h"

class CArchive {
public:
    enum Mode { store = 0, load = 1 };

    explicit CArchive(Mode mode) : m_mode(mode) {}
    CArchive(Mode mode, std::vector<unsigned char> bytes) : m_mode(mode), m_bytes(std::move(bytes)) {}

    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }
    bool IsFailed() const { return m_failed; }
    const std::vector<unsigned char>& GetBytes() const { return m_bytes; }
    size_t GetPosition() const { return m_pos; }

    void Write(const void* data, size_t n);
    size_t Read(void* data, size_t n);

    CArchive& operator<<(int8_t v) { return PutInt((uint64_t)(uint8_t)v, 1); }
    CArchive& operator<<(uint8_t v) { return PutInt(v, 1); }
    CArchive& operator<<(char v) { return PutInt((uint64_t)(uint8_t)v, 1); }
    CArchive& operator<<(int16_t v) { return PutInt((uint64_t)(uint16_t)v, 2); }
    CArchive& operator<<(uint16_t v) { return PutInt(v, 2); }
    CArchive& operator<<(int32_t v) { return PutInt((uint64_t)(uint32_t)v, 4); }
    CArchive& operator<<(uint32_t v) { return PutInt(v, 4); }
    CArchive& operator<<(long v) { return PutInt((uint64_t)v, 8); }
    CArchive& operator<<(unsigned long v) { return PutInt(v, 8); }
    CArchive& operator<<(long long v) { return PutInt((uint64_t)v, 8); }
    CArchive& operator<<(unsigned long long v) { return PutInt(v, 8); }
    CArchive& operator<<(double v);
    CArchive& operator<<(const CString& s);
    CArchive& operator<<(const char* s);

    CArchive& operator>>(int8_t& v) { v = (int8_t)GetInt(1); return *this; }
    CArchive& operator>>(uint8_t& v) { v = (uint8_t)GetInt(1); return *this; }
    CArchive& operator>>(char& v) { v = (char)GetInt(1); return *this; }
    CArchive& operator>>(int16_t& v) { v = (int16_t)GetInt(2); return *this; }
    CArchive& operator>>(uint16_t& v) { v = (uint16_t)GetInt(2); return *this; }
    CArchive& operator>>(int32_t& v) { v = (int32_t)GetInt(4); return *this; }
    CArchive& operator>>(uint32_t& v) { v = (uint32_t)GetInt(4); return *this; }
    CArchive& operator>>(long& v) { v = (long)GetInt(8); return *this; }
    CArchive& operator>>(unsigned long& v) { v = (unsigned long)GetInt(8); return *this; }
    CArchive& operator>>(long long& v) { v = (long long)GetInt(8); return *this; }
    CArchive& operator>>(unsigned long long& v) { v = GetInt(8); return *this; }
    CArchive& operator>>(double& v);
    CArchive& operator>>(CString& s);

    // Objects by class: null is written as an empty class name.
    void WriteObject(const CObject* obj);
    CObject* ReadObject(const KvRuntimeClass* expected = nullptr);

private:
    CArchive& PutInt(uint64_t v, int bytes);
    uint64_t GetInt(int bytes);

    Mode m_mode;
    std::vector<unsigned char> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};
