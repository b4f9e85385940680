#include "Buf.h"

#include <cstdlib>
#include <cstring>
#include <limits>

bool Buf::Allocate(uint64_t bytes, bool zeroFill) {
    void* block = nullptr;
    // An empty block is still a block, so that an empty file loads successfully.
    if (bytes <= std::numeric_limits<size_t>::max())
        block = malloc(bytes ? static_cast<size_t>(bytes) : 1);
    if (block == nullptr) {
        data = nullptr;
        size = 0;
        return false;
    }
    if (zeroFill)
        memset(block, 0, static_cast<size_t>(bytes));
    data = static_cast<unsigned char*>(block);
    size = bytes;
    return true;
}

void Buf::Free() {
    free(data);
    data = nullptr;
    size = 0;
}

bool scoped_buf::Allocate(uint64_t bytes, bool zeroFill) {
    if (!owns)
        return false;
    Free();
    return Buf::Allocate(bytes, zeroFill);
}

void scoped_buf::Free() {
    if (owns)
        Buf::Free();
}

bool scoped_file::Close() {
    if (!owns || file == nullptr)
        return false;
    bool closed = fclose(file) == 0;
    file = nullptr;
    if (deleteOnClose && !path.empty())
        remove(path.c_str());
    return closed;
}
