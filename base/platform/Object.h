// CObject and run-time classes: the object root of the libraries.
//
// Every class that needs its name at run time, dynamic creation by class or
// serialisation derives from CObject and uses the DECLARE_/IMPLEMENT_ macros.
// Run-time classes register themselves by name when their library loads, so
// a class can be created from its name (KvRuntimeClass::FromName) across the
// shared libraries.
#pragma once

#include "base/platform/WinTypes.h"

class CArchive;
class CObject;

struct KvRuntimeClass {
    const char* m_lpszClassName;
    const KvRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();  // null when the class is not creatable

    CObject* CreateObject() const;
    bool IsDerivedFrom(const KvRuntimeClass* base) const;
    static const KvRuntimeClass* FromName(const char* name);
    static CObject* CreateObject(const char* name);
};
typedef KvRuntimeClass CRuntimeClass;

// Registers a run-time class in the process-wide name table (static init).
struct KvRuntimeClassRegistrar {
    explicit KvRuntimeClassRegistrar(const KvRuntimeClass* cls);
};

class CObject {
public:
    virtual const KvRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar);
    virtual void AssertValid() const {}
    virtual void Dump() const {}

    bool IsKindOf(const KvRuntimeClass* cls) const;
    bool IsSerializable() const { return true; }

    static const KvRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#define RUNTIME_CLASS(name) (&name::class##name)

#define DECLARE_DYNAMIC(name)                                  \
public:                                                        \
    static const KvRuntimeClass class##name;                   \
    const KvRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(name)                                \
    DECLARE_DYNAMIC(name)                                      \
    static CObject* CreateObject();

#define DECLARE_SERIAL(name) DECLARE_DYNCREATE(name)

#define KV_IMPLEMENT_RUNTIMECLASS(name, base, create)                            \
    const KvRuntimeClass name::class##name = {#name, RUNTIME_CLASS(base), create}; \
    static KvRuntimeClassRegistrar kv_register_##name(RUNTIME_CLASS(name));       \
    const KvRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

#define IMPLEMENT_DYNAMIC(name, base) KV_IMPLEMENT_RUNTIMECLASS(name, base, nullptr)

#define IMPLEMENT_DYNCREATE(name, base)                        \
    CObject* name::CreateObject() { return new name; }         \
    KV_IMPLEMENT_RUNTIMECLASS(name, base, name::CreateObject)

#define IMPLEMENT_SERIAL(name, base, schema) IMPLEMENT_DYNCREATE(name, base)
