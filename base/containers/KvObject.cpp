#include "base/containers/KvObject.h"

#include <new>

IMPLEMENT_DYNCREATE(KvObject, CObject)

int KvObject::Compare(const KvObject&) const { return 0; }

void KvObject::Copy(const KvObject&, int) {}

KvObject* KvObject::Clone() const { return new (std::nothrow) KvObject(*this); }
