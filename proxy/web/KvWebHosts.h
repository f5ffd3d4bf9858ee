// The fixed host names of the portal's own sites.
//
// All lie under the reserved suffix ".kvproxy.home.arpa": names under
// "home.arpa" never resolve on the internet, so a request for them can only
// be answered by this proxy.
#pragma once

inline constexpr char KV_HOST_SUFFIX[] = ".kvproxy.home.arpa";
// The portal home site (history, cache browser, new sites).
inline constexpr char KV_HOST_PORTAL[] = "kvproxy.home.arpa";
// The meta-search site.
inline constexpr char KV_HOST_POLYSEEK[] = "search.kvproxy.home.arpa";
// The feed directory.
inline constexpr char KV_HOST_FEEDIR[] = "feeds.kvproxy.home.arpa";
// The keyword market.
inline constexpr char KV_HOST_TERMBID[] = "market.kvproxy.home.arpa";

// The portal's home URL, for shared pieces (error style sheet, blank frame).
inline constexpr char KV_PORTAL_URL[] = "http://kvproxy.home.arpa";
// The template database of new local web sites: a site of its own whose
// administrator may shape what every new local web site starts with.
inline constexpr char KV_HOST_LOCALWEB_TEMPLATE[] = "webtemplate.kvproxy.home.arpa";
// The template database of new RSS readers.
inline constexpr char KV_HOST_RSS_TEMPLATE[] = "rsstemplate.kvproxy.home.arpa";
