// KvSqlBinary: bytes in the form they are stored in a blob column.
//
// The stored form holds no zero byte, so it reads back equally well as a
// blob (GetBlobField) or as text (GetStringField), and can be passed as a
// zero-terminated string. Encoding: byte 0x01 escapes, 0x00 is written
// 01 01 and 0x01 is written 01 02; every other byte stays as it is, so text
// (HTTP answers, pages) is stored readable and barely grows.
//
//     KvSqlBinary bin;
//     bin.SetBinary(data, size);
//     st.Bind(2, bin.GetEncoded(), bin.GetEncodedLength());
//     ...
//     int length;
//     const unsigned char* stored = q.GetBlobField(0, length);
//     if (bin.SetEncoded(stored, length)) use(bin.GetBinary(), bin.GetBinaryLength());
//
// Pointers returned stay valid until the next Set call, Clear or
// destruction. A KvSqlBinary belongs to one thread.
#pragma once

#include <vector>

#include "base/platform/WinTypes.h"

class KvSqlBinary {
public:
    // FALSE (and an empty value) when length is negative, or bytes is null
    // with a positive length.
    BOOL SetBinary(const unsigned char* bytes, int length);
    BOOL SetBinary(const char* bytes, int length) {
        return SetBinary(reinterpret_cast<const unsigned char*>(bytes), length);
    }
    // The stored form, zero-terminated (the terminator is not counted).
    const unsigned char* GetEncoded();
    int GetEncodedLength();

    // Takes a stored value; a length of -1 reads up to the first zero byte.
    // FALSE, with an empty value, when the text is not a valid stored form
    // (a zero byte inside, or a broken escape).
    BOOL SetEncoded(const unsigned char* stored, int length = -1);
    BOOL SetEncoded(const char* stored, int length = -1) {
        return SetEncoded(reinterpret_cast<const unsigned char*>(stored), length);
    }
    // The original bytes (zero-terminated for convenience, not counted).
    const unsigned char* GetBinary();
    int GetBinaryLength();

    void Clear();

private:
    void Encode();
    void Decode();

    std::vector<unsigned char> m_bin;  // plus a terminating zero when valid
    std::vector<unsigned char> m_enc;  // plus a terminating zero when valid
    bool m_bHaveBin = true;
    bool m_bHaveEnc = true;
};
