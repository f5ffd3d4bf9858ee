// Fuzzes the page metadata scanner: the input is a page. The scanner must
// stay within the bytes it is given (AddressSanitizer sees any read past
// them) and cut every text to its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "proxy/repo/KvPageMeta.h"

namespace {

void Check(const KvPageMeta& meta) {
    for (const CString* text : {&meta.title, &meta.description, &meta.keywords}) {
        if (text->GetLength() > KV_PAGEMETA_MAX_TEXT) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    KvPageMeta meta;
    ScanPageMeta(reinterpret_cast<const char*>(data), size, meta);
    Check(meta);
    std::string terminated(reinterpret_cast<const char*>(data), size);
    KvPageMeta again;
    ScanPageMeta(terminated.c_str(), again);
    Check(again);
    return 0;
}
