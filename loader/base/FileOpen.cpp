#include "FileOpen.h"

FILE* OpenFile(const char* path, const char* mode) {
    return fopen(path, mode);
}

gzFile OpenGzFile(const char* path, const char* mode) {
    return gzopen(path, mode);
}

int RemoveFile(const char* path) {
    return remove(path);
}
