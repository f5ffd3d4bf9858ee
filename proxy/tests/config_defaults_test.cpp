// The documents name the same default for every configuration key as the
// code's table: the README's tables, the shipped data/kvproxy.ini and the
// build's data/kvproxy.ini.in. A key the code reads but a document leaves
// out, or a key a document names that the code does not read, fails too.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "proxy/core/KvConfigKeys.h"

namespace {

using KeyName = std::pair<std::string, std::string>;  // section, key
using Documented = std::map<KeyName, std::string>;    // -> the default as written

std::vector<std::string> Lines(const std::string& relative) {
    std::ifstream in(std::string(KV_SOURCE_DIR) + "/" + relative);
    EXPECT_TRUE(in.good()) << relative;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Trim(std::string s) {
    const char* blank = " \t\r";
    s.erase(0, s.find_first_not_of(blank));
    s.erase(s.find_last_not_of(blank) + 1);
    return s;
}

std::string WithoutBackticks(std::string s) {
    std::erase(s, '`');
    return Trim(s);
}

std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells;
    std::stringstream in(Trim(row).substr(1));
    for (std::string cell; std::getline(in, cell, '|');) cells.push_back(Trim(cell));
    return cells;
}

// The README's configuration tables: those headed "Section | Key | ..."
// and those headed "Key | ..." whose section the text before them names
// ("all in `[General]`"). The default is the last column.
Documented ReadmeDefaults() {
    Documented found;
    static const std::regex sectionNote(R"(`\[(\w+)\]`)");
    std::string hinted;
    std::vector<std::string> header;
    for (const std::string& line : Lines("README.md")) {
        if (Trim(line).rfind('|', 0) != 0) {
            header.clear();
            std::smatch m;
            if (std::regex_search(line, m, sectionNote)) hinted = m[1];
            continue;
        }
        std::vector<std::string> cells = Cells(line);
        if (header.empty()) {
            header = cells;
            continue;
        }
        if (cells.empty() || cells[0].rfind("---", 0) == 0 || cells.size() < 3) continue;
        if (header[0] == "Section") {
            found[{cells[0], cells[1]}] = WithoutBackticks(cells.back());
        } else if (header[0] == "Key") {
            found[{hinted, cells[0]}] = WithoutBackticks(cells.back());
        }
    }
    // [Locale] takes its defaults from the built-in regional table and is
    // named as a group; no file sets it.
    std::erase_if(found, [](const auto& entry) { return entry.first.first == "Locale"; });
    return found;
}

// An INI file's keys, set or shown commented out (";Key=value"), each with
// the "; Missing...: <default>" line of the comment above it.
Documented IniDefaults(const std::string& relative) {
    Documented found;
    static const std::regex sectionLine(R"(^\[(\w+)\]\s*$)");
    static const std::regex keyLine(R"(^;?([A-Za-z]\w*)=)");
    static const std::regex missingNote(R"(^;\s*Missing[^:]*:\s*(.*?)\s*$)");
    std::string section, note;
    for (const std::string& raw : Lines(relative)) {
        const std::string line = Trim(raw);
        std::smatch m;
        if (std::regex_match(line, m, sectionLine)) {
            section = m[1];
            note.clear();
        } else if (std::regex_search(line, m, keyLine)) {
            found[{section, m[1]}] = note.empty() ? "(no Missing note)" : note;
            note.clear();
        } else if (std::regex_match(line, m, missingNote)) {
            note = m[1];
        } else if (line.empty()) {
            note.clear();
        }
    }
    return found;
}

void ExpectSameAsCode(const Documented& documented, const std::string& document) {
    for (const KvConfigKey& key : KvConfigKeys()) {
        auto it = documented.find({key.section, key.key});
        if (it == documented.end()) {
            ADD_FAILURE() << document << " leaves out [" << key.section << "] " << key.key;
            continue;
        }
        EXPECT_EQ(it->second, key.shown) << document << ": default of [" << key.section << "] " << key.key;
    }
    for (const auto& [name, shown] : documented) {
        EXPECT_NE(KvFindConfigKey(name.first.c_str(), name.second.c_str()), nullptr)
            << document << " names [" << name.first << "] " << name.second << ", which the code does not read";
    }
}

}  // namespace

TEST(ConfigDefaultsTest, DocumentsNameTheCodesDefaultForEveryKey) {
    ExpectSameAsCode(ReadmeDefaults(), "README.md");
    ExpectSameAsCode(IniDefaults("data/kvproxy.ini"), "data/kvproxy.ini");
    ExpectSameAsCode(IniDefaults("data/kvproxy.ini.in"), "data/kvproxy.ini.in");
}

TEST(ConfigDefaultsTest, TheShownDefaultIsTheValueTheCodeUses) {
    // A number or address is shown as it is written; a switch that is off,
    // and an empty value, by a word.
    for (const KvConfigKey& key : KvConfigKeys()) {
        const std::string value = key.value;
        if (value == "0") {
            EXPECT_TRUE(std::string(key.shown) == "off" || std::string(key.key) == "debug") << key.key;
        } else if (!value.empty()) {
            EXPECT_EQ(value, key.shown) << key.key;
        }
    }
}
