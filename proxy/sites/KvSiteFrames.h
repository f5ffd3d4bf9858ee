// The navigation bar and footer stored into the sites made from code that
// have no pages of their own (link directories, RSS readers and the search
// site). The site engine's default frame links the /Pages/ folder that
// only local web sites have, and visitor counters no site keeps, so these
// sites would otherwise show dead links and an empty "Hit count".
#pragma once

// The link to the portal: "http://" + the portal's host (KvWebHosts.h).
#define KV_SITE_FRAME_PORTAL "http://kvproxy.home.arpa/"

inline constexpr char KV_SITE_FRAME_HEADER[] =
    "&nbsp;<A href=\"/\">Home</A>&nbsp;| <A href=\"" KV_SITE_FRAME_PORTAL "\">KvProxy</A>&nbsp;| "
    "<A href=\"http://search.kvproxy.home.arpa/\">Search</A>&nbsp;| "
    "<A href=\"" KV_SITE_FRAME_PORTAL "localweb.php?op=show\">Sites</A>&nbsp;| "
    "<A href=\"" KV_SITE_FRAME_PORTAL "help.php\">Help</A>";

inline constexpr char KV_SITE_FRAME_FOOTER[] =
    "{mgmt_menu}<A href=\"/\">Home</A>&nbsp;|&nbsp; <A href=\"" KV_SITE_FRAME_PORTAL "\">KvProxy</A>&nbsp;|&nbsp; "
    "<A href=\"" KV_SITE_FRAME_PORTAL "privacy-policy.php\">Privacy</A><BR>A site kept by KvProxy on this "
    "computer.";

// The search site has an About and a Sitemap page.
inline constexpr char KV_SEARCH_FRAME_HEADER[] =
    "&nbsp;<A href=\"/\">Home</A>&nbsp;| <A href=\"/Pages/Aboutus/\">About Us</A>&nbsp;| "
    "<A href=\"/Pages/Sitemap/\">Sitemap</A>&nbsp;| <A href=\"" KV_SITE_FRAME_PORTAL "\">KvProxy</A>";
