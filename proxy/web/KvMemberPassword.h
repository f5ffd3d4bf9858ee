// Setting a member's password of a local site from outside the browser
// ("kvproxy --set-password"): the owner who lost the administrator's
// password printed at first start gets back in.
#pragma once

#include "base/platform/CString.h"

enum class KvPasswordChange {
    Done,
    NoSite,         // no site database of that host in LocalWeb/
    NoMember,       // the site has no member of that name
    EmptyPassword,
    Failed,         // the database could not be opened or written
};

// Whether the site and its member are there (Done), so that nobody types
// a password for nothing; NoSite, NoMember or Failed otherwise.
KvPasswordChange KvFindSiteMember(const char* base, const char* host, const char* name);
// Sets the password of member `name` of the local site `host` (any letter
// case) whose database is in "<base>/LocalWeb/"; the site engine's digest
// is stored, so the running proxy takes the new password at its next
// sign-in.
KvPasswordChange KvSetMemberPassword(const char* base, const char* host, const char* name, const char* password);

// A sentence saying what happened, for the command line.
CString KvPasswordChangeText(KvPasswordChange result, const char* host, const char* name);
