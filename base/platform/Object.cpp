#include "base/platform/Object.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

struct ClassTable {
    std::mutex lock;
    std::map<std::string, const KvRuntimeClass*> byName;
};

ClassTable& Table() {
    static ClassTable table;  // built on first use, so static init order does not matter
    return table;
}

}  // namespace

const KvRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr};
static KvRuntimeClassRegistrar kv_register_CObject(&CObject::classCObject);

KvRuntimeClassRegistrar::KvRuntimeClassRegistrar(const KvRuntimeClass* cls) {
    ClassTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.byName[cls->m_lpszClassName] = cls;
}

CObject* KvRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool KvRuntimeClass::IsDerivedFrom(const KvRuntimeClass* base) const {
    for (const KvRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == base) return true;
    }
    return false;
}

const KvRuntimeClass* KvRuntimeClass::FromName(const char* name) {
    if (!name) return nullptr;
    ClassTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.byName.find(name);
    return it == t.byName.end() ? nullptr : it->second;
}

CObject* KvRuntimeClass::CreateObject(const char* name) {
    const KvRuntimeClass* cls = FromName(name);
    return cls ? cls->CreateObject() : nullptr;
}

const KvRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

void CObject::Serialize(CArchive&) {}

bool CObject::IsKindOf(const KvRuntimeClass* cls) const {
    return GetRuntimeClass()->IsDerivedFrom(cls);
}
