// Where an installed KvProxy keeps each user's configuration and data.
//
// An installed program lives in <prefix>/bin with its shipped defaults in
// <prefix>/share/kvproxy and no kvproxy.ini beside it (the build tree
// always has one there, so it never counts as installed). Such a program
// reads ${XDG_CONFIG_HOME:-~/.config}/kvproxy/kvproxy.ini and keeps its
// data in ${XDG_DATA_HOME:-~/.local/share}/kvproxy, both made from the
// shipped defaults where the user has nothing yet.
#pragma once

#include <functional>

#include "base/platform/CString.h"

struct KvUserDirs {
    CString defaults;   // the shipped defaults, <prefix>/share/kvproxy
    CString configDir;  // the user's configuration folder
    CString dataDir;    // the user's data folder (the base directory)
    CString ConfigFile() const { return configDir + "/kvproxy.ini"; }
};

// An environment variable's value, or null when it is not set.
using KvEnvLookup = std::function<const char*(const char*)>;

// The shipped defaults of a program installed in `programDir` (with or
// without its final "/"): <prefix>/share/kvproxy when it holds kvproxy.ini
// and the program's folder has no kvproxy.ini; otherwise empty.
CString KvFindInstalledDefaults(const CString& programDir);

// The user's folders from the environment. An empty or relative XDG
// variable is ignored, as the XDG base directories say; without HOME the
// password database names the home folder. False when no home is found.
bool KvResolveUserDirs(const KvEnvLookup& env, KvUserDirs& dirs);

// Gives the user a kvproxy.ini when there is none: a copy of the shipped
// one, made with its folder. Returns 1 when it was made, 0 when the user
// has one, -1 when it cannot be made (`error` says why).
int KvMakeUserConfig(const KvUserDirs& dirs, CString& error);

// Copies into `base` every shipped default file it lacks (never the
// shipped kvproxy.ini, which is the configuration's): the number copied,
// or -1 when the copy fails (`failed` names what failed).
int KvCopyDefaultData(const CString& defaults, const CString& base, CString* failed);
