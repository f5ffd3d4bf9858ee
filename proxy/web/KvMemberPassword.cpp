#include "proxy/web/KvMemberPassword.h"

#include <string>
#include <vector>

#include "base/file/KvFileFunc.h"
#include "proxy/web/KvWebDB.h"
#include "proxy/web/KvWebRecords.h"

namespace {

// "<base>/LocalWeb/<host>.c?d" of the host, found as the web manager
// finds its sites (names compared without letter case); empty when none.
CString SiteDatabase(const CString& base, const char* host) {
    const CString dir = base + "/LocalWeb";
    CString wanted(host);
    wanted.Trim();
    wanted.MakeLower();
    std::vector<std::string> names;
    if (wanted.IsEmpty() || !KvListDirectory(dir, "*.c?d", false, names)) return CString();
    for (const std::string& n : names) {
        CString name(n);
        if (name.GetLength() < 5) continue;
        CString stem = name.Left(name.GetLength() - 4);
        stem.MakeLower();
        if (stem == wanted) return dir + "/" + name;
    }
    return CString();
}

// Opens the site's database and finds the member; Done when both are there.
KvPasswordChange OpenMember(const char* base, const char* host, const char* name, KvWebDB& db, KvUserInfo& member) {
    const CString file = SiteDatabase(base ? base : "", host ? host : "");
    if (file.IsEmpty()) return KvPasswordChange::NoSite;
    if (!db.OpenSite(file)) return KvPasswordChange::Failed;
    if (!name || !*name || !db.GetUserInfo(name, &member)) return KvPasswordChange::NoMember;
    return KvPasswordChange::Done;
}

}  // namespace

KvPasswordChange KvFindSiteMember(const char* base, const char* host, const char* name) {
    KvWebDB db;
    KvUserInfo member;
    return OpenMember(base, host, name, db, member);
}

KvPasswordChange KvSetMemberPassword(const char* base, const char* host, const char* name, const char* password) {
    if (!password || !*password) return KvPasswordChange::EmptyPassword;
    KvWebDB db;
    KvUserInfo member;
    const KvPasswordChange found = OpenMember(base, host, name, db, member);
    if (found != KvPasswordChange::Done) return found;
    return db.SetUserPassword(member.m_nID, password) ? KvPasswordChange::Done : KvPasswordChange::Failed;
}

CString KvPasswordChangeText(KvPasswordChange result, const char* host, const char* name) {
    CString text;
    switch (result) {
    case KvPasswordChange::Done: text.Format("the password of %s at %s is set", name, host); break;
    case KvPasswordChange::NoSite: text.Format("there is no local site %s", host); break;
    case KvPasswordChange::NoMember: text.Format("the site %s has no member %s", host, name); break;
    case KvPasswordChange::EmptyPassword: text = "the password is empty; nothing was changed"; break;
    case KvPasswordChange::Failed: text.Format("the database of %s could not be changed", host); break;
    }
    return text;
}
