#include "inet/server/KvSocketThread.h"

IMPLEMENT_DYNAMIC(KvSocketThread, KvThread)
