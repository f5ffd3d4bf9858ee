// KvConfigKeys: every key of the configuration file with its default and
// its meaning, the one place where a default is written.
//
// The application reads the file through KvConfigString and KvConfigInt,
// which give a key's default when the file leaves it out or blank (and,
// for a number whose default is above 0, when the file gives 0 or less;
// KvConfigIntZeroAllowed takes 0 as given).
// The application is given the defaults when it is made; objects made
// before the file is read (the proxy server, the cache manager) take the
// configured values when the application starts them or configures them.
//
// The shipped data/kvproxy.ini, the build's data/kvproxy.ini.in and the
// README's tables document the same defaults (config_defaults_test holds
// them together): in the files, the comment above each key has a line
// "; Missing: <shown>" (or "; Missing or 0: <shown>").
#pragma once

#include <span>

#include "base/platform/CString.h"

class KvIniFile;

struct KvConfigKey {
    const char* section;
    const char* key;
    const char* value;    // the default as the file would write it; "" for none
    const char* shown;    // the default as the documents name it
    const char* meaning;  // one line for the reader of the table
};

// Every key, in the order of the shipped file. (The optional [Locale]
// section has its defaults in the built-in regional table, KvData.)
std::span<const KvConfigKey> KvConfigKeys();
// The key of that section and name (letter case ignored), or null.
const KvConfigKey* KvFindConfigKey(const char* section, const char* key);

// A key's default; every key named in code is in the table (asserted).
const char* KvConfigDefault(const char* section, const char* key);
int KvConfigDefaultInt(const char* section, const char* key);

// The file's value of the key, or its default when missing or blank.
CString KvConfigString(const KvIniFile& ini, const char* section, const char* key);
// The file's number (atoi), or the default when missing or blank; for a
// key whose default is above 0 also when the file gives 0 or less.
int KvConfigInt(const KvIniFile& ini, const char* section, const char* key);
// For a key where 0 has a meaning of its own: the file's number, 0
// included, or the default when missing, blank, negative or not a number.
int KvConfigIntZeroAllowed(const KvIniFile& ini, const char* section, const char* key);

// The default listen address of [Proxy] Listen, split.
CString KvDefaultListenHost();
int KvDefaultListenPort();
