#include "SystemTimeZone.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace {

// Three letters, then an optional sign and the hours: the only form the run-time reads.
bool IsRunTimeForm(const char* zone) {
    for (int i = 0; i < 3; ++i)
        if (!isalpha(static_cast<unsigned char>(zone[i])))
            return false;
    const char* offset = zone + 3;
    if (*offset == '+' || *offset == '-')
        ++offset;
    return isdigit(static_cast<unsigned char>(*offset)) != 0;
}

} // namespace

void UseSystemTimeZone() {
    const char* zone = getenv("TZ");
    if (zone != nullptr && !IsRunTimeForm(zone))
        _putenv("TZ=");
    _tzset();
}
