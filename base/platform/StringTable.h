// The string resource table: texts looked up by numeric id.
//
// Libraries register their texts when they load (static initialisers) and
// the host may add or replace texts at start. Registration copies the text;
// a pointer returned by KvLookupString stays valid for the life of the
// process, even when the id is registered again later. Thread-safe.
#pragma once

#include <cstddef>

#include "base/platform/WinTypes.h"

struct KvStringEntry {
    UINT id;
    const char* text;
};

void KvRegisterString(UINT id, const char* text);
void KvRegisterStrings(const KvStringEntry* table, size_t count);
// The text of id, or null when none is registered.
const char* KvLookupString(UINT id);

// Registers a static table when the enclosing library loads:
//   static KvStringTableRegistrar reg(kMyTexts, std::size(kMyTexts));
struct KvStringTableRegistrar {
    KvStringTableRegistrar(const KvStringEntry* table, size_t count) { KvRegisterStrings(table, count); }
};
