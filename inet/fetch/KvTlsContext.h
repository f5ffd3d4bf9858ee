// The TLS client context of the download client: peer verification on,
// TLS 1.2 at least, the system's trusted certificates plus an optional PEM
// file. One context per file is made on first use and kept until the
// file changes (OpenSSL lets any number of threads make connections from
// one context).
#pragma once

#include "base/platform/CString.h"

struct ssl_ctx_st;

// The context for `caFile` (null or empty: the system's certificates
// only), with a reference the caller gives back with SSL_CTX_free; null
// with a reason when it cannot be made or the file cannot be read.
ssl_ctx_st* KvTlsClientContext(const char* caFile, CString& error);
