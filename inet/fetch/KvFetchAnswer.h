// Reading one answer of the download client from its connection.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/platform/CString.h"

class KvFetchStream;
class KvHttpResponse;

// Reads a head (informational 1xx heads skipped) and the body its framing
// promises (chunked, "Content-Length", or up to the end of the stream) into
// `response`, decoding chunked framing and a gzip "Content-Encoding".
// `headOnly`: the answer to a HEAD request has no body. False with a
// reason when the deadline passes, the body passes `maxBody` or the
// framing is broken.
bool KvReadFetchAnswer(KvFetchStream& stream, int64_t deadline, size_t maxBody, bool headOnly,
                       KvHttpResponse& response, CString& error);

// Reads only a head (a proxy's answer to CONNECT), never a byte beyond it:
// its status, or 0 with a reason.
int KvReadProxyHead(KvFetchStream& stream, int64_t deadline, CString& error);
