// KvElapsed: a named stopwatch started when it is made.
#pragma once

#include "base/platform/WinTypes.h"
#include "base/str/CsString.h"

// Milliseconds of a monotonic clock (wraps like a 32-bit tick count).
DWORD KvGetTickCount();

class KvElapsed {
public:
    explicit KvElapsed(const char* name = nullptr);
    KvElapsed(const KvElapsed&) = default;
    KvElapsed& operator=(const KvElapsed&) = default;
    ~KvElapsed();

    // Milliseconds since construction (or the last Restart).
    int GetElapsed() const;
    void Restart();
    const char* GetName() const { return m_strName.GetStr(); }
    // Reports nothing: kept for callers that time a block in debug builds.
    void Show() const;

protected:
    DWORD m_dwStart;
    CsString m_strName;
};
