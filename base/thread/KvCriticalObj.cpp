#include "base/thread/KvCriticalObj.h"

// Out of line so that the class's vtable lives in the base library.
KvCriticalObj::~KvCriticalObj() = default;
