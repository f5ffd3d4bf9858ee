// Free functions of the HTTP messages: request targets, building a request
// from a URL, HTTP dates.
#pragma once

#include <ctime>

class CsStrMap;
class KvHttpRequest;

// Parses a request target into the request's m_strURL, m_bSecure,
// m_strHost (authority), m_strHostName, m_nPort, m_strPath and host labels.
// 0; -1 for an empty target or when memory runs out; KV_HTTP_BAD_TARGET
// (-102) for an unusable target: "*" followed by more, no host name (as for
// "/index.html", whose path and port are set all the same), or a port
// beyond 65535.
[[nodiscard]] int ParseHttpUrl(const char* target, KvHttpRequest* request);

// Builds an HTTP/1.0 request for `url` and parses it into `request` (which
// is reset first). GET puts `params` into the query; any other method sends
// them as the body. Name and value are escaped; header entries whose name
// or value hold a CR or LF are left out. TRUE.
int CreateHttpRequest(KvHttpRequest& request, const char* url, const char* method, CsStrMap* params,
                      CsStrMap* headers);

// The current time plus offsetSeconds as an HTTP date in UTC, for example
// "Sat, 17 Jun 2000 12:00:00 GMT"; at most 30 characters with the zero.
void GetHttpTime(int offsetSeconds, char* out);
// The same for a given moment.
void FormatHttpTime(time_t when, char* out);

// The standard reason phrase of a status code ("Not Found" for 404), or
// a phrase naming its class ("Client Error" for an unlisted 4xx) for a
// code outside the table; "Unknown" outside 100-599.
const char* KvHttpReasonPhrase(int status);
