#include "KvSocketThread.h"

IMPLEMENT_DYNAMIC(KvSocketThread, KvThread)
