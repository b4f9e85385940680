// Arbitrary bytes as a key/value file.
#include <cstdint>

#include "Buf.h"
#include "StringMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CStringMap map;
    Buf buffer(const_cast<uint8_t*>(data), size);
    map.readFromBuf(buffer, '\n', '=', size % 2 == 0);
    map.ToText(" | ", " = ", 1);
    return 0;
}
