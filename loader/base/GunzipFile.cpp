#include "GunzipFile.h"

#include <cstdio>
#include <memory>

#include <zlib.h>

#include "FileOpen.h"
#include "Text.h"

int GunzipFile(const char* sourcePath, const char* targetPath) {
    REQUIRE_TEXT(sourcePath, -3);
    REQUIRE_TEXT(targetPath, -3);
    gzFile source = nullptr;
    FILE* target = nullptr;
    int result = 0;
    try {
        std::unique_ptr<char[]> buffer(new char[kGunzipReadSize]);
        source = OpenGzFile(sourcePath, "rb");
        if (source != nullptr)
            target = OpenFile(targetPath, "wb");
        if (source == nullptr || target == nullptr) {
            result = -3;
        } else {
            for (;;) {
                int got = gzread(source, buffer.get(), kGunzipReadSize);
                if (got < 0) {
                    result = -1;
                    break;
                }
                if (got == 0) {
                    // zlib reports a file that ends inside the compressed data only here.
                    int error = Z_OK;
                    gzerror(source, &error);
                    if (error != Z_OK)
                        result = -1;
                    break;
                }
                if (fwrite(buffer.get(), 1, static_cast<size_t>(got), target) !=
                    static_cast<size_t>(got)) {
                    result = -1;
                    break;
                }
            }
        }
    } catch (...) {
        result = -2;
    }
    if (source != nullptr)
        gzclose(source);
    if (target != nullptr) {
        if (fclose(target) != 0 && result == 0)
            result = -1;
        // A cut-short target must not pass for the unpacked file.
        if (result != 0)
            RemoveFile(targetPath);
    }
    return result;
}
