// Arbitrary texts into the date reader, and every accepted date back out: a date of a
// four-digit year reads back from its attribute form.
#include <cstdint>
#include <string>

#include "DateTime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    DateTime value = ParseDateTime(text.c_str());
    DateTimeFields fields{};
    if (value.IsValid() && !IsNoDate(value) && DateTimeToFields(value, fields) &&
        fields.year >= 1000) {
        const std::string back = FormatDate(value, false, true, true);
        if (ParseDateTime(back.c_str()).days != value.days)
            __builtin_trap();
    }
    return 0;
}
