// Fuzzes the configuration-file reader: any bytes load without harm, and
// what Save writes loads back as the same sections and entries. Every
// few inputs also goes through a real file (Save, Load).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/file/KvIniFile.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// Sections with their entries in order; a comment as "; line".
std::vector<std::string> Describe(const KvIniFile& ini) {
    std::vector<std::string> out;
    for (KvIniSection* s = ini.GetFirstSection(); s; s = s->GetNext()) {
        out.push_back(std::string("[") + s->GetName() + "]");
        for (CsStrMapItem* e = s->GetEntries().Head(); e; e = e->Next())
            out.push_back(std::string(e->GetKey()) + "=" + e->GetValue());
    }
    return out;
}

// Names and values are read back without surrounding blanks.
bool Trimmed(const std::string& s) {
    const char* blanks = " \t\v\f";
    return s.empty() || (!std::strchr(blanks, s.front()) && !std::strchr(blanks, s.back()));
}

const std::string& TempPath() {
    static const std::string path = [] {
        char dir[] = "/tmp/kv_ini_fuzz_XXXXXX";
        const char* made = mkdtemp(dir);
        if (!made) std::abort();
        return std::string(made) + "/fuzz.ini";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    KvIniFile ini;
    ini.LoadFromText(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> first = Describe(ini);

    // Look-ups by every name that was read find something (the first of
    // equal names wins, so not necessarily this very section or entry).
    for (KvIniSection* s = ini.GetFirstSection(); s; s = s->GetNext()) {
        Check(ini.FindSection(s->GetName()) != nullptr);
        for (CsStrMapItem* e = s->GetEntries().Head(); e; e = e->Next()) {
            if (*e->GetKey()) Check(s->GetValue(e->GetKey()) != nullptr);
        }
    }

    CString text = ini.SaveToText();
    KvIniFile again;
    again.LoadFromText(text.c_str(), (size_t)text.GetLength());
    Check(Describe(again) == first);
    // Written a second time, the text is the same.
    Check(again.SaveToText() == text);

    static unsigned counter = 0;
    if (++counter % 64 == 0) {
        Check(ini.Save(TempPath().c_str()));
        KvIniFile loaded;
        if (ini.GetFirstSection()) {
            Check(loaded.Load(TempPath().c_str()));
            Check(Describe(loaded) == first);
        }
    }

    // An entry set from the input's last line ("section\tkey\tvalue") is
    // either refused or read back from the written text.
    std::string last(reinterpret_cast<const char*>(data), size);
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    last = last.substr(0, last.find('\0'));
    size_t tab1 = last.find('\t'), tab2 = tab1 == std::string::npos ? tab1 : last.find('\t', tab1 + 1);
    if (tab2 != std::string::npos) {
        std::string section = last.substr(0, tab1), key = last.substr(tab1 + 1, tab2 - tab1 - 1);
        std::string value = last.substr(tab2 + 1);
        if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) && Trimmed(section) && Trimmed(key) &&
            Trimmed(value)) {
            CString written = ini.SaveToText();
            KvIniFile back;
            back.LoadFromText(written.c_str(), (size_t)written.GetLength());
            const char* read = back.GetValue(section.c_str(), key.c_str());
            Check(read && value == read);
        }
    }

    // Changing entries keeps the file readable.
    if (KvIniSection* s = ini.GetFirstSection()) {
        ini.SetValue(s->GetName(), "fuzz", "value");
        Check(ini.GetValue(s->GetName(), "FUZZ") != nullptr);
        ini.RemoveSection(s->GetName());
    }
    return 0;
}
