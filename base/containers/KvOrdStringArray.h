// KvOrdStringArray: a string array kept sorted and unique, ignoring case.
//
// Strings are ordered ascending by case-insensitive byte comparison, and a
// string equal (ignoring case) to one already present is not added. The
// operations of the plain array that could break the order are hidden.
// Not thread-safe.
#pragma once

#include "base/platform/Collections.h"

class KvOrdStringArray : public CStringArray {
public:
    KvOrdStringArray() = default;

    // The index where s was inserted, or -1 when an equal string exists.
    int Add(const char* s);
    int Add(const CString& s) { return Add(s.c_str()); }
    // Removes the string equal to s; false when there is none.
    bool Remove(const char* s);
    // The index of the string equal to s, or -1.
    int FindIndex(const char* s) const;
    // The sorted insertion index for s, or -1 when an equal string exists.
    int FindIndexForInsert(const char* s) const;
    // Adds every string of the other array (the contents are kept).
    void Copy(const CStringArray& other);

    // Replaces the contents with the file's non-empty lines (CR, LF, CR LF
    // or LF CR end a line); false when the file cannot be read.
    bool Load(const char* path);
    // Writes every string followed by CR LF, replacing the file atomically;
    // an empty array removes the file. False when it cannot be written.
    bool Save(const char* path) const;

private:
    // Order-breaking members of the plain array.
    using CStringArray::Append;
    using CStringArray::InsertAt;
    using CStringArray::SetAt;
    using CStringArray::SetAtGrow;
    using CStringArray::SetSize;
};
