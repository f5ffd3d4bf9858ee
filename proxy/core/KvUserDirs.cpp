#include "proxy/core/KvUserDirs.h"

#include <pwd.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "base/file/KvFileTree.h"

namespace {

constexpr const char kConfigName[] = "kvproxy.ini";

CString WithoutFinalSlash(CString path) {
    while (path.GetLength() > 1 && path.Right(1) == "/") path = path.Left(path.GetLength() - 1);
    return path;
}

// The variable when it names an absolute folder, else the fallback below
// the home folder.
CString XdgFolder(const KvEnvLookup& env, const char* variable, const CString& home, const char* fallback) {
    const char* value = env(variable);
    if (value && value[0] == '/') return WithoutFinalSlash(value);
    return home + fallback;
}

CString HomeFolder(const KvEnvLookup& env) {
    const char* home = env("HOME");
    if (home && home[0] == '/') return WithoutFinalSlash(home);
    std::vector<char> buf(16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/') {
        return WithoutFinalSlash(found->pw_dir);
    }
    return CString();
}

}  // namespace

CString KvFindInstalledDefaults(const CString& programDir) {
    const CString dir = WithoutFinalSlash(programDir);
    if (dir.IsEmpty() || IsFileExist(dir + "/" + kConfigName)) return CString();
    const CString defaults = KvAbsolutePath(dir + "/../share/kvproxy");
    return IsFileExist(defaults + "/" + kConfigName) ? defaults : CString();
}

bool KvResolveUserDirs(const KvEnvLookup& env, KvUserDirs& dirs) {
    const CString home = HomeFolder(env);
    if (home.IsEmpty()) return false;
    dirs.configDir = XdgFolder(env, "XDG_CONFIG_HOME", home, "/.config") + "/kvproxy";
    dirs.dataDir = XdgFolder(env, "XDG_DATA_HOME", home, "/.local/share") + "/kvproxy";
    return true;
}

int KvMakeUserConfig(const KvUserDirs& dirs, CString& error) {
    if (IsFileExist(dirs.ConfigFile())) return 0;
    const int copied = KvCopyMissingFiles(
        dirs.defaults, dirs.configDir, [](const std::string& rel) { return rel != kConfigName; }, &error);
    if (copied < 0) return -1;
    return copied > 0 ? 1 : 0;
}

int KvCopyDefaultData(const CString& defaults, const CString& base, CString* failed) {
    return KvCopyMissingFiles(defaults, base, [](const std::string& rel) { return rel == kConfigName; }, failed);
}
