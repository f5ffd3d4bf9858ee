#include "ext/KvSqLite/KvSqlDBEx.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

const char kCreateTables[] =
    "CREATE TABLE IF NOT EXISTS sys_counter(cnt_name text not null, cnt_value integer not null default 0, "
    "primary key (cnt_name));"
    "CREATE TABLE IF NOT EXISTS sys_variable(var_name text not null, var_value text, primary key (var_name));";

int ToInt(long long v) { return (v < INT_MIN || v > INT_MAX) ? 0 : (int)v; }

}  // namespace

bool KvSqlDBEx::EnsureSystemTables(bool create) {
    if (!IsOpen()) {
        m_conn->SetError(KV_SQL_MISUSE, "database is not open");
        return false;
    }
    if (m_conn->sysTablesReady) return true;
    int found = ExecScalar(
        "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('sys_counter','sys_variable');", -1);
    if (found == 2) {
        m_conn->sysTablesReady = true;
        return true;
    }
    if (found < 0 || !create) return false;
    if (Execute(kCreateTables) < 0) return false;
    m_conn->sysTablesReady = true;
    return true;
}

int KvSqlDBEx::InitNewDatabase() { return EnsureSystemTables(true) ? 1 : 0; }

int KvSqlDBEx::InitId(const char* name, int start) {
    if (!EnsureSystemTables(true)) return 0;
    KvSqlStatement st = CompileStatement(
        "INSERT INTO sys_counter(cnt_name, cnt_value) VALUES(?, ?) "
        "ON CONFLICT(cnt_name) DO UPDATE SET cnt_value=excluded.cnt_value;");
    if (!st.Bind(1, name) || !st.Bind(2, start)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}

int KvSqlDBEx::SetId(const char* name, int id) { return InitId(name, id); }

int KvSqlDBEx::GetNewId(const char* name) {
    if (!EnsureSystemTables(true)) return 0;
    // One statement adds and reads, so two connections never get the same id.
    KvSqlStatement st = CompileStatement(
        "INSERT INTO sys_counter(cnt_name, cnt_value) VALUES(?, 1) "
        "ON CONFLICT(cnt_name) DO UPDATE SET cnt_value=cnt_value+1 RETURNING cnt_value;");
    if (!st.Bind(1, name)) return 0;
    long long id = 0;
    {
        KvSqlQuery q = st.ExecQuery();
        if (!q.IsValid() || q.IsEOF()) return 0;
        id = q.GetInt64Field(0, 0);
        // Run to the end so the change is complete before the query goes.
        while (q.MoveNext()) {
        }
        if (q.HasError()) return 0;
    }
    if (id <= 0 || id > INT_MAX) {
        m_conn->SetError(KV_SQL_ERROR, "id counter out of range");
        return 0;
    }
    return (int)id;
}

int KvSqlDBEx::GetId(const char* name) {
    if (!EnsureSystemTables(false)) return 0;
    KvSqlStatement st = CompileStatement("SELECT cnt_value FROM sys_counter WHERE cnt_name=?;");
    if (!st.Bind(1, name)) return 0;
    KvSqlQuery q = st.ExecQuery();
    return ToInt(q.GetInt64Field(0, 0));
}

int KvSqlDBEx::EnumSystemVars(int (*fn)(const char*, const char*, void*), void* param) {
    if (!EnsureSystemTables(false)) return IsOpen() ? 1 : 0;
    KvSqlQuery q = ExecQuery("SELECT var_name, var_value FROM sys_variable ORDER BY rowid;");
    if (!q.IsValid()) return 0;
    for (; !q.IsEOF(); q.MoveNext()) {
        if (fn && !fn(q.GetTextField(0), q.GetTextField(1), param)) break;
    }
    return q.HasError() ? 0 : 1;
}

int KvSqlDBEx::SetSystemVar(const char* name, const char* value) {
    if (!EnsureSystemTables(true)) return 0;
    KvSqlStatement st = CompileStatement(
        "INSERT INTO sys_variable(var_name, var_value) VALUES(?, ?) "
        "ON CONFLICT(var_name) DO UPDATE SET var_value=excluded.var_value;");
    if (!st.Bind(1, name) || !st.Bind(2, value)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}

int KvSqlDBEx::SetSystemVarInt(const char* name, int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return SetSystemVar(name, text);
}

bool KvSqlDBEx::ReadSystemVar(const char* name, CString& value) {
    if (!EnsureSystemTables(false)) return false;
    KvSqlStatement st = CompileStatement("SELECT var_value FROM sys_variable WHERE var_name=?;");
    if (!st.Bind(1, name)) return false;
    KvSqlQuery q = st.ExecQuery();
    if (!q.IsValid() || q.IsEOF()) return false;
    value = q.GetStringField(0, "");
    return true;
}

CString KvSqlDBEx::GetSystemVar(const char* name, const char* def) {
    CString value;
    return ReadSystemVar(name, value) ? value : CString(def);
}

int KvSqlDBEx::GetSystemVarInt(const char* name, int def) {
    CString text;
    if (!ReadSystemVar(name, text)) return def;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text.c_str() || v < INT_MIN || v > INT_MAX) return def;
    return (int)v;
}

BOOL KvSqlDBEx::IsSystemVarExist(const char* name) {
    CString value;
    return ReadSystemVar(name, value) ? TRUE : FALSE;
}

int KvSqlDBEx::DeleteSystemVar(const char* name) {
    if (!EnsureSystemTables(false)) return IsOpen() ? 1 : 0;
    KvSqlStatement st = CompileStatement("DELETE FROM sys_variable WHERE var_name=?;");
    if (!st.Bind(1, name)) return 0;
    return st.Execute() < 0 ? 0 : 1;
}
