// The research stack: a small list of researched keywords, each with two
// counts the caller keeps, written as text one record a line
// ("text\tfirst\tsecond\r\n").
#pragma once

#include "base/containers/KvObject.h"
#include "base/platform/CString.h"

class KvObjectArray;

class KvResearchStackObj : public KvObject {
    DECLARE_DYNCREATE(KvResearchStackObj)
public:
    KvResearchStackObj() = default;
    KvResearchStackObj(const KvResearchStackObj& other) : KvObject() { CopyFrom(other); }
    KvResearchStackObj& operator=(const KvResearchStackObj& other) {
        if (this != &other) CopyFrom(other);
        return *this;
    }
    ~KvResearchStackObj() override = default;
    KvObject* Clone() const override { return new KvResearchStackObj(*this); }

    void Set(const char* text, int first, int second);
    void CopyFrom(const KvResearchStackObj& other) { Set(other.m_strText, other.m_nFirst, other.m_nSecond); }

    CString m_strText;
    int m_nFirst = 0;
    int m_nSecond = 0;
};

// One line per record; false when either pointer is null.
bool ConvertResearchStackToText(KvObjectArray* stack, CString* text);
// Empties the stack and reads the non-empty lines back (a line without
// tabs gives a record with both counts 0); false when a pointer is null.
bool ConvertTextToResearchStack(CString* text, KvObjectArray* stack);
// A record with exactly this text (letter case counts) is on the stack.
bool IsExistOnResearchStack(KvObjectArray* stack, const char* text);
