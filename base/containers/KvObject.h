// KvObject: the root of the system's records and containers.
//
// Adds ordering, copying and cloning to the platform object. Derived
// records override Compare (for the sorted containers), Copy (used by copy
// construction) and Clone (used where a container must duplicate what it
// owns). The defaults make all objects equal, copy nothing and clone a
// plain KvObject.
#pragma once

#include "base/platform/Object.h"

class KvObject : public CObject {
    DECLARE_DYNCREATE(KvObject)

public:
    KvObject() = default;
    // Copy construction goes through Copy(other, 0). Inside a constructor
    // the virtual call reaches this class's Copy only, so a derived class
    // calls its own Copy from its own copy constructor.
    KvObject(const KvObject& other) : CObject() { Copy(other, 0); }
    explicit KvObject(const KvObject* other) : CObject() {
        if (other) Copy(*other, 0);
    }
    KvObject& operator=(const KvObject& other) {
        if (this != &other) Copy(other, 0);
        return *this;
    }
    ~KvObject() override = default;

    // Negative when this sorts before other, 0 when equal, positive after.
    virtual int Compare(const KvObject& other) const;
    // Copies other's content into this object; `flag` is the caller's
    // choice of how deep (0 = plain copy).
    virtual void Copy(const KvObject& other, int flag);
    // A new object equal to this one; the caller owns it (null when out of
    // memory).
    virtual KvObject* Clone() const;
};
