// Making a new local site from the portal's creation form.
//
// Host names: a new site always lies under ".kvproxy.home.arpa", so it can
// never shadow a site on the internet and its name never resolves outside
// this proxy. The form takes one or more labels of "a"-"z", "0"-"9" and
// "-" joined by dots (letter case ignored); the suffix is appended unless
// the name already ends with it. Names in other reserved spaces ("arpa",
// "localhost", "local") and the portal's own hosts are refused.
//
// The file: "<base>/LocalWeb/<domain>.<type>" is created exclusively (an
// existing site is never overwritten), filled with a consistent copy of
// the type's template database made by the database's online backup, and
// then given its owner (member 1's name and password digest; the
// template's other members and sessions are dropped), its name,
// description and keywords, and the root folder's (for a local web site
// also the front page's) label, title and description. Any failure after
// the file was made removes it again.
#pragma once

#include "base/platform/CString.h"

struct KvDomainInfo;

// The host name the form's text stands for; false when it is not one a new
// site may take.
bool KvNormaliseSiteDomain(const char* text, CString& domain);

enum class KvNewSiteResult { Created, Exists, Failed };

// Makes the site's database file (`info.domain` already normalised,
// `info.type` "cwd", "cld" or "crd"); `file` gets its path. The site is not
// registered here.
KvNewSiteResult KvCreateSiteFile(const char* baseDir, const KvDomainInfo& info, CString& file);
// Removes a site's database file with its log files (a site that could
// not be set up or registered).
void KvRemoveSiteFile(const CString& file);
