#include "base/platform/StringTable.h"

#include <deque>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace {

struct Table {
    std::shared_mutex lock;
    std::unordered_map<UINT, const char*> byId;
    // Owns every registered copy; a deque never moves its elements, so
    // handed-out pointers stay valid when an id is registered again.
    std::deque<std::string> texts;
};

Table& TheTable() {
    static Table* table = new Table;  // never destroyed: lookups may run during exit
    return *table;
}

void RegisterLocked(Table& t, UINT id, const char* text) {
    t.texts.emplace_back(text ? text : "");
    t.byId[id] = t.texts.back().c_str();
}

}  // namespace

void KvRegisterString(UINT id, const char* text) {
    Table& t = TheTable();
    std::unique_lock guard(t.lock);
    RegisterLocked(t, id, text);
}

void KvRegisterStrings(const KvStringEntry* table, size_t count) {
    if (!table) return;
    Table& t = TheTable();
    std::unique_lock guard(t.lock);
    for (size_t i = 0; i < count; ++i) RegisterLocked(t, table[i].id, table[i].text);
}

const char* KvLookupString(UINT id) {
    Table& t = TheTable();
    std::shared_lock guard(t.lock);
    auto it = t.byId.find(id);
    return it == t.byId.end() ? nullptr : it->second;
}
