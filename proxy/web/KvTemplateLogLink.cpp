// Sends the template engine's warnings (an expansion bound reached) to the
// diagnostic log as soon as the proxy library loads.
#include "inet/log/KvLogError.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

struct TemplateLogLink {
    TemplateLogLink() { KvSetTemplateLogHook(&KvLogErrorHook); }
};

const TemplateLogLink link;

}  // namespace
