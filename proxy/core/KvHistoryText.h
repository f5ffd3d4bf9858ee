// The text of the browsing history: which exchanges are page visits, the
// title of a page from the first bytes of its body, and the line written
// for a visit ("date-time TAB URL TAB title").
//
// Pure functions of their arguments: any thread may call them.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

class KvHttpRequest;

// How many bytes of a page's body are searched for its title.
inline constexpr size_t kHistoryHeadBytes = 64 * 1024;

// A browser loading a page to show it: a GET whose "Sec-Fetch-Dest" is
// "document" or, from a browser that does not send it, whose "Accept"
// names "text/html". Subresources (images, scripts, frames) are not.
bool KvIsPageLoad(const KvHttpRequest& request);
// A successful HTML answer: status 200 and "Content-Type" text/html.
bool KvIsHtmlPage(int status, const char* contentType);

// The body's first bytes as text: `head` undone from its
// "Content-Encoding" (gzip, deflate; identity or none as it is), at most
// kHistoryHeadBytes of it; empty for an encoding it cannot undo.
std::string KvDecodedHead(std::string_view head, const char* contentEncoding);
// The text of the first <title> element within the first kHistoryHeadBytes
// of `html`: character references decoded, runs of white space (tabs and
// line breaks included) as one space, trimmed, at most 300 bytes (never
// cutting a UTF-8 character). Empty when there is none.
std::string KvPageTitle(std::string_view html);
// One line of the history file, with its line feed: local date and time
// ("2024-05-01 13:45:07"), URL and title (the URL when the title is
// empty), each field with tabs and line breaks as spaces.
std::string KvHistoryLine(std::time_t when, std::string_view url, std::string_view title);
