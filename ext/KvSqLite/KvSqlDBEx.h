// KvSqlDBEx: a KvSqlDB with named id counters and system variables.
//
// Id counters hand out the ids of id-numbered tables: GetNewId("cache_host")
// adds one to the counter and answers the new value, atomically, so ids are
// never given twice, also across processes sharing the file. A counter set
// with InitId(name, 0) gives 1, 2, 3, ... A counter used before it was set
// starts at 0 too (its first id is 1).
//
// System variables are name/value texts of the file (a site's name, theme,
// description...). Names match exactly (case counts); values may be any
// text, empty included.
//
// Both live in two tables of the same file, created by InitNewDatabase in a
// new file, or on the first write to an older file that lacks them:
//   sys_counter(cnt_name text primary key, cnt_value integer)
//   sys_variable(var_name text primary key, var_value text)
// Reads on a file without them answer the defaults and create nothing.
//
// Threads and errors: as KvSqlDB (owner's lock; failures as values with the
// error text in GetLastErrorMsg).
#pragma once

#include "base/platform/CString.h"
#include "ext/KvSqLite/KvSqlDB.h"

class CsStrMap;

class KvSqlDBEx : public KvSqlDB {
public:
    KvSqlDBEx() = default;
    ~KvSqlDBEx() override = default;

    // Sets the counter so that the next GetNewId answers start + 1.
    // 1 on success, 0 on failure.
    int InitId(const char* name, int start);
    // The next id of the counter, 0 on failure (closed, read-only, error).
    int GetNewId(const char* name);
    // Same as InitId: the next id will be id + 1.
    int SetId(const char* name, int id);
    // The last id handed out (the counter's value); 0 when the counter does
    // not exist or on failure.
    int GetId(const char* name);

    // Appends every variable (name, value) to `vars` in the order they were
    // first set. 1 on success (also with none), 0 on failure.
    int ReadAllSystemVars(CsStrMap& vars);
    // Calls fn(name, value, param) for each variable in the order they were
    // first set; a 0 from fn stops. 1 on success, 0 on failure.
    int EnumSystemVars(int (*fn)(const char* name, const char* value, void* param), void* param);
    // Creates or replaces a variable. 1 on success, 0 on failure.
    int SetSystemVar(const char* name, const char* value);
    int SetSystemVarInt(const char* name, int value);
    // The value, or `def` when the variable does not exist (or on failure).
    CString GetSystemVar(const char* name, const char* def = "");
    int GetSystemVarInt(const char* name, int def = 0);
    BOOL IsSystemVarExist(const char* name);
    int DeleteSystemVar(const char* name);

    // Prepares a new file: creates the counter and variable tables. Stores
    // built on this class override it, call this first, then create their
    // own tables and counters. 1 on success, 0 on failure.
    virtual int InitNewDatabase();

protected:
    // Makes sure both tables exist; creates them when `create` (and the
    // database is writable). False when they are missing or on failure.
    bool EnsureSystemTables(bool create);

private:
    bool ReadSystemVar(const char* name, CString& value);
};
