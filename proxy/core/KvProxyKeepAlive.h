// Whether a browser's connection outlives the exchange on it, and the
// connection headers every answer carries.
//
// A connection stays open after an answer when the browser asked for it
// (HTTP/1.1 unless it said "close"; HTTP/1.0 only with "keep-alive"), the
// answer's end is known without a close (a length, chunks, or no body),
// and the request's body has been read to its end, so the next byte on
// the connection starts the next request. A tunnel never keeps it.
//
// Pure functions over their arguments: any thread may call them.
#pragma once

#include <cstdint>

class KvHttpBuffer;
class KvHttpRequest;
class KvHttpResponse;

// The browser lets the connection carry further requests after this one.
bool KvClientAsksToKeep(const KvHttpRequest& request);
// The origin (or upstream proxy) leaves its connection open after this
// answer: HTTP/1.1 unless it said "close"; HTTP/1.0 only with "keep-alive".
bool KvOriginOffersToKeep(const KvHttpResponse& response);
// How long the origin says it keeps an idle connection ("Keep-Alive:
// timeout=N"), in ms; -1 when it does not say.
int64_t KvOriginKeepAliveMs(const KvHttpResponse& response);

// Replaces the message's connection headers ("Connection",
// "Proxy-Connection", "Keep-Alive") by one "Connection" header that says
// whether the connection stays open.
void KvSetConnectionHeaders(KvHttpBuffer& message, bool keep);
// Removes them (a stored head gets them anew each time it is sent).
void KvRemoveConnectionHeaders(KvHttpBuffer& message);
// The header line KvSetConnectionHeaders writes, with its CRLF.
const char* KvConnectionLine(bool keep);
