#include "base/time/KvElapsed.h"

#include <chrono>

DWORD KvGetTickCount() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return (DWORD)std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

KvElapsed::KvElapsed(const char* name) : m_dwStart(KvGetTickCount()), m_strName(name) {}

KvElapsed::~KvElapsed() = default;

int KvElapsed::GetElapsed() const {
    // Unsigned subtraction stays right across a wrap of the tick count.
    return (int)(KvGetTickCount() - m_dwStart);
}

void KvElapsed::Restart() {
    m_dwStart = KvGetTickCount();
}

void KvElapsed::Show() const {}
