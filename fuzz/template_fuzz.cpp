// Fuzzes the template engine. The input is a page template, a zero byte,
// and "name=value" lines that fill the store; the store also answers every
// function and path placeholder, so values can refer to each other (and to
// themselves) in every form.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/containers/KvGenBuffer.h"
#include "proxy/web/KvParseImp.h"
#include "proxy/web/KvWebTemplate.h"

namespace {

class FuzzStore : public KvParseImp {
public:
    int Function(const char* name, CsStrMap& params, CString& out) override {
        out = GetValue(name);
        for (CsStrMapItem* p = params.Head(); p; p = p->Next()) out += p->GetValue();
        return !out.IsEmpty();
    }
    int Path(const char* name, CString& out) override { return Variable(name, out); }
};

void Quiet(const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 256 * 1024) return 0;
    KvSetTemplateLogHook(&Quiet);
    std::string input(reinterpret_cast<const char*>(data), size);
    size_t cut = input.find('\0');
    std::string page = input.substr(0, cut);
    std::string vars = cut == std::string::npos ? std::string() : input.substr(cut + 1);

    FuzzStore store;
    size_t pos = 0;
    while (pos < vars.size()) {
        size_t end = vars.find('\n', pos);
        if (end == std::string::npos) end = vars.size();
        std::string line = vars.substr(pos, end - pos);
        size_t eq = line.find('=');
        if (eq != std::string::npos) store.AddVariable(line.substr(0, eq).c_str(), line.substr(eq + 1).c_str());
        pos = end + 1;
    }

    KvGenBuffer buffer;
    buffer.PutString(page.data(), page.size());
    KvWebTemplate tpl(&store, 0);
    if (tpl.Parse(&buffer) != 1) __builtin_trap();
    // The output never grows past the page and the insertion bound.
    if (buffer.GetCount() > page.size() + KvWebTemplate::kMaxInsertedBytes) __builtin_trap();
    return 0;
}
