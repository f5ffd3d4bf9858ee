// KvSqlDBEx::ReadAllSystemVars: the variables into the base library's
// ordered text map.
#include "base/containers/CsList.h"
#include "ext/KvSqLite/KvSqlDBEx.h"

int KvSqlDBEx::ReadAllSystemVars(CsStrMap& vars) {
    struct Sink {
        CsStrMap* map;
        bool ok;
    } sink{&vars, true};
    int done = EnumSystemVars(
        [](const char* name, const char* value, void* param) {
            Sink* s = static_cast<Sink*>(param);
            s->ok = s->map->AddTail(name, value);
            return s->ok ? 1 : 0;
        },
        &sink);
    return done && sink.ok ? 1 : 0;
}
