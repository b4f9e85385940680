// Arbitrary texts into the date reader, and every accepted date back out.
#include <cstdint>
#include <string>

#include "DateTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    DateTime value = ParseDateTime(text.c_str());
    if (value.IsValid()) {
        std::string back = FormatDate(value, false, true, true);
        if (!IsNoDate(value) && !ParseDateTime(back.c_str()).IsValid())
            __builtin_trap();
    }
    return 0;
}
