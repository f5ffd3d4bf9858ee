#include "base/app/KvData.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <string>

KV_DATA kvData;

namespace {

const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::string Lower(const std::string& s) {
    std::string out(s);
    for (char& c : out) c = (char)std::tolower((unsigned char)c);
    return out;
}

// The number after prefix in key (case-insensitive), or -1.
int IndexedKey(const char* key, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (strncasecmp(key, prefix, n) != 0) return -1;
    const char* digits = key + n;
    if (!*digits || std::strlen(digits) > 2) return -1;
    for (const char* p = digits; *p; ++p)
        if (!std::isdigit((unsigned char)*p)) return -1;
    return std::atoi(digits);
}

// The strftime conversion for a run of `count` letters `ch`, or null.
const char* PictureField(char ch, int count) {
    switch (ch) {
    case 'd': return count == 1 ? "%-d" : count == 2 ? "%d" : count == 3 ? "%a" : "%A";
    case 'M': return count == 1 ? "%-m" : count == 2 ? "%m" : count == 3 ? "%b" : "%B";
    case 'y': return count <= 2 ? "%y" : "%Y";
    case 'H': return count == 1 ? "%-H" : "%H";
    case 'h': return count == 1 ? "%-I" : "%I";
    case 'm': return count == 1 ? "%-M" : "%M";
    case 's': return count == 1 ? "%-S" : "%S";
    case 't': return "%p";
    default: return nullptr;
    }
}

}  // namespace

CString KvPictureToStrftime(const char* picture) {
    CString out;
    if (!picture) return out;
    for (const char* p = picture; *p;) {
        if (*p == '\'') {  // quoted literal text up to the next quote
            for (++p; *p && *p != '\''; ++p) out += (*p == '%') ? "%%" : CString(*p);
            if (*p) ++p;
            continue;
        }
        int count = 1;
        while (p[count] == *p) ++count;
        if (const char* field = PictureField(*p, count)) {
            out += field;
        } else {
            for (int i = 0; i < count; ++i) out += (*p == '%') ? "%%" : CString(*p);
        }
        p += count;
    }
    return out;
}

KV_DATA::KV_DATA()
    : m_strAppName("Kavori Aplication"),
      m_strCompany("Brisna"),
      m_strVersion("1.0.1"),
      m_strCopyright("Copyright (c) Brisna"),
      m_strTrue("True"),
      m_strFalse("False") {
    CollectSystemInfo();
    CollectModuleInfo();
    RefreshLocalInfo();
}

void KV_DATA::SetAppInfo(const char* name, const char* company, const char* version, const char* copyright) {
    if (name) m_strAppName = name;
    if (company) m_strCompany = company;
    if (version) m_strVersion = version;
    if (copyright) m_strCopyright = copyright;
}

void KV_DATA::SetUser(const char* user, const char* company) {
    if (user) m_strUser = user;
    if (company) m_strCompany = company;
}

void KV_DATA::CollectSystemInfo() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    m_nProcessors = n > 0 ? (int)n : 1;
    long page = ::sysconf(_SC_PAGESIZE);
    m_dwPageSize = page > 0 ? (DWORD)page : 4096;
    m_dwPlatformId = 2;  // the current system family
    m_bWin4 = TRUE;

    char host[256] = "";
    if (::gethostname(host, sizeof host - 1) == 0) host[sizeof host - 1] = '\0';
    m_strComputerName = host;

    // The account name from the password database, else from the
    // environment; getpwuid_r keeps this safe from other threads.
    m_strUserName.Empty();
    char buf[4096];
    struct passwd pw;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_name)
        m_strUserName = found->pw_name;
    if (m_strUserName.IsEmpty()) {
        const char* env = std::getenv("USER");
        if (env) m_strUserName = env;
    }
}

void KV_DATA::CollectModuleInfo() {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        m_strModuleName.Empty();
        m_strModulePath = "./";
        return;
    }
    path[n] = '\0';
    CString full(path);
    int slash = full.ReverseFind('/');
    m_strModulePath = full.Left(slash + 1);
    m_strModuleName = full.Mid(slash + 1);
}

CString KvConfigFileName(const char* moduleFile) {
    std::string name = moduleFile ? moduleFile : "";
    size_t start = name.find_last_of("/\\");
    start = (start == std::string::npos) ? 0 : start + 1;
    if (start == name.size()) return CString();
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > start) name.resize(dot);
    return CString(name + ".ini");
}

CString KV_DATA::GetConfigFileName() const {
    if (m_strModuleName.IsEmpty()) return CString();
    return m_strModulePath + KvConfigFileName(m_strModuleName);
}

void KV_DATA::SetLocaleDefaults() {
    iCountry = 1;
    iCurrDigits = 2;
    iCurrency = 0;
    iDate = 1;  // day, month, year
    iDigits = 2;
    iLZero = 1;
    iMeasure = 0;
    iNegCurr = 1;
    iTime = 1;  // 24 hours
    iTLZero = 1;
    sCountry = "";
    sCurrency = "$";
    sDate = "/";
    sDecimal = ",";
    sLanguage = "ENG";
    sList = ";";
    sLongDate = "MMMM dd, yyyy";
    sShortDate = "dd/MM/yy";
    sThousand = ".";
    sTime = ":";
    s1159 = "AM";
    s2359 = "PM";
    for (int i = 0; i < 12; ++i) {
        m_strMonth[i] = kMonths[i];
        m_strShortMonth[i] = kShortMonths[i];
    }
    for (int i = 0; i < 7; ++i) {
        m_strDay[i] = kDays[i];
        m_strShortDay[i] = kShortDays[i];
    }
}

void KV_DATA::ApplyLocale(const char* key, const char* value) {
    struct IntKey {
        const char* name;
        int KV_DATA::*field;
    };
    static const IntKey ints[] = {
        {"iCountry", &KV_DATA::iCountry}, {"iCurrDigits", &KV_DATA::iCurrDigits},
        {"iCurrency", &KV_DATA::iCurrency}, {"iDate", &KV_DATA::iDate},
        {"iDigits", &KV_DATA::iDigits},   {"iLZero", &KV_DATA::iLZero},
        {"iMeasure", &KV_DATA::iMeasure}, {"iNegCurr", &KV_DATA::iNegCurr},
        {"iTime", &KV_DATA::iTime},       {"iTLZero", &KV_DATA::iTLZero},
    };
    struct TextKey {
        const char* name;
        CString KV_DATA::*field;
    };
    static const TextKey texts[] = {
        {"sCountry", &KV_DATA::sCountry},     {"sCurrency", &KV_DATA::sCurrency},
        {"sDate", &KV_DATA::sDate},           {"sDecimal", &KV_DATA::sDecimal},
        {"sLanguage", &KV_DATA::sLanguage},   {"sList", &KV_DATA::sList},
        {"sLongDate", &KV_DATA::sLongDate},   {"sShortDate", &KV_DATA::sShortDate},
        {"sThousand", &KV_DATA::sThousand},   {"sTime", &KV_DATA::sTime},
        {"s1159", &KV_DATA::s1159},           {"s2359", &KV_DATA::s2359},
    };
    for (const IntKey& k : ints) {
        if (strcasecmp(key, k.name) == 0) {
            this->*k.field = std::atoi(value);
            return;
        }
    }
    for (const TextKey& k : texts) {
        if (strcasecmp(key, k.name) == 0) {
            this->*k.field = value;
            return;
        }
    }
    int i;
    if ((i = IndexedKey(key, "sShortMonth")) >= 1 && i <= 12) m_strShortMonth[i - 1] = value;
    else if ((i = IndexedKey(key, "sMonth")) >= 1 && i <= 12) m_strMonth[i - 1] = value;
    else if ((i = IndexedKey(key, "sShortDay")) >= 0 && i <= 6) m_strShortDay[i] = value;
    else if ((i = IndexedKey(key, "sDay")) >= 0 && i <= 6) m_strDay[i] = value;
}

void KV_DATA::LoadLocale(const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values) {
        m_localeOverrides[Lower(key)] = value;
        ApplyLocale(key.c_str(), value.c_str());
    }
}

void KV_DATA::LoadLocale(const std::function<const char*(const char* key)>& lookup) {
    if (!lookup) return;
    static const char* const keys[] = {
        "iCountry", "iCurrDigits", "iCurrency", "iDate",     "iDigits",    "iLZero", "iMeasure", "iNegCurr",
        "iTime",    "iTLZero",     "sCountry",  "sCurrency", "sDate",      "sDecimal", "sLanguage", "sList",
        "sLongDate", "sShortDate", "sThousand", "sTime",     "s1159",      "s2359"};
    std::map<std::string, std::string> found;
    auto take = [&](const std::string& key) {
        if (const char* v = lookup(key.c_str())) found[key] = v;
    };
    for (const char* key : keys) take(key);
    for (int i = 1; i <= 12; ++i) {
        take("sMonth" + std::to_string(i));
        take("sShortMonth" + std::to_string(i));
    }
    for (int i = 0; i < 7; ++i) {
        take("sDay" + std::to_string(i));
        take("sShortDay" + std::to_string(i));
    }
    LoadLocale(found);
}

void KV_DATA::ResetLocale() {
    m_localeOverrides.clear();
    SetLocaleDefaults();
}

void KV_DATA::RefreshLocalInfo() {
    SetLocaleDefaults();
    for (const auto& [key, value] : m_localeOverrides) ApplyLocale(key.c_str(), value.c_str());
}

void KV_DATA::Refresh() {
    RefreshLocalInfo();
    RefreshColor();
}

CString KV_DATA::GetDateFmt(BOOL longDate) const {
    return KvPictureToStrftime(longDate ? sLongDate : sShortDate);
}

CString KV_DATA::GetTimeFmt(int kind) const {
    // iTime 1 is the 24-hour clock, 0 the 12-hour clock with AM/PM;
    // iTLZero asks for a leading zero on the hour.
    CString hour = iTime ? (iTLZero ? "%H" : "%-H") : (iTLZero ? "%I" : "%-I");
    CString sep;
    for (char c : sTime.view()) sep += (c == '%') ? CString("%%") : CString(c);
    CString fmt = hour + sep + "%M";
    if (kind != KV_TIMEFMT_MINUTES) fmt += sep + "%S";
    if (!iTime) fmt += " %p";
    return fmt;
}

CString KV_DATA::GetDateTimeFmt() const {
    return GetDateFmt() + " " + GetTimeFmt(KV_TIMEFMT_SECONDS);
}

CString KV_DATA::GetMonth(int month, bool shortName) const {
    if (month < 1 || month > 12) return CString();
    return shortName ? m_strShortMonth[month - 1] : m_strMonth[month - 1];
}

CString KV_DATA::GetWeekDay(int day, bool shortName) const {
    if (day < 0 || day > 6) return CString();
    return shortName ? m_strShortDay[day] : m_strDay[day];
}
