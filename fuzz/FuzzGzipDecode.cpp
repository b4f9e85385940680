// Arbitrary bytes as a gzip reply body: the decoder must stay inside its buffers, end, and
// report either data or a data error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "GzipDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GzipDecodeResult result = GzipDecodeMemory(data, size);
    if (result.data != nullptr) {
        if (result.size == 0 || result.data[result.size] != 0)
            abort();
        // Data that is not gzip passes through unchanged.
        if (!(size >= 2 && data[0] == 0x1F && data[1] == 0x8B) &&
            (result.size != size || memcmp(result.data, data, size) != 0))
            abort();
    } else if (result.size != 0) {
        abort();
    }
    free(result.data);
    return 0;
}
